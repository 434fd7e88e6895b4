// The paint in progress of each window, between BeginWindowPaint and EndWindowPaint: its render
// target draws into the DC the system handed to that paint.
#pragma once

#include <windows.h>

namespace platform::win32 {

// The DC of the window's paint in progress; null outside a paint.
HDC PaintDc(HWND window);

}  // namespace platform::win32
