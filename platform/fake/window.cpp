// The window toolkit's windows in the fake backend: one registry of classes, windows that live
// in memory with their procedure, and every call recorded in words (see fake.h).
#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/fake/state.h"
#include "platform/window.h"

namespace platform {

using fake::state;

namespace fake {

void RecordCall(WindowHandle window, std::string call) {
    std::lock_guard lock(state().mutex);
    state().windowCalls.push_back({window, std::move(call)});
}

// The children first, as the system tears a family down: kWmDestroy from the top, then
// kWmNcDestroy from the bottom.
void DestroyToolkitWindow(WindowHandle window) {
    intptr_t (*procedure)(WindowHandle, unsigned, uintptr_t, intptr_t) = window->procedure;
    procedure(window, kWmDestroy, 0, 0);
    std::vector<WindowHandle> children;
    {
        std::lock_guard lock(state().mutex);
        children = window->children;
    }
    for (WindowHandle child : children) {
        DestroyToolkitWindow(child);
    }
    procedure(window, kWmNcDestroy, 0, 0);
    std::lock_guard lock(state().mutex);
    window->state.destroyed = true;
    window->state.shown = false;
    window->timers.clear();
    window->object = nullptr;
    if (state().capture == window) {
        state().capture = nullptr;
    }
    if (window->parent != nullptr) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    }
    state().windowCalls.push_back({window, "Destroy"});
}

std::vector<WindowCall> WindowCalls() {
    std::lock_guard lock(state().mutex);
    return state().windowCalls;
}

std::vector<std::string> CallsOn(WindowHandle window) {
    std::vector<std::string> calls;
    for (const WindowCall& call : WindowCalls()) {
        if (call.window == window) {
            calls.push_back(call.call);
        }
    }
    return calls;
}

std::vector<std::string> TraceLines() {
    std::lock_guard lock(state().mutex);
    return state().traceLines;
}

void ClearRecords() {
    std::lock_guard lock(state().mutex);
    state().windowCalls.clear();
    state().traceLines.clear();
    state().drawOps.clear();
    state().invalidated.clear();
    state().sent.clear();
}

std::vector<WindowHandle> LiveWindows() {
    std::lock_guard lock(state().mutex);
    std::vector<WindowHandle> live;
    for (const auto& window : state().windows) {
        if (window->procedure != nullptr && !window->state.destroyed) {
            live.push_back(window.get());
        }
    }
    return live;
}

WindowHandle Parent(WindowHandle window) {
    std::lock_guard lock(state().mutex);
    return window->parent;
}

bool IsVisible(WindowHandle window) {
    std::lock_guard lock(state().mutex);
    return window->state.shown;
}

WindowHandle CapturedWindow() {
    std::lock_guard lock(state().mutex);
    return state().capture;
}

void SetScreenSize(int width, int height) {
    std::lock_guard lock(state().mutex);
    state().screen = {width, height};
}

void FailWindows(bool fail) {
    std::lock_guard lock(state().mutex);
    state().failWindows = fail;
}

}  // namespace fake

void OpenGraphics() {
    fake::RecordCall(nullptr, "OpenGraphics");
}

void CloseGraphics() {
    fake::RecordCall(nullptr, "CloseGraphics");
}

bool RegisterWindowClass(const char* className, WindowProcedure procedure, int iconResourceId) {
    fake::RecordCall(nullptr, std::string("RegisterWindowClass ") + className + " " +
                                  std::to_string(iconResourceId));
    std::lock_guard lock(state().mutex);
    return state().classes.emplace(className, std::make_pair(procedure, iconResourceId)).second;
}

void UnregisterWindowClass(const char* className) {
    fake::RecordCall(nullptr, std::string("UnregisterWindowClass ") + className);
    std::lock_guard lock(state().mutex);
    state().classes.erase(className);
}

WindowHandle CreateNativeWindow(const char* className, const char* windowName, uint32_t style,
                                int x, int y, int width, int height, WindowHandle parent,
                                void* param) {
    WindowHandle window = nullptr;
    {
        std::lock_guard lock(state().mutex);
        fake::State& s = state();
        auto found = s.classes.find(className);
        const bool topLevel = parent == nullptr;
        if (s.failWindows || found == s.classes.end() || (topLevel && s.failMainWindow)) {
            return nullptr;
        }
        auto made = std::make_unique<NativeWindow>();
        made->procedure = found->second.first;
        made->state = {x, y, width, height, "", false, false, className, windowName, style};
        made->parent = parent;
        if (parent != nullptr) {
            parent->children.push_back(made.get());
        }
        s.windows.push_back(std::move(made));
        window = s.windows.back().get();
        if (topLevel) {
            s.mainWindows.push_back(window);
        }
        s.windowCalls.push_back({window, "Create"});
    }
    CreateParameters parameters{param};
    intptr_t lParam = reinterpret_cast<intptr_t>(&parameters);
    if (window->procedure(window, kWmNcCreate, 0, lParam) == 0 ||
        window->procedure(window, kWmCreate, 0, lParam) == -1) {
        DestroyNativeWindow(window);
        return nullptr;
    }
    return window;
}

