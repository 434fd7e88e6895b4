// System services of the fake backend: real folders under the per-test folder, everything
// else scripted and recorded.
#include "platform/system.h"

#include <pthread.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "platform/fake/state.h"
#ifdef _WIN32
#include "platform/win32/codepage.h"
#endif

namespace platform {

using fake::state;

bool AcquireSingleInstance(const char* name) {
    std::lock_guard lock(state().mutex);
    state().instanceLocks.push_back(name);
    return !state().otherInstance;
}

std::string UserStateFolder() {
    {
        std::lock_guard lock(state().mutex);
        if (state().stateFolder) {
            return *state().stateFolder;
        }
    }
    return fake::Root() + "home" + kPathSeparator + ".local" + kPathSeparator + "state" +
           kPathSeparator;
}
std::string ModuleFolder() {
    return fake::Root() + "module" + kPathSeparator;
}

bool CreateFolder(const char* path) {
    {
        std::lock_guard lock(state().mutex);
        state().createdFolders.push_back(path);
        if (!state().createFolders) {
            return true;
        }
    }
    std::error_code failed;
#ifdef _WIN32
    // Through the wide name: the narrow one would be read in the system's ANSI code page.
    return std::filesystem::create_directory(win32_codepage::WidePath(path), failed);
#else
    return std::filesystem::create_directory(path, failed);
#endif
}

std::string ExpandUserPath(const char* path) {
    std::string text = path;
    if (text.starts_with("~/")) {
        return fake::Root() + "home/" + text.substr(2);
    }
    return text;
}

uint32_t TickCount() {
    {
        std::lock_guard lock(state().mutex);
        if (state().frozenTicks) {
            return *state().frozenTicks;
        }
    }
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SleepMs(uint32_t ms) {
    {
        std::lock_guard lock(state().mutex);
        if (!state().sleeping) {
            return;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t FreeDiskSpace(const char*) {
    std::lock_guard lock(state().mutex);
    return state().freeDiskSpace;
}

bool LaunchElevated(const char* path, WhenElevationRefused whenRefused) {
    std::lock_guard lock(state().mutex);
    state().launched.push_back(path);
    state().whenRefused.push_back(whenRefused);
    return state().launchResult;
}

void EndProcess(int code) {
    bool onUiThread;
    {
        std::lock_guard lock(state().mutex);
        state().exitCode = code;
        onUiThread = std::this_thread::get_id() == state().uiThread;
        if (!onUiThread) {
            state().workerExited = true;
        }
    }
    if (onUiThread) {
        throw fake::ProcessExit{code};
    }
    state().changed.notify_all();
    pthread_exit(nullptr);
    // winpthreads does not declare pthread_exit as not returning.
    __builtin_unreachable();
}

}  // namespace platform
