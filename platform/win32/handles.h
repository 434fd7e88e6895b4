// A window handle of the platform interface is the system's own window handle: the Windows
// backend's files convert between the two here and nowhere else.
#pragma once

#include <windows.h>

#include "platform/ui.h"

namespace platform::win32 {

inline HWND ToHwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}
inline WindowHandle FromHwnd(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}

}  // namespace platform::win32
