// The base of the strips that the main window holds (the information panel, the progress bar):
// a child window that paints itself, lets the main window be dragged by it, and hands its
// creation, timer and destruction to the strip.
#pragma once

#include "ui/cWindow.h"

class cPanel : public cWindow {
public:
    ~cPanel() override = default;

    intptr_t HandleMessage(platform::WindowHandle window, unsigned message, uintptr_t wParam,
                           intptr_t lParam) override;

    // One frame of the strip, between the window's begin and end of painting.
    virtual void OnPaint() = 0;

protected:
    virtual void OnCreate() {}
    virtual void OnDestroy() {}
    // Any timer of the window.
    virtual void OnTimer() {}
};
