// Control of the in-memory backend that tests link instead of a real one (dl_platform_fake).
//
// Every test starts with Reset(): the calling thread becomes the UI thread, everything recorded
// is cleared, and the temporary, module, current and home folders are real folders under a
// fresh per-test folder, so file operations of the code under test (version.txt, folder
// creation, the current folder) touch the disk there and nowhere else.
//
// Threads: a worker's InvokeOnUiThread, ShowMessageBox and SendWindowMessage are queued and run by
// the UI thread while it is inside WaitOnUiThread, RunMessageLoop or PumpUiThread; the worker waits
// for the result as it would on a real UI thread.
//
// Process exit: platform::EndProcess records the code (ExitCode()) and then
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

#include "platform/draw.h"
#include "platform/menu.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "platform/window.h"

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
    // Toolkit windows.
    std::string className;
    std::string name;
    uint32_t style = 0;
};

// A call of the window toolkit's platform interface, in words: "OpenGraphics",
// "RegisterWindowClass base-window-class 101", "PlaceWindow 30 306 586 18", "CaptureMouse",
// "ReleaseMouse", "TrackMouse 3333", "StartTimer 333 333", "StopTimer 333", "Visible 1",
// "BeginWindowPaint", "EndWindowPaint", "Destroy", "UnregisterWindowClass base-window-class",
// "CloseGraphics"...
struct WindowCall {
    WindowHandle window;  // null for calls that concern no window
    std::string call;
};

// One drawing operation of a render target (or the target's creation and resizing).
struct DrawOp {
    enum Kind { kCreateTarget, kResize, kBeginDraw, kEndDraw, kClear, kFill, kBitmap, kText };
    Kind kind = kBeginDraw;
    WindowHandle window = nullptr;
    // kCreateTarget, kResize: the size; kFill: the rectangle; kBitmap: the destination (when
    // given); kText: the box.
    RectF rect{};
    bool hasRect = false;
    // kClear: the colour; kFill, kText: the brush's colour.
    ColorF color{};
    // kBitmap.
    std::string image;  // the bytes the bitmap was decoded from
    RectF source{};
    bool hasSource = false;
    float opacity = 0;
    Interpolation interpolation = Interpolation::kNearestNeighbor;
    // kText.
    std::u16string text;
    std::u16string family;
    float size = 0;
    std::u16string locale;
    TextAlignment alignment = TextAlignment::kLeading;
    TextOptions options = TextOptions::kNone;
    // kEndDraw: what EndDraw answered.
    bool succeeded = true;
};

// Starts a test: the calling thread becomes the UI thread; the folders live under a fresh
// folder of the system's temporary folder, removed again by the next Reset or by Shutdown.
void Reset();
// Removes the per-test folder. Optional: Reset does it for the previous test.
void Shutdown();
// The per-test folder (ends in the system's separator); ModuleFolder() is its "module/", the
// user's home its "home/", UserStateFolder() its "home/.local/state/" (not created: start-up
// creates it).
std::string Root();
// `path`, written with '/', in the system's own separator ('\\' on Windows).
std::string Native(std::string path);

// Whether a process exit on a worker thread can end just that thread, running its destructors
// as the test needs: POSIX threads unwind on pthread_exit, winpthreads' threads do not.
#ifdef _WIN32
inline constexpr bool kWorkerExitUnwinds = false;
#else
inline constexpr bool kWorkerExitUnwinds = true;
#endif
// Makes UserStateFolder() answer `folder` instead (it need not exist).
void SetStateFolder(std::string folder);

// Message boxes: answers are taken from the front of the script; an empty script answers IDOK.
void ScriptAnswers(std::vector<int> answers);
// Runs on the UI thread while each box is open, before it is answered, standing in for what
// the user does meanwhile (a second close request, a click elsewhere).
void WhileBoxIsOpen(std::function<void()> action);
std::vector<MessageBoxCall> MessageBoxes();

// Single instance: whether another copy holds the lock, and every name asked for.
void SetOtherInstanceRunning(bool running);
std::vector<std::string> InstanceLocks();

// Resources served by LoadBuiltInResource.
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
// LaunchElevated: the result to give (default true), every path asked for and what each start
// was told to do when the rights are refused.
void SetLaunchResult(bool started);
std::vector<std::string> LaunchedPaths();
std::vector<WhenElevationRefused> LaunchRefusalRules();
// Every CreateFolder call, in order, successful or not.
std::vector<std::string> CreatedFolders();
// While off, CreateFolder records the call and answers true without touching the disk: for
// fuzz targets, whose paths may point anywhere.
void SetFolderCreation(bool create);
// While off, SleepMs returns at once (a fuzz target's retries cost no time).
void SetSleeping(bool sleep);

// The recorded process exit code, if EndProcess was called.
std::optional<int> ExitCode();

// Windows: top-level windows fail to be created while this is set.
void FailMainWindowCreation(bool fail);
// A window of the test's own, for code that takes a window handle; messages sent to it go to
// `procedure` when it has one.
WindowHandle NewWindow(WindowProcedure procedure = nullptr);
// The top-level windows created so far, oldest first.
std::vector<WindowHandle> MainWindows();
WindowState StateOf(WindowHandle window);
// Simulates the user's close request on a window (kWmClose on the UI thread).
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

// Window toolkit. Windows created with CreateNativeWindow live in the fake with their
// procedure; tests drive them with SendWindowMessage as the system would. A child's WindowRect is
// its parent's position plus its own.
std::vector<WindowCall> WindowCalls();
// The calls on one window, in words.
std::vector<std::string> CallsOn(WindowHandle window);
std::vector<std::string> TraceLines();
std::vector<DrawOp> DrawOps();
// The draw operations of one window, in order.
std::vector<DrawOp> DrawOpsOf(WindowHandle window);
void ClearRecords();
// Every toolkit window created and not destroyed, oldest first.
std::vector<WindowHandle> LiveWindows();
WindowHandle Parent(WindowHandle window);
bool IsVisible(WindowHandle window);
WindowHandle CapturedWindow();
void SetScreenSize(int width, int height);
// Failures to simulate: window creation, render targets, text formats, and the next `count`
// EndDraw calls.
void FailWindows(bool fail);
void FailRenderTargets(bool fail);
void FailTextFormats(bool fail);
void FailEndDraws(int count);
// Folder picker: the selections the user makes after it opens, and whether the user then
// confirms (the last selection, when the program did not refuse it) or cancels.
struct FolderSelection {
    std::string path;
    std::string status;  // what the program showed for it
    bool refused = false;
};
struct FolderPick {
    WindowHandle owner;
    std::string startFolder;
    std::vector<FolderSelection> selections;  // the opening one first
    std::optional<std::string> result;
};
void ScriptFolderPicker(std::vector<std::string> selections, bool confirm);
std::vector<FolderPick> FolderPicks();
// Pop-up menus: the id the user chooses in each (0: dismissed), and what the user does while
// one is open (run on the UI thread before the choice); every menu shown.
struct MenuCall {
    WindowHandle owner;
    std::vector<MenuItem> items;
    int x;
    int y;
};
void ScriptMenu(int choice, std::function<void()> meanwhile = nullptr);
std::vector<MenuCall> Menus();

// Image bytes the fake decodes: a 24-bit BMP of `width` x `height` whose every pixel is the
// colour 0xRRGGBB `rgb` (also a real BMP file).
std::string MakeBmp(int width, int height, uint32_t rgb);

}  // namespace platform::fake
