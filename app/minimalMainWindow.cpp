// A plain top-level window that runs the message loop until the skinned main window exists:
// no skin and no controls, but the close confirmation and the quit code of the real one.
#include "app/cApp.h"
#include "app/mainWindow.h"

class cWinMain {
public:
    explicit cWinMain(cJson& document) : document(&document) {}
    ~cWinMain() {
        if (handle != nullptr) {
            platform::DestroyWindow(handle);
        }
    }

    // The close confirmation: OK stops any download and ends the loop with code 1. A close
    // request that arrives while the question is open asks nothing more.
    void OnClose() {
        if (asking) {
            return;
        }
        asking = true;
        int answer = platform::MessageBox(handle, theApp->exitQuestion, theApp->messageBoxTitle,
                                          platform::kMbOkCancel | platform::kMbIconQuestion);
        asking = false;
        if (answer != platform::kIdOk) {
            return;
        }
        theApp->StopDownload();
        platform::DestroyWindow(handle);
        handle = nullptr;
        platform::PostQuit(1);
    }

    cJson* document;
    platform::WindowHandle handle = nullptr;
    int x = 10;
    int y = 10;
    int width = 100;
    int height = 100;
    bool asking = false;
};

cWinMain* NewMainWindow(cJson& document) {
    return new cWinMain(document);
}

void DeleteMainWindow(cWinMain* window) {
    delete window;
}

bool CreateMainWindowNative(cWinMain* window) {
    window->handle = platform::CreateMainWindow(window->x, window->y, window->width, window->height,
                                                [window] { window->OnClose(); });
    return window->handle != nullptr;
}

void ShowMainWindow(cWinMain* window) {
    platform::ShowWindow(window->handle);
    platform::MoveWindow(window->handle, window->x, window->y, window->width, window->height);
}

void SetMainWindowTitle(cWinMain* window, const char* title) {
    platform::SetWindowTitle(window->handle, title);
}

platform::WindowHandle NativeHandleOf(const cWinMain* window) {
    return window->handle;
}
