#include "tools/skin/icon.h"

#include <cmath>

#include "tools/skin/paint.h"

namespace skin {

void DrawIcon(cairo_t* cr, double size) {
    bool small = size < 40;
    cairo_save(cr);
    cairo_scale(cr, size, size);

    // Tile.
    RoundedRect(cr, 0.03, 0.03, 0.94, 0.94, 0.2);
    cairo_pattern_t* tile = cairo_pattern_create_linear(0, 0, 0, 1);
    AddStop(tile, 0, 0x1f4479);
    AddStop(tile, 1, 0x0a1426);
    cairo_set_source(cr, tile);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(tile);
    cairo_set_line_width(cr, small ? 0.05 : 0.025);
    SetColor(cr, 0x6fa8e8, 0.7);
    cairo_stroke(cr);

    cairo_pattern_t* gold = cairo_pattern_create_linear(0, 0.15, 0, 0.85);
    AddStop(gold, 0, 0xfff0c0);
    AddStop(gold, 0.5, 0xe8b85a);
    AddStop(gold, 1, 0xa8742a);
    if (!small) {
        cairo_set_line_width(cr, 0.045);
        cairo_set_source(cr, gold);
        cairo_arc(cr, 0.5, 0.5, 0.33, 0, 2 * M_PI);
        cairo_stroke(cr);
    }

    // Arrow.
    double shaft = small ? 0.16 : 0.11;
    cairo_pattern_t* cyan = cairo_pattern_create_linear(0, 0.2, 0, 0.7);
    AddStop(cyan, 0, 0xa8ecff);
    AddStop(cyan, 1, 0x33ddff);
    cairo_set_source(cr, cyan);
    cairo_rectangle(cr, 0.5 - shaft / 2, small ? 0.14 : 0.24, shaft, small ? 0.36 : 0.26);
    cairo_fill(cr);
    double head = small ? 0.5 : 0.48;
    cairo_move_to(cr, small ? 0.22 : 0.30, head);
    cairo_line_to(cr, small ? 0.78 : 0.70, head);
    cairo_line_to(cr, 0.5, small ? 0.74 : 0.68);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_pattern_destroy(cyan);

    // Where the arrow lands: a tray on small tiles, a bar inside the ring on large ones.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_source(cr, gold);
    if (small) {
        cairo_set_line_width(cr, 0.12);
        cairo_move_to(cr, 0.18, 0.68);
        cairo_line_to(cr, 0.18, 0.84);
        cairo_line_to(cr, 0.82, 0.84);
        cairo_line_to(cr, 0.82, 0.68);
    } else {
        cairo_set_line_width(cr, 0.06);
        cairo_move_to(cr, 0.36, 0.74);
        cairo_line_to(cr, 0.64, 0.74);
    }
    cairo_stroke(cr);
    cairo_pattern_destroy(gold);
    cairo_restore(cr);
}

}  // namespace skin
