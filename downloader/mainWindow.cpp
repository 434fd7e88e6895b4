// The application shell's view of its main window: the downloader window.
#include "downloader/mainWindow.h"

#include "downloader/cWinMain.h"
#include "platform/window.h"

cWinMain* NewMainWindow(cJson& document) {
    return new cWinMain(document);
}

void DeleteMainWindow(cWinMain* window) {
    delete window;
}

bool CreateMainWindowNative(cWinMain* window) {
    // The first place and size are placeholders: creation computes the real ones, which
    // ShowMainWindow applies.
    return platform::CreateNativeWindow(cWindow::kClassName, cWindow::kWindowName,
                                        platform::kWsPopup, 10, 10, 100, 100, nullptr,
                                        window) != nullptr;
}

void ShowMainWindow(cWinMain* window) {
    platform::ShowNativeWindow(window->hwnd);
    platform::MoveNativeWindow(window->hwnd, window->x, window->y, window->width, window->height);
}

void SetMainWindowTitle(cWinMain* window, const char* title) {
    platform::SetWindowTitle(window->hwnd, title);
}

platform::WindowHandle NativeHandleOf(const cWinMain* window) {
    return window->hwnd;
}
