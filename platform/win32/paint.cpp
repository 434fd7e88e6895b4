// Painting of the toolkit's windows on Windows (platform/window.h): BeginWindowPaint and
// EndWindowPaint with BeginPaint/EndPaint, keeping each window's paint DC until its paint ends
// so that the window's render target draws into it (platform/win32/paint.h). Leaves out
// everything else of window.h (the window class, messages, timers, the mouse).
#include "platform/win32/paint.h"

#include <algorithm>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/window.h"

namespace platform {

namespace {

struct Paint {
    HWND window;
    PAINTSTRUCT paint;
};

// Paints in progress, on the UI thread only. More than one when a paint makes another window
// paint at once (a synchronous update from inside a paint).
std::vector<Paint> paints;

std::vector<Paint>::iterator Find(HWND window) {
    return std::find_if(paints.begin(), paints.end(),
                        [window](const Paint& paint) { return paint.window == window; });
}

}  // namespace

void BeginWindowPaint(WindowHandle window) {
    HWND hwnd = win32::ToHwnd(window);
    if (hwnd == nullptr || Find(hwnd) != paints.end()) {
        return;
    }
    Paint paint{hwnd, {}};
    if (BeginPaint(hwnd, &paint.paint) != nullptr) {
        paints.push_back(paint);
    }
}

void EndWindowPaint(WindowHandle window) {
    auto found = Find(win32::ToHwnd(window));
    if (found == paints.end()) {
        return;
    }
    EndPaint(found->window, &found->paint);
    paints.erase(found);
}

namespace win32 {

HDC PaintDc(HWND window) {
    auto found = Find(window);
    return found != paints.end() ? found->paint.hdc : nullptr;
}

}  // namespace win32

}  // namespace platform
