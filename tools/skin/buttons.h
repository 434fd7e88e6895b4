// The button pictures (resources 134 to 153): the command's name with a small glyph on a
// rounded plate, one picture per state.
#pragma once

#include <cairo.h>

#include "tools/skin/layout.h"

namespace skin {

// Paints the 70 x 30 picture of `button` in `state`. `backdrop` is the decoded background: its
// pixels under the button fill the plate's rounded corners, so they match the window exactly.
void DrawButton(cairo_t* cr, cairo_surface_t* backdrop, const Button& button, State state);

}  // namespace skin
