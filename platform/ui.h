// The user-interface thread, message boxes and the window operations every window shares.
// Constants use the Windows values so that the Win32 backend passes them through unchanged.
// The window toolkit's own windows, messages and drawing are in platform/window.h and
// platform/draw.h.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

struct NativeWindow;
using WindowHandle = NativeWindow*;

// Message-box styles and answers.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Window messages.
inline constexpr unsigned kWmTimer = 0x113;

// Shows a modal message box (texts in the documents' code page) and returns the answer.
// May be called from any thread; a worker's box is shown by the UI thread while it waits.
int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style);

// Runs `fn` on the UI thread and waits for it to finish; runs it at once on the UI thread.
void InvokeOnUiThread(const std::function<void()>& fn);
// On the UI thread: waits until `done()` is true while still running what workers hand to
// InvokeOnUiThread, so a stop never waits on a worker that waits on the UI thread.
void WaitOnUiThread(const std::function<bool()>& done);
bool IsUiThread();

// Delivers a message to a window synchronously on the UI thread and returns the result of its
// window procedure.
intptr_t SendWindowMessage(WindowHandle window, unsigned message, uintptr_t wParam,
                           intptr_t lParam);
// Operations on a window made by CreateNativeWindow (platform/window.h), and the message loop.
void ShowNativeWindow(WindowHandle window);
void MoveNativeWindow(WindowHandle window, int x, int y, int width, int height);
// `text` in the documents' code page.
void SetWindowTitle(WindowHandle window, const char* text);
void DestroyNativeWindow(WindowHandle window);
// Runs the UI thread's message loop until PostQuit and returns the code given to it.
int RunMessageLoop();
void PostQuit(int code);

// Marks the whole client area for repaint without erasing.
void InvalidateWindow(WindowHandle window);
// Brings the window forward and flashes it to draw the user's eye.
void FlashNativeWindow(WindowHandle window);

}  // namespace platform
