// The window background (resource 102): the title artwork above, a calm deck below where the
// program draws its panel, progress bar, folder text and buttons.
#pragma once

#include <cairo.h>

namespace skin {

// Paints the whole 640 x 380 background.
void DrawBackground(cairo_t* cr);

}  // namespace skin
