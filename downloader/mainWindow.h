// What the application shell asks of its main window; the downloader window defines these
// (downloader/mainWindow.cpp), so the shell needs none of the window toolkit's headers.
#pragma once

#include "json/cJson.h"
#include "platform/ui.h"

class cWinMain;

// Constructs the window object for `document` (borrowed for the window's life); no native
// window exists yet.
cWinMain* NewMainWindow(cJson& document);
void DeleteMainWindow(cWinMain* window);
// Creates the native window, first at x 10, y 10, 100 x 100; false when it was not created.
bool CreateMainWindowNative(cWinMain* window);
// Shows the native window and moves it to the place its creation chose.
void ShowMainWindow(cWinMain* window);
// `title` in the document's code page.
void SetMainWindowTitle(cWinMain* window, const char* title);
// Null while the native window does not exist.
platform::WindowHandle NativeHandleOf(const cWinMain* window);
