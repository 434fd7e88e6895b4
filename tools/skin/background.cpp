#include "tools/skin/background.h"

#include <cmath>

#include "tools/skin/layout.h"
#include "tools/skin/paint.h"

namespace skin {
namespace {

constexpr double kWidth = kWindow.width;
constexpr double kHeight = kWindow.height;
constexpr double kDeckTop = 272;  // the deck holds every control
constexpr double kTitleY = 124;   // centre line of the product name

void Sky(cairo_t* cr) {
    cairo_pattern_t* base = cairo_pattern_create_linear(0, 0, 0, kDeckTop);
    AddStop(base, 0, 0x0f1d35);
    AddStop(base, 0.6, 0x0b1529);
    AddStop(base, 1, 0x09101f);
    cairo_set_source(cr, base);
    cairo_paint(cr);
    cairo_pattern_destroy(base);

    // A soft light behind the title.
    cairo_pattern_t* glow =
        cairo_pattern_create_radial(kWidth / 2, kTitleY, 10, kWidth / 2, kTitleY, 330);
    AddStop(glow, 0, 0x3a78c8, 0.30);
    AddStop(glow, 0.45, 0x24508f, 0.10);
    AddStop(glow, 1, 0x24508f, 0);
    cairo_set_source(cr, glow);
    cairo_paint(cr);
    cairo_pattern_destroy(glow);

    Scatter scatter(20180419);
    for (int i = 0; i < 110; ++i) {
        double x = 8 + scatter.Next() * (kWidth - 16);
        double y = 8 + scatter.Next() * 190;
        double r = 0.35 + scatter.Next() * 0.75;
        double a = 0.15 + scatter.Next() * 0.55;
        SetColor(cr, scatter.Next() < 0.3 ? 0xffe6b0 : 0xcfe6ff, a);
        cairo_arc(cr, x, y, r, 0, 2 * M_PI);
        cairo_fill(cr);
    }
}

// A ring emblem behind the name, with four small diamonds on its axes.
void Emblem(cairo_t* cr) {
    double cx = kWidth / 2;
    double cy = kTitleY;
    cairo_set_line_width(cr, 1.4);
    SetColor(cr, 0xe2b866, 0.30);
    cairo_arc(cr, cx, cy, 92, 0, 2 * M_PI);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 0.8);
    SetColor(cr, 0x8cc8ff, 0.16);
    cairo_arc(cr, cx, cy, 101, 0, 2 * M_PI);
    cairo_stroke(cr);
    for (int i = 0; i < 4; ++i) {
        double angle = i * M_PI / 2;
        double x = cx + std::cos(angle) * 92;
        double y = cy + std::sin(angle) * 92;
        SetColor(cr, 0xe2b866, 0.55);
        cairo_move_to(cr, x, y - 4);
        cairo_line_to(cr, x + 4, y);
        cairo_line_to(cr, x, y + 4);
        cairo_line_to(cr, x - 4, y);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
}

// One mountain range: peaks from folded waves, filled down to the deck.
void Ridge(cairo_t* cr, double base, double height, double phase, uint32_t rgb, double rim) {
    auto peak = [](double t) { return std::pow(1 - std::fabs(std::sin(t)), 1.6); };
    cairo_move_to(cr, 0, kDeckTop + 1);
    for (int x = 0; x <= kWindow.width; x += 2) {
        double t = x / kWidth * M_PI;
        double y =
            base - height * (0.65 * peak(t * 2.2 + phase) + 0.25 * peak(t * 5.3 + phase * 1.7) +
                             0.10 * std::sin(t * 17 + phase));
        cairo_line_to(cr, x, y);
    }
    cairo_line_to(cr, kWidth, kDeckTop + 1);
    cairo_close_path(cr);
    SetColor(cr, rgb);
    cairo_fill_preserve(cr);
    if (rim > 0) {
        cairo_set_line_width(cr, 1);
        SetColor(cr, 0x78aef0, rim);
        cairo_stroke(cr);
    }
    cairo_new_path(cr);
}

void Landscape(cairo_t* cr) {
    Ridge(cr, 246, 48, 0.9, 0x13284a, 0.22);
    Ridge(cr, 258, 30, 2.4, 0x0e1f3d, 0.12);
    Ridge(cr, 268, 16, 4.0, 0x0a1630, 0.06);
    // Mist where the hills meet the deck.
    cairo_pattern_t* mist = cairo_pattern_create_linear(0, kDeckTop - 40, 0, kDeckTop);
    AddStop(mist, 0, 0x6aa0e0, 0);
    AddStop(mist, 1, 0x6aa0e0, 0.10);
    cairo_set_source(cr, mist);
    cairo_rectangle(cr, 0, kDeckTop - 40, kWidth, 40);
    cairo_fill(cr);
    cairo_pattern_destroy(mist);
}

void Title(cairo_t* cr) {
    PangoLayout* name = MakeLayout(cr, "DejaVu Serif Bold", 60, "DezirodOR", 3);
    MoveToCentred(cr, name, kWidth / 2, kTitleY - 8);
    pango_cairo_layout_path(cr, name);
    g_object_unref(name);

    // Glow: wide faint strokes under the letters.
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    const double widths[] = {16, 10, 6};
    const double alphas[] = {0.05, 0.08, 0.14};
    for (int i = 0; i < 3; ++i) {
        cairo_set_line_width(cr, widths[i]);
        SetColor(cr, 0x4aa8ff, alphas[i]);
        cairo_stroke_preserve(cr);
    }
    cairo_set_line_width(cr, 2.2);
    SetColor(cr, 0x140c02, 0.85);
    cairo_stroke_preserve(cr);
    cairo_pattern_t* gold = cairo_pattern_create_linear(0, kTitleY - 38, 0, kTitleY + 22);
    AddStop(gold, 0, 0xfff6d2);
    AddStop(gold, 0.45, 0xf0c870);
    AddStop(gold, 0.55, 0xd49a3a);
    AddStop(gold, 1, 0x9c6a24);
    cairo_set_source(cr, gold);
    cairo_fill(cr);
    cairo_pattern_destroy(gold);

    // The product line under the name, between two fading rules.
    PangoLayout* line = MakeLayout(cr, "DejaVu Sans", 11, "DOWNLOADER", 7);
    double width, height, left, top;
    InkSize(line, width, height, left, top);
    double y = kTitleY + 40;
    MoveToCentred(cr, line, kWidth / 2 + 3.5, y);  // letter spacing trails the last letter
    SetColor(cr, 0x9fdcf8, 0.85);
    pango_cairo_show_layout(cr, line);
    g_object_unref(line);
    for (int side = -1; side <= 1; side += 2) {
        double inner = kWidth / 2 + side * (width / 2 + 14);
        double outer = kWidth / 2 + side * (width / 2 + 110);
        cairo_pattern_t* fade = cairo_pattern_create_linear(inner, 0, outer, 0);
        AddStop(fade, 0, 0x9fdcf8, 0.6);
        AddStop(fade, 1, 0x9fdcf8, 0);
        cairo_set_source(cr, fade);
        cairo_rectangle(cr, std::fmin(inner, outer), std::round(y) - 0.5, std::fabs(outer - inner),
                        1);
        cairo_fill(cr);
        cairo_pattern_destroy(fade);
    }
}

// The deck: plain and dark so the program's texts read well on it.
void Deck(cairo_t* cr) {
    cairo_pattern_t* fill = cairo_pattern_create_linear(0, kDeckTop, 0, kHeight);
    AddStop(fill, 0, 0x0c1322);
    AddStop(fill, 1, 0x070b15);
    cairo_set_source(cr, fill);
    cairo_rectangle(cr, 0, kDeckTop, kWidth, kHeight - kDeckTop);
    cairo_fill(cr);
    cairo_pattern_destroy(fill);

    // A lit edge along the top of the deck, fading towards the sides.
    cairo_pattern_t* edge = cairo_pattern_create_linear(0, 0, kWidth, 0);
    AddStop(edge, 0, 0x6fa8e8, 0.05);
    AddStop(edge, 0.5, 0x6fa8e8, 0.55);
    AddStop(edge, 1, 0x6fa8e8, 0.05);
    cairo_set_source(cr, edge);
    cairo_rectangle(cr, 0, kDeckTop, kWidth, 1);
    cairo_fill(cr);
    SetColor(cr, 0x000000, 0.5);
    cairo_rectangle(cr, 0, kDeckTop + 1, kWidth, 1);
    cairo_fill(cr);
}

// A recessed frame one pixel around `r`.
void Groove(cairo_t* cr, Rect r, double radius) {
    RoundedRect(cr, r.x - 1.5, r.y - 1.5, r.width + 3, r.height + 3, radius);
    SetColor(cr, 0x8cb4e6, 0.10);  // light catches the lower lip
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    RoundedRect(cr, r.x - 0.5, r.y - 0.5, r.width + 1, r.height + 1, radius);
    SetColor(cr, 0x02040a, 0.9);
    cairo_stroke(cr);
}

void Wells(cairo_t* cr) {
    Groove(cr, kProgressBar, 1.5);

    // The folder text sits in a dark field beside the folder button, as tall as the button.
    Rect field{kFolderText.x - 13, kButtonY, kFolderText.width + 19, kButtonHeight};
    RoundedRect(cr, field.x, field.y, field.width, field.height, 3);
    SetColor(cr, 0x04070e);
    cairo_fill(cr);
    Groove(cr, {field.x + 1, field.y + 1, field.width - 2, field.height - 2}, 3);
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, field.y, 0, field.y + 6);
    AddStop(shade, 0, 0x000000, 0.55);
    AddStop(shade, 1, 0x000000, 0);
    cairo_set_source(cr, shade);
    cairo_rectangle(cr, field.x + 1, field.y + 1, field.width - 2, 6);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);

    // A soft shadow under each button lifts it off the deck.
    for (const Button& button : kButtons) {
        Rect r = RectOf(button);
        for (int i = 1; i <= 3; ++i) {
            RoundedRect(cr, r.x + 1 - i * 0.5, r.y + i, r.width - 2 + i, r.height, 4);
            SetColor(cr, 0x000000, 0.22);
            cairo_fill(cr);
        }
    }
}

void Frame(cairo_t* cr) {
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, kWidth - 1, kHeight - 1);
    SetColor(cr, 0x2c4066);
    cairo_stroke(cr);
    cairo_rectangle(cr, 1.5, 1.5, kWidth - 3, kHeight - 3);
    SetColor(cr, 0x000000, 0.45);
    cairo_stroke(cr);
}

}  // namespace

void DrawBackground(cairo_t* cr) {
    Sky(cr);
    Emblem(cr);
    Landscape(cr);
    Title(cr);
    Deck(cr);
    Wells(cr);
    Frame(cr);
}

}  // namespace skin
