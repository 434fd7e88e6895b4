// Drawing for the toolkit's windows on GTK 3 (platform/draw.h): Cairo, Pango and GdkPixbuf.
// Implements: CreateRenderTarget (a persistent opaque image surface per window; EndDraw hands
// the finished frame to the window, which shows it at its next draw, so frames never flicker and
// pixels reach the screen unchanged), clear, fill, bitmaps (decoded by their own signature into
// premultiplied ARGB32), Pango text, solid brushes and CreateTextFormat. Leaves out: measuring
// modes other than the natural one, and text layout beyond alignment, top-of-box paragraphs
// and wrapping at the box's width.
#include "platform/draw.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/gtk/native_window.h"

namespace platform {

namespace {

class CairoBrush : public Brush {
public:
    explicit CairoBrush(ColorF color) : color(color) {}
    ColorF color;
};

class CairoBitmap : public Bitmap {
public:
    explicit CairoBitmap(cairo_surface_t* surface) : surface(surface) {}
    ~CairoBitmap() override { cairo_surface_destroy(surface); }
    SizeF Size() const override { return PixelSize(); }
    SizeF PixelSize() const override {
        return {static_cast<float>(cairo_image_surface_get_width(surface)),
                static_cast<float>(cairo_image_surface_get_height(surface))};
    }
    cairo_surface_t* surface;
};

class PangoTextFormat : public TextFormat {
public:
    PangoTextFormat(PangoFontDescription* font, PangoLanguage* language)
        : font(font), language(language) {}
    ~PangoTextFormat() override { pango_font_description_free(font); }
    void SetAlignment(TextAlignment value) override { alignment = value; }
    PangoFontDescription* font;
    PangoLanguage* language;
    TextAlignment alignment = TextAlignment::kLeading;
};

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8(const char16_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        char buffer[6];
        int n = g_unichar_to_utf8(c, buffer);
        out.append(buffer, n);
    }
    return out;
}

std::string Utf8(const char16_t* text) {
    size_t length = 0;
    while (text != nullptr && text[length] != 0) {
        ++length;
    }
    return Utf8(text, length);
}

// Premultiplied ARGB32 in the machine's byte order, as Cairo wants it.
cairo_surface_t* ToSurface(GdkPixbuf* pixbuf) {
    int width = gdk_pixbuf_get_width(pixbuf);
    int height = gdk_pixbuf_get_height(pixbuf);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    const guint8* source = gdk_pixbuf_read_pixels(pixbuf);
    int sourceStride = gdk_pixbuf_get_rowstride(pixbuf);
    int channels = gdk_pixbuf_get_n_channels(pixbuf);
    bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    unsigned char* target = cairo_image_surface_get_data(surface);
    int targetStride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        const guint8* in = source + static_cast<size_t>(y) * sourceStride;
        auto* out = reinterpret_cast<uint32_t*>(target + static_cast<size_t>(y) * targetStride);
        for (int x = 0; x < width; ++x, in += channels) {
            uint32_t a = alpha ? in[3] : 255;
            auto premultiply = [a](uint32_t c) { return (c * a + 127) / 255; };
            out[x] =
                a << 24 | premultiply(in[0]) << 16 | premultiply(in[1]) << 8 | premultiply(in[2]);
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

}  // namespace

namespace gtk {

// Draws into its own surface; the window it belongs to shows each finished frame.
class CairoTarget : public RenderTarget {
public:
    CairoTarget(NativeWindow* window, cairo_surface_t* surface) : window(window), surface(surface) {
        window->targets.push_back(this);
    }
    ~CairoTarget() override {
        if (cr != nullptr) {
            cairo_destroy(cr);
        }
        if (window != nullptr) {
            auto& targets = window->targets;
            targets.erase(std::remove(targets.begin(), targets.end(), this), targets.end());
        }
        cairo_surface_destroy(surface);
    }

    void Detach() { window = nullptr; }

    void BeginDraw() override {
        if (cr == nullptr) {
            cr = cairo_create(surface);
        }
    }

    bool EndDraw() override {
        if (cr == nullptr) {
            return false;
        }
        cairo_status_t status = cairo_status(cr);
        cairo_destroy(cr);
        cr = nullptr;
        cairo_surface_flush(surface);
        if (status != CAIRO_STATUS_SUCCESS) {
            return false;
        }
        if (window != nullptr) {
            PresentFrame(window, surface);
        }
        return true;
    }

    bool Resize(int width, int height) override {
        if (cr != nullptr || width < 0 || height < 0) {
            return false;
        }
        cairo_surface_t* resized = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        if (cairo_surface_status(resized) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(resized);
            return false;
        }
        // Keeps what was drawn until the next frame covers it.
        cairo_t* copy = cairo_create(resized);
        cairo_set_source_surface(copy, surface, 0, 0);
        cairo_set_operator(copy, CAIRO_OPERATOR_SOURCE);
        cairo_paint(copy);
        cairo_destroy(copy);
        cairo_surface_destroy(surface);
        surface = resized;
        return true;
    }

    // A window's target ignores alpha, like the system's window targets.
    void Clear(ColorF color) override {
        if (cr == nullptr) {
            return;
        }
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgb(cr, color.r, color.g, color.b);
        cairo_paint(cr);
        cairo_restore(cr);
    }

    void FillRectangle(RectF rect, Brush& brush) override {
        if (cr == nullptr) {
            return;
        }
        ColorF color = static_cast<CairoBrush&>(brush).color;
        cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
        cairo_rectangle(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        cairo_fill(cr);
    }

    void DrawBitmap(Bitmap& bitmap, const RectF* destination, float opacity,
                    Interpolation interpolation, const RectF* source) override {
        if (cr == nullptr) {
            return;
        }
        auto& image = static_cast<CairoBitmap&>(bitmap);
        SizeF size = image.PixelSize();
        RectF from = source != nullptr ? *source : RectF{0, 0, size.width, size.height};
        float fromWidth = from.right - from.left;
        float fromHeight = from.bottom - from.top;
        RectF to = destination != nullptr ? *destination : RectF{0, 0, fromWidth, fromHeight};
        float toWidth = to.right - to.left;
        float toHeight = to.bottom - to.top;
        if (fromWidth <= 0 || fromHeight <= 0 || toWidth <= 0 || toHeight <= 0) {
            return;
        }
        cairo_save(cr);
        cairo_rectangle(cr, to.left, to.top, toWidth, toHeight);
        cairo_clip(cr);
        cairo_translate(cr, to.left, to.top);
        cairo_scale(cr, toWidth / fromWidth, toHeight / fromHeight);
        cairo_set_source_surface(cr, image.surface, -from.left, -from.top);
        cairo_pattern_t* pattern = cairo_get_source(cr);
        cairo_pattern_set_filter(pattern, interpolation == Interpolation::kNearestNeighbor
                                              ? CAIRO_FILTER_NEAREST
                                              : CAIRO_FILTER_BILINEAR);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        if (opacity >= 1.0f) {
            cairo_paint(cr);
        } else {
            cairo_paint_with_alpha(cr, std::max(opacity, 0.0f));
        }
        cairo_restore(cr);
    }

    void DrawString(const char16_t* text, size_t length, TextFormat& format, RectF box,
                    Brush& brush, TextOptions options) override {
        if (cr == nullptr) {
            return;
        }
        auto& pango = static_cast<PangoTextFormat&>(format);
        int flags = static_cast<int>(options);
        cairo_save(cr);
        if ((flags & static_cast<int>(TextOptions::kClip)) != 0) {
            cairo_rectangle(cr, box.left, box.top, box.right - box.left, box.bottom - box.top);
            cairo_clip(cr);
        }
        PangoLayout* layout = pango_cairo_create_layout(cr);
        PangoContext* context = pango_layout_get_context(layout);
        pango_context_set_language(context, pango.language);
        pango_layout_context_changed(layout);
        pango_layout_set_font_description(layout, pango.font);
        std::string utf8 = Utf8(text, length);
        pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
        pango_layout_set_width(
            layout, static_cast<int>(std::max(box.right - box.left, 0.0f) * PANGO_SCALE));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        if ((flags & static_cast<int>(TextOptions::kClip)) != 0) {
            // Only lines that fit the box whole, the last one ending in an ellipsis when text
            // is left over: a cut line would show as stray marks along the box's edge.
            pango_layout_set_height(
                layout, static_cast<int>(std::max(box.bottom - box.top, 0.0f) * PANGO_SCALE));
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        }
        switch (pango.alignment) {
            case TextAlignment::kLeading:
                pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
                break;
            case TextAlignment::kTrailing:
                pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
                break;
            case TextAlignment::kCenter:
                pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
                break;
        }
        double left = box.left;
        double top = box.top;
        if ((flags & static_cast<int>(TextOptions::kNoSnap)) == 0) {
            left = std::round(left);  // whole pixels, as the system snaps text
            top = std::round(top);
        }
        ColorF color = static_cast<CairoBrush&>(brush).color;
        cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
        cairo_move_to(cr, left, top);
        pango_cairo_show_layout(cr, layout);
        g_object_unref(layout);
        cairo_restore(cr);
    }

    std::unique_ptr<Brush> CreateSolidBrush(ColorF color) override {
        return std::make_unique<CairoBrush>(color);
    }

    std::unique_ptr<Bitmap> CreateBitmapFromImage(const void* bytes, size_t size) override {
        GdkPixbuf* pixbuf = DecodeImage(bytes, size);
        if (pixbuf == nullptr) {
            return nullptr;
        }
        cairo_surface_t* image = ToSurface(pixbuf);
        g_object_unref(pixbuf);
        if (image == nullptr) {
            return nullptr;
        }
        return std::make_unique<CairoBitmap>(image);
    }

private:
    NativeWindow* window;
    cairo_surface_t* surface;
    cairo_t* cr = nullptr;
};

void DetachTargets(NativeWindow* window) {
    for (CairoTarget* target : window->targets) {
        target->Detach();
    }
    window->targets.clear();
}

void EraseFrame(NativeWindow* window) {
    if (window->frame == nullptr) {
        window->frame =
            cairo_image_surface_create(CAIRO_FORMAT_RGB24, window->width, window->height);
    }
    cairo_t* cr = cairo_create(window->frame);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    gtk_widget_queue_draw(window->area);
}

GdkPixbuf* DecodeImage(const void* bytes, size_t size) {
    if (bytes == nullptr || size == 0) {
        return nullptr;
    }
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    bool written =
        gdk_pixbuf_loader_write(loader, static_cast<const guchar*>(bytes), size, nullptr);
    // Closed in any case: a loader must not be dropped open.
    bool closed = gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    if (pixbuf != nullptr) {
        g_object_ref(pixbuf);
    }
    g_object_unref(loader);
    return pixbuf;
}

}  // namespace gtk

std::unique_ptr<RenderTarget> CreateRenderTarget(WindowHandle window, int width, int height) {
    if (window == nullptr || width < 0 || height < 0) {
        return nullptr;
    }
    // Black until the first frame, as a fresh swap chain.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return std::make_unique<gtk::CairoTarget>(window, surface);
}

std::unique_ptr<TextFormat> CreateTextFormat(const char16_t* family, float size,
                                             const char16_t* locale) {
    if (!(size > 0) || !std::isfinite(size) || family == nullptr) {
        return nullptr;
    }
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, Utf8(family).c_str());
    pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
    pango_font_description_set_weight(font, PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(font, PANGO_STYLE_NORMAL);
    pango_font_description_set_stretch(font, PANGO_STRETCH_NORMAL);
    PangoLanguage* language =
        locale != nullptr ? pango_language_from_string(Utf8(locale).c_str()) : nullptr;
    return std::make_unique<PangoTextFormat>(font, language);
}

}  // namespace platform
