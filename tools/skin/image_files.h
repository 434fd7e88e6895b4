// Encodes finished pictures into the file formats the program's resources use.
#pragma once

#include <cairo.h>

#include <functional>
#include <string>
#include <vector>

namespace skin {

// Each returns the encoded bytes, or an empty string after printing why it failed.
std::string EncodeJpeg(cairo_surface_t* surface, int quality);
// 24 bits per pixel, uncompressed, bottom-up, rows padded to 4 bytes; alpha is dropped.
std::string EncodeBmp24(cairo_surface_t* surface);
std::string EncodePng(cairo_surface_t* surface);
// An SVG document of `width` x `height` pixels recording what `paint` draws.
std::string EncodeSvg(int width, int height, const std::function<void(cairo_t*)>& paint);

// A Windows icon file with one entry per square picture (sides 1 to 256): pictures up to 48
// pixels as classic 32-bit bitmaps with an alpha channel, which every reader of icons knows,
// larger ones as PNG, which keeps the file small.
std::string EncodeIco(const std::vector<cairo_surface_t*>& pictures);

// A picture decoded from encoded bytes as the program will see it (owned by the caller), or
// null after printing why.
cairo_surface_t* Decode(const std::string& bytes);

bool WriteFile(const std::string& path, const std::string& bytes);

}  // namespace skin
