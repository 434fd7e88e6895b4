// The program icon (resource 101): a download arrow landing on a gold bar inside a gold ring,
// on a night-blue tile, in the colours of the window.
#pragma once

#include <cairo.h>

namespace skin {

// Paints the icon filling a `size` x `size` square at the origin. Small sizes drop the ring and
// thicken the strokes so the arrow stays legible.
void DrawIcon(cairo_t* cr, double size);

}  // namespace skin
