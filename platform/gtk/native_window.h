// What the GTK backend keeps for a window, shared by its files: the plain stand-in main window
// of ui.cpp and the toolkit's windows of window.cpp, which draw.cpp's render targets present.
#pragma once

#include <cairo.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "platform/ui.h"
#include "platform/window.h"

namespace platform::gtk {
class CairoTarget;
}

struct platform::NativeWindow {
    // The GtkWindow of a top-level window; a toolkit child's GtkDrawingArea.
    GtkWidget* widget = nullptr;

    // Every message goes to `procedure`.
    platform::WindowProcedure procedure = nullptr;
    uint64_t serial = 0;  // never reused, so that late timers and notices find no stranger
    void* object = nullptr;
    NativeWindow* parent = nullptr;       // the top-level that holds a child
    std::vector<NativeWindow*> children;  // bottom to top
    GtkWidget* layout = nullptr;          // a top-level's container of its surface and children
    GtkWidget* area = nullptr;            // the drawing area of the window's own client surface
    int x = 0;  // a child's position in its parent's client area; a top-level's on the screen
    int y = 0;
    int width = 0;
    int height = 0;
    bool needsPaint = true;
    bool destroying = false;
    cairo_surface_t* frame = nullptr;  // the last finished frame, shown on every draw
    std::vector<platform::gtk::CairoTarget*> targets;
    std::map<uintptr_t, guint> timers;
    // Mouse tracking.
    bool hoverRequested = false;
    bool leaveRequested = false;
    unsigned hoverMs = 0;
    guint hoverSource = 0;
    int hoverAnchorX = 0;  // screen point where the pointer started to rest
    int hoverAnchorY = 0;
};

namespace platform::gtk {

// window.cpp: message delivery, invalidation and destruction of toolkit windows.
intptr_t Deliver(NativeWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam);
void InvalidateToolkitWindow(NativeWindow* window);
void DestroyToolkitWindow(NativeWindow* window);
// Moves and sizes a window (a child in its parent's client area); kWmSize when the size changed.
void MoveToolkitWindow(NativeWindow* window, int x, int y, int width, int height);
// window.cpp: `surface` is the window's newest frame; it reaches the screen at the next draw.
void PresentFrame(NativeWindow* window, cairo_surface_t* surface);
// draw.cpp: the window is going; its render targets keep drawing into their own surfaces only.
void DetachTargets(NativeWindow* window);
// draw.cpp: fills the window's frame with the class's white background.
void EraseFrame(NativeWindow* window);
// draw.cpp: an image decoded by its own signature; null when the bytes are no image.
GdkPixbuf* DecodeImage(const void* bytes, size_t size);

}  // namespace platform::gtk
