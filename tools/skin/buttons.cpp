#include "tools/skin/buttons.h"

#include <cmath>

#include "tools/skin/paint.h"

namespace skin {
namespace {

constexpr double kWidth = kButtonWidth;
constexpr double kHeight = kButtonHeight;

struct Look {
    uint32_t top, bottom;  // plate gradient
    uint32_t border;
    double highlight;  // alpha of the lit inner top edge
    uint32_t text;
    double textAlpha;
    double shadow;  // alpha of the text's drop shadow
};

Look LookOf(Tone tone, State state) {
    if (state == kDisable) {
        return {0x1e2127, 0x191b20, 0x2c3037, 0.03, 0x8a919c, 0.5, 0};
    }
    switch (tone) {
        case Tone::kAccent:
            switch (state) {
                case kOver:
                    return {0x4ccdf6, 0x1b8cc0, 0x9ae6ff, 0.35, 0xffffff, 1, 0.45};
                case kDown:
                    return {0x0a4e72, 0x11719e, 0x1a88ba, 0, 0xd4f1ff, 1, 0.3};
                default:
                    return {0x27a6d6, 0x0f6797, 0x48c4ee, 0.28, 0xffffff, 1, 0.45};
            }
        case Tone::kGold:
            switch (state) {
                case kOver:
                    return {0xf7cf72, 0xbb8126, 0xffe7a8, 0.40, 0x1c1204, 1, 0};
                case kDown:
                    return {0x7c5312, 0xa46f1f, 0xb98634, 0, 0x1c1204, 1, 0};
                default:
                    return {0xe6b150, 0x9e6a1c, 0xf2c978, 0.32, 0x1c1204, 1, 0};
            }
        case Tone::kPlain:
            break;
    }
    switch (state) {
        case kOver:
            return {0x3b5678, 0x24364f, 0x6fb0e2, 0.20, 0xffffff, 1, 0.5};
        case kDown:
            return {0x0b1626, 0x1d3656, 0x4a80bd, 0, 0xd6e6f8, 1, 0.5};
        default:
            return {0x2a3b55, 0x19253a, 0x3f5679, 0.14, 0xe4ecf6, 1, 0.5};
    }
}

// The command's glyph in a 9 x 9 box at (x, y), in the current source colour.
void DrawGlyph(cairo_t* cr, Glyph glyph, double x, double y) {
    cairo_set_line_width(cr, 1.6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    switch (glyph) {
        case Glyph::kFolder:
            cairo_move_to(cr, x, y + 1);
            cairo_line_to(cr, x + 3.5, y + 1);
            cairo_line_to(cr, x + 4.5, y + 2.5);
            cairo_line_to(cr, x + 9.5, y + 2.5);
            cairo_line_to(cr, x + 9.5, y + 9);
            cairo_line_to(cr, x, y + 9);
            cairo_close_path(cr);
            cairo_fill(cr);
            break;
        case Glyph::kPlay:
            cairo_move_to(cr, x + 1, y);
            cairo_line_to(cr, x + 9, y + 4.5);
            cairo_line_to(cr, x + 1, y + 9);
            cairo_close_path(cr);
            cairo_fill(cr);
            break;
        case Glyph::kArrowDown:
            cairo_move_to(cr, x + 4.5, y);
            cairo_line_to(cr, x + 4.5, y + 5);
            cairo_stroke(cr);
            cairo_move_to(cr, x + 0.5, y + 3.5);
            cairo_line_to(cr, x + 8.5, y + 3.5);
            cairo_line_to(cr, x + 4.5, y + 7.5);
            cairo_close_path(cr);
            cairo_fill(cr);
            cairo_rectangle(cr, x, y + 8.2, 9, 1.4);
            cairo_fill(cr);
            break;
        case Glyph::kBars:
            cairo_rectangle(cr, x + 1, y, 2.6, 9);
            cairo_rectangle(cr, x + 5.4, y, 2.6, 9);
            cairo_fill(cr);
            break;
        case Glyph::kCross:
            cairo_move_to(cr, x + 1, y + 1);
            cairo_line_to(cr, x + 8, y + 8);
            cairo_move_to(cr, x + 8, y + 1);
            cairo_line_to(cr, x + 1, y + 8);
            cairo_stroke(cr);
            break;
    }
}

}  // namespace

void DrawButton(cairo_t* cr, cairo_surface_t* backdrop, const Button& button, State state) {
    Rect r = RectOf(button);
    cairo_set_source_surface(cr, backdrop, -r.x, -r.y);
    cairo_paint(cr);

    Look look = LookOf(button.tone, state);
    RoundedRect(cr, 0.5, 0.5, kWidth - 1, kHeight - 1, 4);
    cairo_pattern_t* plate = cairo_pattern_create_linear(0, 0, 0, kHeight);
    AddStop(plate, 0, look.top);
    AddStop(plate, 1, look.bottom);
    cairo_set_source(cr, plate);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(plate);
    cairo_set_line_width(cr, 1);
    SetColor(cr, look.border);
    cairo_stroke(cr);

    if (look.highlight > 0) {
        SetColor(cr, 0xffffff, look.highlight);
        cairo_rectangle(cr, 4, 1, kWidth - 8, 1);
        cairo_fill(cr);
    }
    if (state == kDown) {  // pressed in: shade along the top and left inner edges
        SetColor(cr, 0x000000, 0.45);
        cairo_rectangle(cr, 3, 1, kWidth - 6, 1.5);
        cairo_rectangle(cr, 1, 3, 1.2, kHeight - 6);
        cairo_fill(cr);
    }

    constexpr const char* kFont = "Noto Sans CJK JP Bold";
    constexpr double kSize = 11.5;
    PangoLayout* label = MakeLayout(cr, kFont, kSize, button.label);
    double width, height, left, top;
    InkSize(label, width, height, left, top);
    // Every label sits on the same baseline: centre the capital height, not each word's ink.
    PangoLayout* capital = MakeLayout(cr, kFont, kSize, "H");
    double capWidth, capHeight, capLeft, capTop;
    InkSize(capital, capWidth, capHeight, capLeft, capTop);
    g_object_unref(capital);

    constexpr double kGlyph = 9.5;
    constexpr double kGap = 5;
    double offset = state == kDown ? 1 : 0;  // the pressed face moves with the press
    double start = std::round((kWidth - (kGlyph + kGap + width)) / 2) + offset;
    double middle = kHeight / 2 + offset;
    double textX = start + kGlyph + kGap - left;
    double textY = std::round(middle - capHeight / 2 - capTop);
    if (look.shadow > 0) {
        SetColor(cr, 0x000000, look.shadow);
        cairo_move_to(cr, textX, textY + 1);
        pango_cairo_show_layout(cr, label);
        DrawGlyph(cr, button.glyph, start, middle - 4.5 + 1);
    }
    SetColor(cr, look.text, look.textAlpha);
    cairo_move_to(cr, textX, textY);
    pango_cairo_show_layout(cr, label);
    DrawGlyph(cr, button.glyph, start, middle - 4.5);
    g_object_unref(label);
}

}  // namespace skin
