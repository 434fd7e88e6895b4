#include "tools/skin/paint.h"

namespace skin {
namespace {

double Channel(uint32_t rgb, int shift) {
    return ((rgb >> shift) & 0xFF) / 255.0;
}

}  // namespace

void SetColor(cairo_t* cr, uint32_t rgb, double alpha) {
    cairo_set_source_rgba(cr, Channel(rgb, 16), Channel(rgb, 8), Channel(rgb, 0), alpha);
}

void AddStop(cairo_pattern_t* pattern, double offset, uint32_t rgb, double alpha) {
    cairo_pattern_add_color_stop_rgba(pattern, offset, Channel(rgb, 16), Channel(rgb, 8),
                                      Channel(rgb, 0), alpha);
}

void RoundedRect(cairo_t* cr, double x, double y, double width, double height, double radius) {
    constexpr double kQuarter = 1.5707963267948966;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - radius, y + radius, radius, -kQuarter, 0);
    cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, kQuarter);
    cairo_arc(cr, x + radius, y + height - radius, radius, kQuarter, 2 * kQuarter);
    cairo_arc(cr, x + radius, y + radius, radius, 2 * kQuarter, 3 * kQuarter);
    cairo_close_path(cr);
}

PangoLayout* MakeLayout(cairo_t* cr, const char* family, double pixels, const char* text,
                        int letterSpacingPixels) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);

    PangoFontDescription* font = pango_font_description_from_string(family);
    pango_font_description_set_absolute_size(font, pixels * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    if (letterSpacingPixels != 0) {
        PangoAttrList* attributes = pango_attr_list_new();
        pango_attr_list_insert(attributes,
                               pango_attr_letter_spacing_new(letterSpacingPixels * PANGO_SCALE));
        pango_layout_set_attributes(layout, attributes);
        pango_attr_list_unref(attributes);
    }
    pango_layout_set_text(layout, text, -1);
    return layout;
}

void InkSize(PangoLayout* layout, double& width, double& height, double& left, double& top) {
    PangoRectangle ink;
    pango_layout_get_extents(layout, &ink, nullptr);
    width = static_cast<double>(ink.width) / PANGO_SCALE;
    height = static_cast<double>(ink.height) / PANGO_SCALE;
    left = static_cast<double>(ink.x) / PANGO_SCALE;
    top = static_cast<double>(ink.y) / PANGO_SCALE;
}

void MoveToCentred(cairo_t* cr, PangoLayout* layout, double cx, double cy) {
    double width, height, left, top;
    InkSize(layout, width, height, left, top);
    cairo_move_to(cr, cx - width / 2 - left, cy - height / 2 - top);
}

double Scatter::Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) / 16777216.0;
}

}  // namespace skin
