// Drawing: one render target per window, solid brushes, bitmaps decoded from image bytes and
// text formats. Enumerations carry the values of the Windows drawing interfaces, so the Win32
// backend passes them through. Units are pixels (device-independent pixels at the default
// resolution). Every object is owned by whoever created it and released by deleting it; a
// brush or bitmap is made by a render target and is used only with that target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/ui.h"

namespace platform {

struct ColorF {
    float r;
    float g;
    float b;
    float a;
};

struct RectF {
    float left;
    float top;
    float right;
    float bottom;
};

struct SizeF {
    float width;
    float height;
};

enum class Interpolation { kNearestNeighbor = 0, kLinear = 1 };
// kNone: the text is neither clipped to its box nor snapped; kNoSnap: not snapped to whole
// pixels; kClip: clipped to the box.
enum class TextOptions { kNone = 0, kNoSnap = 1, kClip = 2 };
// Horizontal alignment inside the text's box (paragraphs always start at the box's top and
// wrap at its width).
enum class TextAlignment { kLeading = 0, kTrailing = 1, kCenter = 2 };

class Brush {
public:
    virtual ~Brush() = default;
};

class Bitmap {
public:
    virtual ~Bitmap() = default;
    // Size in device-independent pixels, and in pixels.
    virtual SizeF Size() const = 0;
    virtual SizeF PixelSize() const = 0;
};

class TextFormat {
public:
    virtual ~TextFormat() = default;
    virtual void SetAlignment(TextAlignment alignment) = 0;
};

// Renders into one window's client area. A frame is BeginDraw, the drawing calls, EndDraw; what
// a frame draws reaches the screen at EndDraw.
class RenderTarget {
public:
    virtual ~RenderTarget() = default;

    virtual void BeginDraw() = 0;
    // False when the frame failed (it did not reach the screen).
    virtual bool EndDraw() = 0;
    // Resizes the target to the window's new client size in pixels. False on failure.
    virtual bool Resize(int width, int height) = 0;

    virtual void Clear(ColorF color) = 0;
    virtual void FillRectangle(RectF rect, Brush& brush) = 0;
    // Draws `bitmap` scaled into `destination` (null: at the origin, at its own size), taking
    // the part `source` of it (null: all of it).
    virtual void DrawBitmap(Bitmap& bitmap, const RectF* destination, float opacity,
                            Interpolation interpolation, const RectF* source) = 0;
    // Draws `length` UTF-16 units of `text` in `box`.
    virtual void DrawString(const char16_t* text, size_t length, TextFormat& format, RectF box,
                            Brush& brush, TextOptions options) = 0;

    // Null on failure.
    virtual std::unique_ptr<Brush> CreateSolidBrush(ColorF color) = 0;
    // Decodes an image by its own signature (JPEG, BMP among them) into premultiplied 32-bit
    // pixels for this target. Null when the bytes are no image the platform decodes.
    virtual std::unique_ptr<Bitmap> CreateBitmapFromImage(const void* bytes, size_t size) = 0;
};

// A render target for `window` of `width` x `height` pixels; null when it cannot be made.
std::unique_ptr<RenderTarget> CreateRenderTarget(WindowHandle window, int width, int height);
// A text format of the normal weight, style and stretch: the font family `family`, `size`
// pixels high, `locale` (e.g. u"ko-kr"). A family the system lacks falls back to one that has
// the glyphs. Null when it cannot be made.
std::unique_ptr<TextFormat> CreateTextFormat(const char16_t* family, float size,
                                             const char16_t* locale);

}  // namespace platform
