// Control of the in-memory backend that tests link instead of a real one (dl_platform_fake).
//
// Every test starts with Reset(): the calling thread becomes the UI thread, everything recorded
// is cleared, and the temporary, module, current and home folders are real folders under a
// fresh per-test folder, so file operations of the code under test (version.txt, folder
// creation, the current folder) touch the disk there and nowhere else.
//
// Threads: a worker's InvokeOnUiThread, MessageBox and SendMessage are queued and run by the UI
// thread while it is inside WaitOnUiThread, RunMessageLoop or PumpUiThread; the worker waits for
// the result as it would on a real UI thread.
//
// Process exit: platform::ExitProcess records the code (ExitCode()) and then
//  - on the UI thread throws ProcessExit, which the test catches where the real process would
//    have ended (nothing after the call runs, as in the real program);
//  - on any other thread ends that thread at once (pthread_exit: its stack unwinds, so a joining
//    thread is released) and marks the process as exited: the UI thread's next
//    WaitOnUiThread, RunMessageLoop or PumpUiThread throws ProcessExit with that code. Call it
//    only from threads that std::thread started, never under a noexcept frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui.h"

namespace platform::fake {

struct ProcessExit {
    int code;
};

struct MessageBoxCall {
    WindowHandle owner;
    std::string text;
    std::string caption;
    unsigned style;
    std::thread::id thread;
    int answer;
};

struct SentMessage {
    WindowHandle window;
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
    std::thread::id thread;
};

// What a fake window knows about itself.
struct WindowState {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::string title;
    bool shown = false;
    bool destroyed = false;
};

// Starts a test: the calling thread becomes the UI thread; the folders live under a fresh
// folder of the system's temporary folder, removed again by the next Reset or by Shutdown.
void Reset();
// Removes the per-test folder. Optional: Reset does it for the previous test.
void Shutdown();
// The per-test folder (ends in '/'); TempFolder() is its "tmp/", ModuleFolder() its "module/",
// the user's home its "home/".
std::string Root();
// Makes TempFolder() answer `folder` instead (it need not exist).
void SetTempFolder(std::string folder);

// Message boxes: answers are taken from the front of the script; an empty script answers IDOK.
void ScriptAnswers(std::vector<int> answers);
std::vector<MessageBoxCall> MessageBoxes();

// Single instance: whether another copy holds the lock, and every name asked for.
void SetOtherInstanceRunning(bool running);
std::vector<std::string> InstanceLocks();

// Resources served by LoadResource.
void SetResource(int id, std::string bytes);
void RemoveResource(int id);
// The size ResourceSize states for resource `id` instead of its byte count: a resource that
// cannot be read whole.
void SetResourceStatedSize(int id, size_t size);

// Tick count: follows a real steady clock until SetTickCount freezes it at a value; from then
// on only SetTickCount and AdvanceTicks move it (wrapping at 2^32).
void SetTickCount(uint32_t ticks);
void AdvanceTicks(uint32_t ms);

// Free disk space reported for any path (default 1 TiB).
void SetFreeDiskSpace(int64_t bytes);
// LaunchElevated: the result to give (default true) and every path asked for.
void SetLaunchResult(bool started);
std::vector<std::string> LaunchedPaths();
// Every CreateFolder call, in order, successful or not.
std::vector<std::string> CreatedFolders();

// The recorded process exit code, if ExitProcess was called.
std::optional<int> ExitCode();

// Windows: the main window fails to be created while this is set.
void FailMainWindowCreation(bool fail);
// A window of the test's own, for code that takes a window handle.
WindowHandle NewWindow(MessageHandler handler = nullptr);
// The main windows created so far, oldest first.
std::vector<WindowHandle> MainWindows();
WindowState StateOf(WindowHandle window);
// Simulates the user's close request on a window (runs its onClose on the UI thread).
void RequestClose(WindowHandle window);
std::vector<SentMessage> SentMessages();
std::vector<WindowHandle> Invalidated();
std::vector<WindowHandle> Flashed();

// Runs on the UI thread when RunMessageLoop starts, standing in for the user.
void OnMessageLoop(std::function<void()> action);
// RunMessageLoop throws LoopStalled when nothing arrives for this long without a quit
// (default 10 s), so a test that forgets to end the loop fails instead of hanging.
void SetLoopTimeoutMs(int ms);
struct LoopStalled {};

// On the UI thread: runs every request queued by workers so far.
void PumpUiThread();
// Requests of workers waiting for the UI thread to run them.
size_t PendingUiRequests();

}  // namespace platform::fake
