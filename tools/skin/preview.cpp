#include "tools/skin/preview.h"

#include <fstream>
#include <iterator>
#include <memory>

#include "tools/skin/image_files.h"
#include "tools/skin/layout.h"
#include "tools/skin/paint.h"

namespace skin {
namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

Surface Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(file), {}};
    return Surface(bytes.empty() ? nullptr : Decode(bytes), cairo_surface_destroy);
}

// Text as the program writes it: top-left of the box, or right-aligned to it.
void Text(cairo_t* cr, const char* text, double x, double y, double right, uint32_t rgb) {
    PangoLayout* layout = MakeLayout(cr, "Noto Sans CJK JP", 12, text);
    if (right > 0) {
        int width, height;
        pango_layout_get_pixel_size(layout, &width, &height);
        x = right - width;
    }
    SetColor(cr, rgb, 0.79);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

void Controls(cairo_t* cr) {
    Rect bar = kProgressBar;
    SetColor(cr, 0x333333);
    cairo_rectangle(cr, bar.x, bar.y, bar.width, bar.height);
    cairo_fill(cr);
    SetColor(cr, 0x33ddff);
    cairo_rectangle(cr, bar.x + 1, bar.y + 1, (bar.width - 2) * 4567 / 10000, bar.height - 2);
    cairo_fill(cr);
    Text(cr, "45.67%", bar.x + bar.width / 2 - 30, bar.y + 1, 0, 0xffffff);
    Text(cr, "2.250 MiB/Sec", 0, bar.y + 1, bar.x + bar.width - 5, 0xffffff);

    struct Entry {
        const char* label;
        const char* value;
        int x, valueX;
    };
    const Entry entries[] = {{"残り時間 :", "00:12:34", 0, 57},
                             {"経過時間 :", "00:03:21", 110, 167},
                             {"ダウンロード済み :", "1.234 GBytes", 240, 342},
                             {"ファイルサイズ :", "2.700 GBytes", 420, 515}};
    for (const Entry& e : entries) {
        Text(cr, e.label, kPanel.x + e.x, kPanel.y, 0, 0xffffff);
        Text(cr, e.value, kPanel.x + e.valueX, kPanel.y, 0, 0xccff00);
    }
    Text(cr, "/home/user/download/dezirodor/", kFolderText.x, kFolderText.y, 0, 0xccff00);
}

}  // namespace

bool WritePreview(const std::string& folder, const std::string& path) {
    constexpr int kGridTop = kWindow.height + 10;
    constexpr int kCell = kButtonHeight + 8;
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWindow.width,
                                                         kGridTop + kStateCount * kCell + 2);
    cairo_t* cr = cairo_create(target);
    SetColor(cr, 0x808080);
    cairo_paint(cr);

    bool complete = true;
    auto paste = [&](int id, double x, double y) {
        Surface picture = Load(folder + "/" + FileName(id));
        if (!picture) {
            complete = false;
            return;
        }
        cairo_set_source_surface(cr, picture.get(), x, y);
        cairo_paint(cr);
    };
    paste(kBackgroundId, 0, 0);
    // The window as it opens: launch and pause disabled, the pointer over start.
    for (const Button& button : kButtons) {
        State state = button.opensDisabled           ? kDisable
                      : button.tone == Tone::kAccent ? kOver
                                                     : kNormal;
        paste(button.firstId + state, button.x, kButtonY);
    }
    Controls(cr);
    for (int state = 0; state < kStateCount; ++state) {
        for (size_t i = 0; i < kButtons.size(); ++i) {
            paste(kButtons[i].firstId + state, 30 + static_cast<double>(i) * 80,
                  kGridTop + state * kCell);
        }
    }
    cairo_destroy(cr);
    std::string png = EncodePng(target);
    cairo_surface_destroy(target);
    return complete && !png.empty() && WriteFile(path, png);
}

}  // namespace skin
