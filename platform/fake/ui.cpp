// UI thread, message boxes, windows and the message loop of the fake backend.
#include "platform/ui.h"

#include <pthread.h>

#include "platform/fake/state.h"

namespace platform {

using fake::state;

namespace {

bool OnUiThread() {
    // Under the lock: Reset makes another thread the UI thread while workers that ended the
    // "process" may not have been joined yet.
    std::lock_guard lock(state().mutex);
    return std::this_thread::get_id() == state().uiThread;
}

// From a worker: hands `run` to the UI thread and waits until it has run.
void RunOnUiThread(const std::function<void()>& run) {
    auto request = std::make_shared<fake::Request>();
    request->run = run;
    std::unique_lock lock(state().mutex);
    state().queue.push_back(request);
    state().changed.notify_all();
    state().changed.wait(lock, [&] { return request->done; });
    if (request->abandoned) {
        lock.unlock();
        pthread_exit(nullptr);
    }
}

// Runs `run` on the UI thread, at once when already there.
void OnUi(const std::function<void()>& run) {
    if (OnUiThread()) {
        run();
    } else {
        RunOnUiThread(run);
    }
}

}  // namespace

namespace fake {

void ServeQueue() {
    State& s = state();
    for (;;) {
        std::shared_ptr<Request> request;
        {
            std::lock_guard lock(s.mutex);
            if (s.workerExited) {
                throw ProcessExit{s.exitCode.value_or(0)};
            }
            if (s.queue.empty()) {
                return;
            }
            request = s.queue.front();
            s.queue.pop_front();
        }
        try {
            request->run();
        } catch (...) {
            {
                std::lock_guard lock(s.mutex);
                request->abandoned = true;
                request->done = true;
            }
            s.changed.notify_all();
            throw;
        }
        {
            std::lock_guard lock(s.mutex);
            request->done = true;
        }
        s.changed.notify_all();
    }
}

void PumpUiThread() {
    ServeQueue();
}

void RequestClose(WindowHandle window) {
    SendWindowMessage(window, kWmClose, 0, 0);
}

}  // namespace fake

int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    std::thread::id caller = std::this_thread::get_id();
    int answer = kIdOk;
    OnUi([&] {
        std::function<void()> meanwhile;
        {
            std::lock_guard lock(state().mutex);
            meanwhile = state().whileBoxIsOpen;
        }
        if (meanwhile) {
            meanwhile();
        }
        std::lock_guard lock(state().mutex);
        fake::State& s = state();
        if (!s.answers.empty()) {
            answer = s.answers.front();
            s.answers.pop_front();
        }
        s.boxes.push_back({owner, text, caption, style, caller, answer});
    });
    return answer;
}

void InvokeOnUiThread(const std::function<void()>& fn) {
    OnUi(fn);
}

void WaitOnUiThread(const std::function<bool()>& done) {
    if (!OnUiThread()) {
        while (!done()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return;
    }
    fake::State& s = state();
    for (;;) {
        fake::ServeQueue();
        if (done()) {
            return;
        }
        std::unique_lock lock(s.mutex);
        s.changed.wait_for(lock, std::chrono::milliseconds(1),
                           [&] { return !s.queue.empty() || s.workerExited; });
    }
}

bool IsUiThread() {
    return OnUiThread();
}

intptr_t SendWindowMessage(WindowHandle window, unsigned message, uintptr_t wParam,
                           intptr_t lParam) {
    {
        std::lock_guard lock(state().mutex);
        state().sent.push_back({window, message, wParam, lParam, std::this_thread::get_id()});
    }
    intptr_t result = 0;
    OnUi([&] {
        WindowProcedure procedure = nullptr;
        {
            std::lock_guard lock(state().mutex);
            procedure = window->procedure;
        }
        if (procedure != nullptr) {
            result = procedure(window, message, wParam, lParam);
        }
    });
    return result;
}

void InvalidateWindow(WindowHandle window) {
    std::lock_guard lock(state().mutex);
    state().invalidated.push_back(window);
}

void FlashNativeWindow(WindowHandle window) {
    std::lock_guard lock(state().mutex);
    state().flashed.push_back(window);
}

void ShowNativeWindow(WindowHandle window) {
    std::lock_guard lock(state().mutex);
    window->state.shown = true;
}

void MoveNativeWindow(WindowHandle window, int x, int y, int width, int height) {
    std::lock_guard lock(state().mutex);
    window->state.x = x;
    window->state.y = y;
    window->state.width = width;
    window->state.height = height;
}

void SetWindowTitle(WindowHandle window, const char* text) {
    std::lock_guard lock(state().mutex);
    window->state.title = text;
}

void DestroyNativeWindow(WindowHandle window) {
    if (window->procedure != nullptr) {
        fake::DestroyToolkitWindow(window);
        return;
    }
    std::lock_guard lock(state().mutex);
    window->state.destroyed = true;
    window->state.shown = false;
}

int RunMessageLoop() {
    fake::State& s = state();
    std::function<void()> action;
    {
        std::lock_guard lock(s.mutex);
        action = s.loopAction;
    }
    if (action) {
        action();
    }
    for (;;) {
        fake::ServeQueue();
        std::unique_lock lock(s.mutex);
        if (s.quitCode) {
            int code = *s.quitCode;
            s.quitCode.reset();
            return code;
        }
        bool woken = s.changed.wait_for(lock, std::chrono::milliseconds(s.loopTimeoutMs), [&] {
            return !s.queue.empty() || s.quitCode.has_value() || s.workerExited;
        });
        if (!woken) {
            throw fake::LoopStalled{};
        }
    }
}

void PostQuit(int code) {
    {
        std::lock_guard lock(state().mutex);
        state().quitCode = code;
    }
    state().changed.notify_all();
}

}  // namespace platform
