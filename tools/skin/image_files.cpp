#include "tools/skin/image_files.h"

#include <cairo-svg.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <fstream>
#include <iostream>

namespace skin {
namespace {

struct Rgb {
    uint8_t r, g, b;
};

// Cairo keeps premultiplied native-endian ARGB words; the files want straight colour.
Rgb PixelAt(cairo_surface_t* surface, int x, int y) {
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    uint32_t word = reinterpret_cast<const uint32_t*>(row)[x];
    unsigned a = word >> 24;
    auto straight = [a](unsigned c) {
        return static_cast<uint8_t>(a == 0 ? 0 : (c * 255 + a / 2) / a);
    };
    return {straight((word >> 16) & 0xFF), straight((word >> 8) & 0xFF), straight(word & 0xFF)};
}

void PutLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::string EncodeJpeg(cairo_surface_t* surface, int quality) {
    cairo_surface_flush(surface);
    int width = cairo_image_surface_get_width(surface);
    int height = cairo_image_surface_get_height(surface);
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = PixelAt(surface, x, y);
            guchar* p = pixels + y * stride + x * 3;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    gchar* buffer = nullptr;
    gsize size = 0;
    GError* error = nullptr;
    std::string q = std::to_string(quality);
    std::string bytes;
    if (gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "jpeg", &error, "quality", q.c_str(),
                                  nullptr)) {
        bytes.assign(buffer, size);
        g_free(buffer);
    } else {
        std::cerr << "make-skin: JPEG encoding failed: " << error->message << "\n";
        g_error_free(error);
    }
    g_object_unref(pixbuf);
    return bytes;
}

std::string EncodeBmp24(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    int width = cairo_image_surface_get_width(surface);
    int height = cairo_image_surface_get_height(surface);
    uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height);
    constexpr uint32_t kHeaders = 14 + 40;
    std::string out;
    out += "BM";
    PutLe(out, kHeaders + imageBytes, 4);
    PutLe(out, 0, 4);  // reserved
    PutLe(out, kHeaders, 4);
    PutLe(out, 40, 4);  // BITMAPINFOHEADER
    PutLe(out, static_cast<uint32_t>(width), 4);
    PutLe(out, static_cast<uint32_t>(height), 4);  // positive: bottom-up
    PutLe(out, 1, 2);                              // planes
    PutLe(out, 24, 2);
    PutLe(out, 0, 4);  // BI_RGB
    PutLe(out, imageBytes, 4);
    PutLe(out, 2835, 4);  // 72 dpi
    PutLe(out, 2835, 4);
    PutLe(out, 0, 4);  // no palette
    PutLe(out, 0, 4);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = PixelAt(surface, x, y);
            out.push_back(static_cast<char>(c.b));
            out.push_back(static_cast<char>(c.g));
            out.push_back(static_cast<char>(c.r));
        }
        out.append(rowBytes - static_cast<uint32_t>(width) * 3, '\0');
    }
    return out;
}

std::string EncodePng(cairo_surface_t* surface) {
    std::string bytes;
    if (cairo_surface_write_to_png_stream(surface, AppendBytes, &bytes) != CAIRO_STATUS_SUCCESS) {
        std::cerr << "make-skin: PNG encoding failed\n";
        return {};
    }
    return bytes;
}

std::string EncodeSvg(int width, int height, const std::function<void(cairo_t*)>& paint) {
    std::string svg;
    cairo_surface_t* surface =
        cairo_svg_surface_create_for_stream(AppendBytes, &svg, width, height);
    cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PX);
    cairo_t* cr = cairo_create(surface);
    paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);  // finishes the document
    return svg;
}

std::string EncodeIco(const std::vector<cairo_surface_t*>& pictures) {
    std::vector<std::string> entries;
    for (cairo_surface_t* picture : pictures) {
        cairo_surface_flush(picture);
        int side = cairo_image_surface_get_width(picture);
        if (side > 48) {
            entries.push_back(EncodePng(picture));
            continue;
        }
        std::string dib;
        uint32_t maskRowBytes = ((static_cast<uint32_t>(side) + 31) / 32) * 4;
        PutLe(dib, 40, 4);
        PutLe(dib, static_cast<uint32_t>(side), 4);
        PutLe(dib, static_cast<uint32_t>(side) * 2, 4);  // colour and mask rows together
        PutLe(dib, 1, 2);
        PutLe(dib, 32, 2);
        PutLe(dib, 0, 4);  // BI_RGB
        PutLe(dib, static_cast<uint32_t>(side * side) * 4 + maskRowBytes * side, 4);
        PutLe(dib, 0, 4);
        PutLe(dib, 0, 4);
        PutLe(dib, 0, 4);
        PutLe(dib, 0, 4);
        for (int y = side - 1; y >= 0; --y) {
            for (int x = 0; x < side; ++x) {
                Rgb c = PixelAt(picture, x, y);
                const unsigned char* row = cairo_image_surface_get_data(picture) +
                                           y * cairo_image_surface_get_stride(picture);
                dib.push_back(static_cast<char>(c.b));
                dib.push_back(static_cast<char>(c.g));
                dib.push_back(static_cast<char>(c.r));
                dib.push_back(static_cast<char>(reinterpret_cast<const uint32_t*>(row)[x] >> 24));
            }
        }
        dib.append(maskRowBytes * side, '\0');  // the alpha channel decides; the mask shows all
        entries.push_back(dib);
    }

    std::string out;
    PutLe(out, 0, 2);  // reserved
    PutLe(out, 1, 2);  // icon
    PutLe(out, static_cast<uint32_t>(pictures.size()), 2);
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        int side = cairo_image_surface_get_width(pictures[i]);
        uint32_t byte = side >= 256 ? 0 : static_cast<uint32_t>(side);  // 0 means 256
        PutLe(out, byte, 1);
        PutLe(out, byte, 1);
        PutLe(out, 0, 1);  // no palette
        PutLe(out, 0, 1);  // reserved
        PutLe(out, 1, 2);  // planes
        PutLe(out, 32, 2);
        PutLe(out, static_cast<uint32_t>(entries[i].size()), 4);
        PutLe(out, offset, 4);
        offset += static_cast<uint32_t>(entries[i].size());
    }
    for (const std::string& entry : entries) {
        out += entry;
    }
    return out;
}

cairo_surface_t* Decode(const std::string& bytes) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GError* error = nullptr;
    if (!gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()),
                                 bytes.size(), &error) ||
        !gdk_pixbuf_loader_close(loader, &error)) {
        std::cerr << "make-skin: cannot decode a written picture: " << error->message << "\n";
        g_error_free(error);
        gdk_pixbuf_loader_close(loader, nullptr);
        g_object_unref(loader);
        return nullptr;
    }
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    int width = gdk_pixbuf_get_width(pixbuf);
    int height = gdk_pixbuf_get_height(pixbuf);
    int channels = gdk_pixbuf_get_n_channels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    unsigned char* data = cairo_image_surface_get_data(surface);
    int surfaceStride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * surfaceStride);
        for (int x = 0; x < width; ++x) {
            const guchar* p = pixels + y * stride + x * channels;
            row[x] = 0xFF000000u | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
        }
    }
    cairo_surface_mark_dirty(surface);
    g_object_unref(loader);
    return surface;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::cerr << "make-skin: cannot write " << path << "\n";
        return false;
    }
    return true;
}

}  // namespace skin
