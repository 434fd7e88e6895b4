#include "ui/cPanel.h"

#include "platform/window.h"

intptr_t cPanel::HandleMessage(platform::WindowHandle, unsigned message, uintptr_t,
                               intptr_t lParam) {
    switch (message) {
        case platform::kWmCreate:
            OnCreate();
            return 0;
        case platform::kWmDestroy:
            OnDestroy();
            return 0;
        case platform::kWmPaint:
            platform::BeginWindowPaint(hwnd);
            OnPaint();
            platform::EndWindowPaint(hwnd);
            return 0;
        case platform::kWmNcHitTest:
            // Dragging the strip drags the main window, as its own surface does.
            platform::SendWindowMessage(parent, platform::kWmNcLButtonDown,
                                        static_cast<uintptr_t>(platform::kHtCaption), lParam);
            return platform::kHtClient;
        case platform::kWmTimer:
            OnTimer();
            return 0;
        default:
            return 0;
    }
}
