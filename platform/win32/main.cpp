// The Windows program: a GUI program (no console) whose thread is the UI thread, with OLE
// around the run (the folder browser needs it), running the application.
#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include "app/runApplication.h"
#include "platform/win32/ui_thread.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    platform::win32::StartUiThread();
    OleInitialize(nullptr);
    const int code = RunApplication();
    OleUninitialize();
    return code;
}
