// Shared state of the fake backend (internal to platform/fake).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake/fake.h"
#include "platform/window.h"

struct platform::NativeWindow {
    fake::WindowState state;
    // Toolkit windows: their class's procedure, the object bound to them, their family.
    platform::WindowProcedure procedure = nullptr;
    void* object = nullptr;
    NativeWindow* parent = nullptr;
    std::vector<NativeWindow*> children;
    std::map<uintptr_t, unsigned> timers;
};

namespace platform::fake {

// A worker's request waiting for the UI thread.
struct Request {
    std::function<void()> run;
    bool done = false;
    // The UI thread left the request by a process exit; the waiting worker ends too.
    bool abandoned = false;
};

struct State {
    // The last test's folder goes with the program; each earlier one went at the next Reset.
    ~State();

    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id uiThread;
    std::string root;
    std::optional<std::string> stateFolder;

    std::deque<int> answers;
    std::function<void()> whileBoxIsOpen;
    std::vector<MessageBoxCall> boxes;
    bool otherInstance = false;
    std::vector<std::string> instanceLocks;
    std::map<int, std::string> resources;
    std::map<int, size_t> statedSizes;
    std::optional<uint32_t> frozenTicks;
    int64_t freeDiskSpace = int64_t{1} << 40;
    bool launchResult = true;
    std::vector<std::string> launched;
    std::vector<WhenElevationRefused> whenRefused;
    std::vector<std::string> createdFolders;
    bool createFolders = true;
    bool sleeping = true;
    std::optional<int> exitCode;
    bool workerExited = false;

    bool failMainWindow = false;
    std::vector<std::unique_ptr<NativeWindow>> windows;
    std::vector<WindowHandle> mainWindows;
    std::vector<SentMessage> sent;
    std::vector<WindowHandle> invalidated;
    std::vector<WindowHandle> flashed;
    std::function<void()> loopAction;
    int loopTimeoutMs = 10000;
    std::optional<int> quitCode;

    std::deque<std::shared_ptr<Request>> queue;

    // Window toolkit.
    std::map<std::string, std::pair<WindowProcedure, int>> classes;
    std::vector<WindowCall> windowCalls;
    std::vector<std::string> traceLines;
    std::vector<DrawOp> drawOps;
    WindowHandle capture = nullptr;
    Size screen{1920, 1080};
    bool failWindows = false;
    bool failRenderTargets = false;
    bool failTextFormats = false;
    int failingEndDraws = 0;

    std::vector<std::string> pickerSelections;
    bool pickerConfirms = false;
    std::vector<FolderPick> folderPicks;

    int menuChoice = 0;
    std::function<void()> whileMenuIsOpen;
    std::vector<MenuCall> menus;
};

State& state();

// On the UI thread: runs queued requests; throws ProcessExit once a worker has exited.
void ServeQueue();

// Sends a toolkit window and its children their destruction messages and forgets them.
void DestroyToolkitWindow(WindowHandle window);

// Records a toolkit call on `window` (state's mutex not held by the caller).
void RecordCall(WindowHandle window, std::string call);

}  // namespace platform::fake
