// The test-facing side of the fake backend: reset, scripting and the records.
#include <filesystem>
#include <random>
#include <stdexcept>

#include "platform/fake/state.h"
#include "platform/system.h"

namespace platform::fake {

State& state() {
    static State instance;
    return instance;
}

namespace {

void RemoveRoot(State& s) {
    if (s.root.empty()) {
        return;
    }
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(s.root, ignored);
    s.root.clear();
}

// A new folder of the test's own under the temporary folder; several test programs run at once.
std::string MakeRoot() {
    static std::mt19937_64 names{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto folder = std::filesystem::temp_directory_path() /
                            ("dl-fake-" + std::to_string(names() % 1000000000000));
        std::error_code failed;
        if (std::filesystem::create_directory(folder, failed)) {
            return folder.string();
        }
    }
    throw std::runtime_error("fake: cannot make the per-test folder");
}

}  // namespace

State::~State() {
    RemoveRoot(*this);
}

namespace {

template <typename T>
T Copy(const T& recorded) {
    std::lock_guard lock(state().mutex);
    return recorded;
}

}  // namespace

void Reset() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    RemoveRoot(s);
    s.root = MakeRoot() + kPathSeparator;
    for (const char* sub : {"module", "home"}) {
        std::filesystem::create_directory(s.root + sub);
    }
    std::filesystem::current_path(s.root);

    s.uiThread = std::this_thread::get_id();
    s.stateFolder.reset();
    s.answers.clear();
    s.whileBoxIsOpen = nullptr;
    s.boxes.clear();
    s.otherInstance = false;
    s.instanceLocks.clear();
    s.resources.clear();
    s.statedSizes.clear();
    s.frozenTicks.reset();
    s.freeDiskSpace = int64_t{1} << 40;
    s.launchResult = true;
    s.launched.clear();
    s.whenRefused.clear();
    s.createdFolders.clear();
    s.createFolders = true;
    s.sleeping = true;
    s.exitCode.reset();
    s.workerExited = false;
    s.failMainWindow = false;
    s.windows.clear();
    s.mainWindows.clear();
    s.sent.clear();
    s.invalidated.clear();
    s.flashed.clear();
    s.loopAction = nullptr;
    s.loopTimeoutMs = 10000;
    s.quitCode.reset();
    s.queue.clear();
    // Window classes stay: like the system's, they belong to the process, and a window object
    // that a test left behind (a recorded process exit) still counts on its class.
    s.windowCalls.clear();
    s.traceLines.clear();
    s.drawOps.clear();
    s.capture = nullptr;
    s.screen = {1920, 1080};
    s.failWindows = false;
    s.failRenderTargets = false;
    s.failTextFormats = false;
    s.failingEndDraws = 0;
    s.pickerSelections.clear();
    s.pickerConfirms = false;
    s.folderPicks.clear();
    s.menuChoice = 0;
    s.whileMenuIsOpen = nullptr;
    s.menus.clear();
}

void Shutdown() {
    std::lock_guard lock(state().mutex);
    RemoveRoot(state());
}

std::string Root() {
    return Copy(state().root);
}

std::string Native(std::string path) {
    for (char& c : path) {
        c = c == '/' ? kPathSeparator : c;
    }
    return path;
}

void SetStateFolder(std::string folder) {
    std::lock_guard lock(state().mutex);
    state().stateFolder = std::move(folder);
}

void ScriptAnswers(std::vector<int> answers) {
    std::lock_guard lock(state().mutex);
    state().answers.assign(answers.begin(), answers.end());
}

void WhileBoxIsOpen(std::function<void()> action) {
    std::lock_guard lock(state().mutex);
    state().whileBoxIsOpen = std::move(action);
}

std::vector<MessageBoxCall> MessageBoxes() {
    return Copy(state().boxes);
}

void SetOtherInstanceRunning(bool running) {
    std::lock_guard lock(state().mutex);
    state().otherInstance = running;
}

std::vector<std::string> InstanceLocks() {
    return Copy(state().instanceLocks);
}

void SetResource(int id, std::string bytes) {
    std::lock_guard lock(state().mutex);
    state().resources[id] = std::move(bytes);
}

void SetResourceStatedSize(int id, size_t size) {
    std::lock_guard lock(state().mutex);
    state().statedSizes[id] = size;
}

void RemoveResource(int id) {
    std::lock_guard lock(state().mutex);
    state().resources.erase(id);
    state().statedSizes.erase(id);
}

void SetTickCount(uint32_t ticks) {
    std::lock_guard lock(state().mutex);
    state().frozenTicks = ticks;
}

void AdvanceTicks(uint32_t ms) {
    std::lock_guard lock(state().mutex);
    State& s = state();
    s.frozenTicks = s.frozenTicks.value_or(0) + ms;
}

void SetFreeDiskSpace(int64_t bytes) {
    std::lock_guard lock(state().mutex);
    state().freeDiskSpace = bytes;
}

void SetLaunchResult(bool started) {
    std::lock_guard lock(state().mutex);
    state().launchResult = started;
}

std::vector<std::string> LaunchedPaths() {
    return Copy(state().launched);
}

std::vector<WhenElevationRefused> LaunchRefusalRules() {
    return Copy(state().whenRefused);
}
std::vector<std::string> CreatedFolders() {
    return Copy(state().createdFolders);
}
void SetFolderCreation(bool create) {
    std::lock_guard lock(state().mutex);
    state().createFolders = create;
}
void SetSleeping(bool sleep) {
    std::lock_guard lock(state().mutex);
    state().sleeping = sleep;
}
std::optional<int> ExitCode() {
    return Copy(state().exitCode);
}

void FailMainWindowCreation(bool fail) {
    std::lock_guard lock(state().mutex);
    state().failMainWindow = fail;
}

WindowHandle NewWindow(WindowProcedure procedure) {
    std::lock_guard lock(state().mutex);
    auto window = std::make_unique<NativeWindow>();
    window->procedure = procedure;
    state().windows.push_back(std::move(window));
    return state().windows.back().get();
}

std::vector<WindowHandle> MainWindows() {
    return Copy(state().mainWindows);
}

WindowState StateOf(WindowHandle window) {
    std::lock_guard lock(state().mutex);
    return window->state;
}

std::vector<SentMessage> SentMessages() {
    return Copy(state().sent);
}
std::vector<WindowHandle> Invalidated() {
    return Copy(state().invalidated);
}
std::vector<WindowHandle> Flashed() {
    return Copy(state().flashed);
}

void OnMessageLoop(std::function<void()> action) {
    std::lock_guard lock(state().mutex);
    state().loopAction = std::move(action);
}

void SetLoopTimeoutMs(int ms) {
    std::lock_guard lock(state().mutex);
    state().loopTimeoutMs = ms;
}

size_t PendingUiRequests() {
    std::lock_guard lock(state().mutex);
    return state().queue.size();
}

}  // namespace platform::fake
