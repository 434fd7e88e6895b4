// The base of every window: the native window it is bound to, its place, its render target,
// the one window procedure of the program's window class, and the drawing helpers every
// control uses.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/draw.h"
#include "platform/window.h"

class cWindow {
public:
    static constexpr const char* kClassName = "base-window-class";
    static constexpr const char* kWindowName = "no-name";
    static constexpr int kIconResource = 101;

    // The first window of the process opens the drawing services and registers the class; the
    // last one's destruction gives them back.
    cWindow();
    virtual ~cWindow();
    cWindow(const cWindow&) = delete;
    cWindow& operator=(const cWindow&) = delete;

    // A non-zero result goes back to the system unchanged; zero lets WindowProc go on with its
    // default handling.
    virtual intptr_t HandleMessage(platform::WindowHandle window, unsigned message,
                                   uintptr_t wParam, intptr_t lParam) = 0;
    // The user asked to close this window (a close request or Escape).
    virtual void OnClose() {}

    // The window's render target, made at the client size on first use; null when it cannot
    // be made. Only once the window has a handle.
    platform::RenderTarget* GetRenderTarget();
    void ResizeRenderTarget();
    // A bitmap of the built-in image `id` for this window's target; null when the resource is
    // missing, is no image, or there is no target.
    std::unique_ptr<platform::Bitmap> LoadBitmapFromResource(int id);
    // Repaints the whole window later, without erasing; nothing without a native window.
    void Invalidate();

    static std::unique_ptr<platform::TextFormat> MakeTextFormat(const char16_t* fontFamily,
                                                                int size);
    // 0xRRGGBB (bits above ignored) and an opacity.
    static platform::ColorF ToColorF(uint32_t rgb, float alpha);
    // The warning box of a frame that did not reach the screen.
    static void ReportDrawError();
    // Shows a drawing error (text and message-box style). The application installs one that
    // goes through its own message box; null, or none installed, shows a plain warning box.
    using DrawErrorReporter = void (*)(const char* text, unsigned style);
    static void SetDrawErrorReporter(DrawErrorReporter reporter);

    // Live window objects of the process.
    static int32_t WindowCount() { return windowCount; }

    // Runs a command of the user's (a click, a close request) unless another one is running:
    // a modal wait inside a command (a question box, a stop) keeps the windows live, but never
    // starts a second command. False when refused.
    static bool RunUserCommand(const std::function<void()>& command);

    platform::WindowHandle hwnd = nullptr;
    platform::WindowHandle parent = nullptr;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<platform::RenderTarget> renderTarget;

private:
    static int32_t windowCount;
    static bool commandRunning;
};

// The procedure of the program's window class: binds a window to its object at kWmNcCreate,
// traces every message, hands it to the object and applies the default handling.
intptr_t WindowProc(platform::WindowHandle window, unsigned message, uintptr_t wParam,
                    intptr_t lParam);