intptr_t DefaultWindowProcedure(WindowHandle window, unsigned message, uintptr_t wParam,
                                intptr_t lParam) {
    switch (message) {
        case kWmContextMenu:
            if (WindowHandle parent = fake::Parent(window)) {
                return SendWindowMessage(parent, message, wParam, lParam);
            }
            return 0;
        case kWmNcCreate:
        case kWmEraseBkgnd:
            return 1;
        case kWmNcHitTest:
            return kHtClient;
        case kWmNcLButtonDown:
            if (wParam == static_cast<uintptr_t>(kHtCaption)) {
                fake::RecordCall(window, "MoveDrag");
            }
            return 0;
        case kWmClose:
            DestroyNativeWindow(window);
            return 0;
        default:
            return 0;
    }
}

void SetWindowObject(WindowHandle window, void* object) {
    std::lock_guard lock(state().mutex);
    window->object = object;
}

void* WindowObject(WindowHandle window) {
    std::lock_guard lock(state().mutex);
    return window->object;
}

void BeginWindowPaint(WindowHandle window) {
    fake::RecordCall(window, "BeginWindowPaint");
}

void EndWindowPaint(WindowHandle window) {
    fake::RecordCall(window, "EndWindowPaint");
}

void SetWindowVisible(WindowHandle window, bool visible) {
    fake::RecordCall(window, visible ? "Visible 1" : "Visible 0");
    std::lock_guard lock(state().mutex);
    window->state.shown = visible;
}

void PlaceWindow(WindowHandle window, int x, int y, int width, int height) {
    fake::RecordCall(window, "PlaceWindow " + std::to_string(x) + " " + std::to_string(y) + " " +
                                 std::to_string(width) + " " + std::to_string(height));
    bool resized = false;
    {
        std::lock_guard lock(state().mutex);
        fake::WindowState& w = window->state;
        resized = w.width != width || w.height != height;
        w.x = x;
        w.y = y;
        w.width = width;
        w.height = height;
        w.shown = true;
    }
    // The system tells a window that its size changed.
    if (resized && window->procedure != nullptr) {
        window->procedure(window, kWmSize, 0, PackPoint(width, height));
    }
}

Rect ClientRect(WindowHandle window) {
    std::lock_guard lock(state().mutex);
    return {0, 0, window->state.width, window->state.height};
}

Rect WindowRect(WindowHandle window) {
    std::lock_guard lock(state().mutex);
    int left = 0;
    int top = 0;
    for (WindowHandle w = window; w != nullptr; w = w->parent) {
        left += w->state.x;
        top += w->state.y;
    }
    return {left, top, left + window->state.width, top + window->state.height};
}

Size ScreenSize() {
    std::lock_guard lock(state().mutex);
    return state().screen;
}

void StartTimer(WindowHandle window, uintptr_t id, unsigned ms) {
    fake::RecordCall(window, "StartTimer " + std::to_string(id) + " " + std::to_string(ms));
    std::lock_guard lock(state().mutex);
    window->timers[id] = ms;
}

void StopTimer(WindowHandle window, uintptr_t id) {
    fake::RecordCall(window, "StopTimer " + std::to_string(id));
    std::lock_guard lock(state().mutex);
    window->timers.erase(id);
}

void CaptureMouse(WindowHandle window) {
    fake::RecordCall(window, "CaptureMouse");
    std::lock_guard lock(state().mutex);
    state().capture = window;
}

void ReleaseMouse() {
    WindowHandle held = nullptr;
    {
        std::lock_guard lock(state().mutex);
        held = state().capture;
        state().capture = nullptr;
    }
    fake::RecordCall(held, "ReleaseMouse");
}

void TrackMouse(WindowHandle window, unsigned hoverMs) {
    fake::RecordCall(window, "TrackMouse " + std::to_string(hoverMs));
}

void DebugTrace(const char* line) {
    std::lock_guard lock(state().mutex);
    state().traceLines.emplace_back(line);
}

}  // namespace platform
