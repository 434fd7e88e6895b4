// Drawing helpers shared by every picture of the skin.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdint>

namespace skin {

void SetColor(cairo_t* cr, uint32_t rgb, double alpha = 1.0);
void AddStop(cairo_pattern_t* pattern, double offset, uint32_t rgb, double alpha = 1.0);
void RoundedRect(cairo_t* cr, double x, double y, double width, double height, double radius);

// A one-line layout in `family` at `pixels` size, with fixed rendering options so the output
// does not depend on the desktop's font settings. The caller unrefs it.
PangoLayout* MakeLayout(cairo_t* cr, const char* family, double pixels, const char* text,
                        int letterSpacingPixels = 0);
// The layout's ink size in pixels.
void InkSize(PangoLayout* layout, double& width, double& height, double& left, double& top);
// Moves to where `layout` must start so that its ink is centred on (cx, cy).
void MoveToCentred(cairo_t* cr, PangoLayout* layout, double cx, double cy);

// A small deterministic generator for scattered decoration.
class Scatter {
public:
    explicit Scatter(uint32_t seed) : state_(seed) {}
    double Next();  // in [0, 1)

private:
    uint32_t state_;
};

}  // namespace skin
