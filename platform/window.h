// Native windows of one class, their messages, timers and the mouse: what the window toolkit
// (ui/) asks of its platform. Message numbers, styles, hit-test answers and key codes carry
// the Windows values, so the Win32 backend passes native messages through unchanged and the
// GTK backend turns its events into the same messages. A backend decides nothing: it creates,
// delivers and reports; the window procedure in ui/ decides.
#pragma once

#include <cstdint>

#include "platform/ui.h"

namespace platform {

// Messages (wParam, lParam as noted).
inline constexpr unsigned kWmCreate = 0x0001;      // lParam: CreateParameters*
inline constexpr unsigned kWmDestroy = 0x0002;     //
inline constexpr unsigned kWmSize = 0x0005;        // lParam: client width | height << 16
inline constexpr unsigned kWmPaint = 0x000F;       //
inline constexpr unsigned kWmClose = 0x0010;       //
inline constexpr unsigned kWmEraseBkgnd = 0x0014;  //
// The right button went up over a window (its client area or its caption), or the menu key or
// Shift+F10 was pressed; lParam: the screen point, kKeyboardPoint from the keyboard.
inline constexpr unsigned kWmContextMenu = 0x007B;
inline constexpr unsigned kWmNcCreate = 0x0081;   // lParam: CreateParameters*
inline constexpr unsigned kWmNcDestroy = 0x0082;  //
inline constexpr unsigned kWmNcHitTest = 0x0084;  // lParam: packed screen point
inline constexpr unsigned kWmNcLButtonDown =
    0x00A1;                                     // wParam: hit-test answer; lParam: screen point
inline constexpr unsigned kWmKeyDown = 0x0100;  // wParam: virtual key
// kWmTimer (0x0113, wParam: timer id) is declared in platform/ui.h.
inline constexpr unsigned kWmMouseMove = 0x0200;    // wParam: key flags; lParam: client point
inline constexpr unsigned kWmLButtonDown = 0x0201;  // as kWmMouseMove
inline constexpr unsigned kWmLButtonUp = 0x0202;    // as kWmMouseMove
inline constexpr unsigned kWmMouseHover = 0x02A1;   // lParam: client point
inline constexpr unsigned kWmMouseLeave = 0x02A3;   //

// lParam of a kWmContextMenu that the keyboard asked for.
inline constexpr intptr_t kKeyboardPoint = -1;

// Key flags of mouse messages.
inline constexpr uintptr_t kMkLButton = 0x0001;
// Virtual keys.
inline constexpr uintptr_t kVkEscape = 0x1B;
// Hit-test answers.
inline constexpr intptr_t kHtClient = 1;
inline constexpr intptr_t kHtCaption = 2;

// Window styles.
inline constexpr uint32_t kWsPopup = 0x80000000;
inline constexpr uint32_t kWsChild = 0x40000000;
inline constexpr uint32_t kWsTabStop = 0x00010000;

// A point packed as Windows packs it into lParam: x in the low 16 bits, y in the next 16,
// each a signed 16-bit value (points left of or above a window are negative).
inline intptr_t PackPoint(int x, int y) {
    return static_cast<intptr_t>(static_cast<uint16_t>(x) |
                                 static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16);
}
inline int PointX(intptr_t packed) {
    return static_cast<int16_t>(static_cast<uint16_t>(packed & 0xFFFF));
}
inline int PointY(intptr_t packed) {
    return static_cast<int16_t>(static_cast<uint16_t>((packed >> 16) & 0xFFFF));
}

// What lParam of kWmNcCreate and kWmCreate points at. Its first member is the creation
// parameter given to CreateNativeWindow, as in the system's own creation structure.
struct CreateParameters {
    void* param;
};

struct Rect {
    int left;
    int top;
    int right;
    int bottom;
};

struct Size {
    int width;
    int height;
};

// Every message of every window of a class goes through its procedure. A backend delivers
// each message synchronously on the UI thread; what the procedure does not handle it passes
// on to DefaultWindowProcedure.
using WindowProcedure = intptr_t (*)(WindowHandle window, unsigned message, uintptr_t wParam,
                                     intptr_t lParam);

// The process-wide drawing services (on Windows the COM apartment and the Direct2D and imaging
// factories). The toolkit opens them before its first window and closes them after its last.
void OpenGraphics();
void CloseGraphics();

// The one window class: its name, procedure and icon resource. False when it cannot be
// registered (an existing registration included).
bool RegisterWindowClass(const char* className, WindowProcedure procedure, int iconResourceId);
void UnregisterWindowClass(const char* className);

// Creates a window of a registered class, hidden. `parent` is null for a top-level window
// (kWsPopup: no frame of the system's), else the top-level window that holds this child
// (kWsChild). The procedure receives kWmNcCreate and then kWmCreate before this returns, both
// with a CreateParameters* holding `param`; an answer of 0 to kWmNcCreate or of -1 to
// kWmCreate refuses the window (destroyed again at once). Null when the window was not
// created.
WindowHandle CreateNativeWindow(const char* className, const char* windowName, uint32_t style,
                                int x, int y, int width, int height, WindowHandle parent,
                                void* param);
// The system's handling of a message nobody handled: kWmNcCreate answers 1 (go on);
// kWmNcHitTest answers kHtClient; kWmEraseBkgnd erases with the class's white background and
// answers 1; kWmNcLButtonDown with kHtCaption, while the left button is down, lets the user move
// the top-level window that holds `window` with the mouse; kWmClose destroys the window;
// kWmContextMenu of a child goes on to its parent, as the system's own does; everything else
// answers 0.
intptr_t DefaultWindowProcedure(WindowHandle window, unsigned message, uintptr_t wParam,
                                intptr_t lParam);

// The object a window carries (the toolkit binds its window object here); null until set.
void SetWindowObject(WindowHandle window, void* object);
void* WindowObject(WindowHandle window);

// A window goes with DestroyNativeWindow (platform/ui.h): kWmDestroy reaches it and then its
// children, kWmNcDestroy reaches the children and then it, and its handle is invalid after.
// SendWindowMessage and InvalidateWindow (platform/ui.h) work on these windows too; an invalidated
// window receives kWmPaint later from the message loop.

// Around the painting of a kWmPaint: marks the window as painted, so that the system does not
// ask again until the next invalidation.
void BeginWindowPaint(WindowHandle window);
void EndWindowPaint(WindowHandle window);

// Shows or hides a window.
void SetWindowVisible(WindowHandle window, bool visible);
// Moves and sizes a window (a child in its parent's client coordinates), puts it on top of its
// siblings and shows it.
void PlaceWindow(WindowHandle window, int x, int y, int width, int height);
// The client area: (0, 0, width, height).
Rect ClientRect(WindowHandle window);
// The window's rectangle in screen coordinates.
Rect WindowRect(WindowHandle window);
// Size of the primary screen in pixels.
Size ScreenSize();

// A timer that delivers kWmTimer with `id` to the window every `ms` milliseconds, until
// StopTimer or the window's destruction. Starting an existing id restarts it.
void StartTimer(WindowHandle window, uintptr_t id, unsigned ms);
void StopTimer(WindowHandle window, uintptr_t id);

// Mouse capture: until ReleaseMouse, every mouse message goes to `window`, wherever the
// pointer is (points relative to `window`, negative or beyond its size when outside).
void CaptureMouse(WindowHandle window);
void ReleaseMouse();
// Asks for one kWmMouseHover when the pointer has rested inside `window` for `hoverMs`, and one
// kWmMouseLeave when it leaves the window (while the mouse is captured, when the capture ends
// with the pointer outside). Each notice ends its own request, a leave ends both; asking again
// renews them.
void TrackMouse(WindowHandle window, unsigned hoverMs);

// One line of the debugging trace: the platform's debug log (the debugger's output on Windows;
// on Linux GLib's debug log, domain "downloader", shown with G_MESSAGES_DEBUG=downloader).
void DebugTrace(const char* line);

}  // namespace platform
