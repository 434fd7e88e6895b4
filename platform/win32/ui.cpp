// The UI thread, message boxes and the plain window operations on Win32 (platform/ui.h), with
// StartUiThread (platform/win32/ui_thread.h). Leaves out the toolkit's window class and its
// messages (window.cpp) and the drawing (draw.cpp).
//
// A worker's request reaches the UI thread as a message sent to a message-only window of that
// thread: the system delivers sent messages whenever the thread takes its messages, so the
// request runs in the message loop, in a modal box's or the folder browser's loop, and in
// WaitOnUiThread alike, and the worker waits until it has run.
#include "platform/ui.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/win32/codepage.h"
#include "platform/win32/handles.h"
#include "platform/win32/ui_thread.h"

namespace platform {

namespace {

constexpr wchar_t kInvokeClassName[] = L"downloader-ui-thread";
constexpr UINT kInvokeMessage = WM_APP + 1;  // lParam: const std::function<void()>*
// How long a wait on the UI thread sleeps at most before it looks at its condition again.
constexpr DWORD kWaitPollMs = 1;

DWORD uiThread = 0;
HWND invokeWindow = nullptr;

std::wstring Wide(const char* text) {
    return win32_codepage::ToWide(win32_codepage::kDocumentCodePage, text, std::strlen(text));
}

LRESULT CALLBACK InvokeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kInvokeMessage) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

namespace win32 {

void StartUiThread() {
    uiThread = GetCurrentThreadId();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = InvokeProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kInvokeClassName;
    RegisterClassExW(&windowClass);
    invokeWindow = CreateWindowExW(0, kInvokeClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
}

}  // namespace win32

bool IsUiThread() {
    return GetCurrentThreadId() == uiThread;
}

void InvokeOnUiThread(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    SendMessageW(invokeWindow, kInvokeMessage, 0, reinterpret_cast<LPARAM>(&fn));
}

void WaitOnUiThread(const std::function<bool()>& done) {
    if (!IsUiThread()) {
        while (!done()) {
            Sleep(kWaitPollMs);
        }
        return;
    }
    // The loop that ends the program may be asked to end meanwhile: its quit message is kept
    // for it, not eaten here.
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(message.wParam);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) {
            break;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, kWaitPollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    if (quit) {
        PostQuitMessage(quitCode);
    }
}

int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    int answer = 0;
    InvokeOnUiThread([&] {
        answer =
            MessageBoxW(win32::ToHwnd(owner), Wide(text).c_str(), Wide(caption).c_str(), style);
    });
    // A box that could not be shown was not agreed to.
    if (answer == 0) {
        return (style & 0xF) == kMbOkCancel ? kIdCancel : kIdOk;
    }
    return answer;
}

intptr_t SendWindowMessage(WindowHandle window, unsigned message, uintptr_t wParam,
                           intptr_t lParam) {
    // From a worker the system hands the message to the window's own thread and waits.
    return SendMessageW(win32::ToHwnd(window), message, wParam, lParam);
}

void ShowNativeWindow(WindowHandle window) {
    ShowWindow(win32::ToHwnd(window), SW_SHOW);
    UpdateWindow(win32::ToHwnd(window));
}

void MoveNativeWindow(WindowHandle window, int x, int y, int width, int height) {
    MoveWindow(win32::ToHwnd(window), x, y, width, height, TRUE);
}

void SetWindowTitle(WindowHandle window, const char* text) {
    SetWindowTextW(win32::ToHwnd(window), Wide(text).c_str());
}

void DestroyNativeWindow(WindowHandle window) {
    // Only the window's own thread may destroy it.
    InvokeOnUiThread([window] { DestroyWindow(win32::ToHwnd(window)); });
}

int RunMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 0;
}

void PostQuit(int code) {
    // The quit message belongs to the thread that runs the loop.
    InvokeOnUiThread([code] { PostQuitMessage(code); });
}

void InvalidateWindow(WindowHandle window) {
    InvalidateRect(win32::ToHwnd(window), nullptr, FALSE);
}

void FlashNativeWindow(WindowHandle window) {
    // Focus and activation are the window's own thread's to give.
    InvokeOnUiThread([window] {
        HWND hwnd = win32::ToHwnd(window);
        SetFocus(hwnd);
        SetActiveWindow(hwnd);
        BringWindowToTop(hwnd);
        SetForegroundWindow(hwnd);
        // The structure's size is this build's own (the 32-bit size fails in a 64-bit program).
        FLASHWINFO flash{};
        flash.cbSize = sizeof flash;
        flash.hwnd = hwnd;
        flash.dwFlags = FLASHW_ALL;
        flash.uCount = 3;
        flash.dwTimeout = 0;
        FlashWindowEx(&flash);
    });
}

}  // namespace platform
