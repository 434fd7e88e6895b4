// The window toolkit's native windows on Win32 (platform/window.h).
// Implements: the window class (the system's class, whose procedure hands every native message
// unchanged to the toolkit's procedure: the message numbers are the system's own),
// CreateNativeWindow, DefaultWindowProcedure, window objects, visibility, placement,
// rectangles, the screen size, timers, capture, hover and leave tracking and the debug trace.
// Leaves out: the drawing services and the painting of a message (draw.cpp).
#include "platform/window.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/codepage.h"
#include "platform/win32/handles.h"

namespace platform {

namespace {

struct RegisteredClass {
    std::wstring name;
    ATOM atom;
    WindowProcedure procedure;
};

// Touched by the UI thread only, which owns every window of these classes.
std::vector<RegisteredClass> classes;

std::wstring Wide(const char* text) {
    return win32_codepage::ToWide(win32_codepage::kDocumentCodePage, text, std::strlen(text));
}

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

// The class tells the procedure from the first message on, before the window carries anything
// of its own.
WindowProcedure ProcedureOf(HWND window) {
    const auto atom = static_cast<ATOM>(GetClassLongPtrW(window, GCW_ATOM));
    for (const RegisteredClass& registered : classes) {
        if (registered.atom == atom) {
            return registered.procedure;
        }
    }
    return nullptr;
}

LRESULT CALLBACK NativeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowProcedure procedure = ProcedureOf(window);
    if (procedure == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return procedure(win32::FromHwnd(window), message, wParam, lParam);
}

}  // namespace

bool RegisterWindowClass(const char* className, WindowProcedure procedure, int iconResourceId) {
    const std::wstring name = Wide(className);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = NativeProcedure;
    windowClass.hInstance = Instance();
    windowClass.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(iconResourceId));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = name.c_str();
    const ATOM atom = RegisterClassExW(&windowClass);
    if (atom == 0) {
        return false;
    }
    classes.push_back({name, atom, procedure});
    return true;
}

void UnregisterWindowClass(const char* className) {
    const std::wstring name = Wide(className);
    for (auto registered = classes.begin(); registered != classes.end(); ++registered) {
        if (registered->name == name) {
            UnregisterClassW(name.c_str(), Instance());
            classes.erase(registered);
            return;
        }
    }
}

WindowHandle CreateNativeWindow(const char* className, const char* windowName, uint32_t style,
                                int x, int y, int width, int height, WindowHandle parent,
                                void* param) {
    // A top-level window clips its children: each child paints its own area through its paint
    // context, and the parent's frame must not cover it afterwards.
    DWORD nativeStyle = style;
    if ((style & kWsChild) == 0) {
        nativeStyle |= WS_CLIPCHILDREN;
    }
    // The creation structure's first member is `param`: what CreateParameters mirrors.
    HWND window =
        CreateWindowExW(0, Wide(className).c_str(), Wide(windowName).c_str(), nativeStyle, x, y,
                        width, height, win32::ToHwnd(parent), nullptr, Instance(), param);
    return win32::FromHwnd(window);
}

namespace {

bool ShiftDown() {
    return (GetKeyState(VK_SHIFT) & 0x8000) != 0;
}

// The right button over a caption, the menu key and Shift+F10 as WM_CONTEXTMENU, the same on
// every system: Windows tracks a right click on a caption for the system menu, which these
// windows lack, and Wine drops it; the keys are taken here so that the system does not send a
// second one. Null for every other message.
const LRESULT* AsContextMenu(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static const LRESULT kHandled = 0;
    const bool caption = wParam == HTCAPTION;
    const bool menuKey = wParam == VK_APPS || (wParam == VK_F10 && ShiftDown());
    if ((message == WM_NCRBUTTONDOWN && caption) ||
        ((message == WM_KEYUP || message == WM_SYSKEYUP) && menuKey)) {
        return &kHandled;
    }
    if (message == WM_NCRBUTTONUP && caption) {
        SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), lParam);
        return &kHandled;
    }
    if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && menuKey) {
        SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), kKeyboardPoint);
        return &kHandled;
    }
    return nullptr;
}

}  // namespace

intptr_t DefaultWindowProcedure(WindowHandle window, unsigned message, uintptr_t wParam,
                                intptr_t lParam) {
    if (message == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
        // A move by the mouse only while its button is down (the toolkit asks from hit tests
        // too, and the system's move loop would otherwise hold the pointer until the next
        // click), and one at a time: the hit tests of the move itself must not start another.
        static bool moving = false;
        if (moving || (GetAsyncKeyState(VK_LBUTTON) & 0x8000) == 0) {
            return 0;
        }
        moving = true;
        const LRESULT result = DefWindowProcW(win32::ToHwnd(window), message, wParam, lParam);
        moving = false;
        return result;
    }
    if (const LRESULT* handled = AsContextMenu(win32::ToHwnd(window), message, wParam, lParam)) {
        return *handled;
    }
    return DefWindowProcW(win32::ToHwnd(window), message, wParam, lParam);
}

void SetWindowObject(WindowHandle window, void* object) {
    SetWindowLongPtrW(win32::ToHwnd(window), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
}

void* WindowObject(WindowHandle window) {
    return reinterpret_cast<void*>(GetWindowLongPtrW(win32::ToHwnd(window), GWLP_USERDATA));
}

void SetWindowVisible(WindowHandle window, bool visible) {
    ShowWindow(win32::ToHwnd(window), visible ? SW_SHOW : SW_HIDE);
}

void PlaceWindow(WindowHandle window, int x, int y, int width, int height) {
    SetWindowPos(win32::ToHwnd(window), HWND_TOP, x, y, width, height, SWP_SHOWWINDOW);
}

Rect ClientRect(WindowHandle window) {
    RECT rect{};
    GetClientRect(win32::ToHwnd(window), &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

Rect WindowRect(WindowHandle window) {
    RECT rect{};
    GetWindowRect(win32::ToHwnd(window), &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

Size ScreenSize() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void StartTimer(WindowHandle window, uintptr_t id, unsigned ms) {
    SetTimer(win32::ToHwnd(window), id, ms, nullptr);
}

void StopTimer(WindowHandle window, uintptr_t id) {
    KillTimer(win32::ToHwnd(window), id);
}

void CaptureMouse(WindowHandle window) {
    SetCapture(win32::ToHwnd(window));
}

void ReleaseMouse() {
    ReleaseCapture();
}

void TrackMouse(WindowHandle window, unsigned hoverMs) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = win32::ToHwnd(window);
    track.dwHoverTime = hoverMs;
    TrackMouseEvent(&track);
}

void DebugTrace(const char* line) {
    OutputDebugStringA(line);
}

}  // namespace platform
