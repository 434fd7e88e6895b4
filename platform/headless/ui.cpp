// The user-interface thread of a program without windows (platform/ui.h): the thread that starts
// the process serves what workers hand to it while it waits; message boxes are lines on the
// standard error, answered OK; no window exists, so the window operations have nothing to do.
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/ui.h"

namespace platform {

namespace {

// How long a wait sleeps between looks at its condition when no work arrives.
constexpr auto kLookInterval = std::chrono::milliseconds(33);

// Static initialisation runs on the thread that starts the process.
const std::thread::id uiThread = std::this_thread::get_id();

struct Work {
    const std::function<void()>* fn;
    bool done = false;
};

std::mutex guard;
std::condition_variable arrived;
std::condition_variable finished;
std::deque<Work*> queue;
bool quitAsked = false;
int quitCode = 0;

// Runs what workers handed over, then waits for more until `until` passes; the UI thread only.
void Serve(std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(guard);
    arrived.wait_until(lock, until, [] { return !queue.empty() || quitAsked; });
    while (!queue.empty()) {
        Work* work = queue.front();
        queue.pop_front();
        lock.unlock();
        (*work->fn)();
        lock.lock();
        work->done = true;
        finished.notify_all();
    }
}

}  // namespace

bool IsUiThread() {
    return std::this_thread::get_id() == uiThread;
}

void InvokeOnUiThread(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    Work work{&fn};
    std::unique_lock lock(guard);
    queue.push_back(&work);
    arrived.notify_all();
    finished.wait(lock, [&] { return work.done; });
}

void WaitOnUiThread(const std::function<bool()>& done) {
    while (!done()) {
        if (IsUiThread()) {
            Serve(std::chrono::steady_clock::now() + kLookInterval);
        } else {
            std::this_thread::sleep_for(kLookInterval);
        }
    }
}

int ShowMessageBox(WindowHandle, const char* text, const char* caption, unsigned) {
    InvokeOnUiThread([&] { std::fprintf(stderr, "%s: %s\n", caption, text); });
    return kIdOk;
}

intptr_t SendWindowMessage(WindowHandle, unsigned, uintptr_t, intptr_t) {
    return 0;
}

void ShowNativeWindow(WindowHandle) {}
void MoveNativeWindow(WindowHandle, int, int, int, int) {}
void SetWindowTitle(WindowHandle, const char*) {}
void DestroyNativeWindow(WindowHandle) {}
void InvalidateWindow(WindowHandle) {}
void FlashNativeWindow(WindowHandle) {}

int RunMessageLoop() {
    for (;;) {
        Serve(std::chrono::steady_clock::now() + kLookInterval);
        std::lock_guard lock(guard);
        if (quitAsked) {
            quitAsked = false;
            return quitCode;
        }
    }
}

void PostQuit(int code) {
    std::lock_guard lock(guard);
    quitCode = code;
    quitAsked = true;
    arrived.notify_all();
}

}  // namespace platform
