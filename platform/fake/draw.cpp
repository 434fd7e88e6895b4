// Drawing in the fake backend: render targets that record every operation (fake.h DrawOp),
// bitmaps "decoded" from BMP and JPEG headers (their size only), and text formats that remember
// what they were made of.
#include <cstring>

#include "platform/draw.h"
#include "platform/fake/state.h"

namespace platform {

using fake::state;

namespace {

fake::DrawOp Op(fake::DrawOp::Kind kind, WindowHandle window) {
    fake::DrawOp op;
    op.kind = kind;
    op.window = window;
    return op;
}

void Record(fake::DrawOp op) {
    std::lock_guard lock(state().mutex);
    state().drawOps.push_back(std::move(op));
}

uint32_t ReadLittle(const std::string& bytes, size_t at, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

// Width and height from a BMP's information header or a JPEG's frame header; false for
// anything else, a cut header included.
bool ImageSize(const std::string& bytes, int& width, int& height) {
    if (bytes.size() >= 30 && bytes[0] == 'B' && bytes[1] == 'M') {
        width = static_cast<int32_t>(ReadLittle(bytes, 18, 4));
        int32_t rows = static_cast<int32_t>(ReadLittle(bytes, 22, 4));
        height = rows < 0 ? -rows : rows;
        return width > 0 && height > 0;
    }
    if (bytes.size() < 4 || bytes.compare(0, 2, "\xFF\xD8") != 0) {
        return false;
    }
    size_t at = 2;
    while (at + 9 < bytes.size() && static_cast<unsigned char>(bytes[at]) == 0xFF) {
        auto marker = static_cast<unsigned char>(bytes[at + 1]);
        size_t length = static_cast<unsigned char>(bytes[at + 2]) << 8 |
                        static_cast<unsigned char>(bytes[at + 3]);
        bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            height = static_cast<unsigned char>(bytes[at + 5]) << 8 |
                     static_cast<unsigned char>(bytes[at + 6]);
            width = static_cast<unsigned char>(bytes[at + 7]) << 8 |
                    static_cast<unsigned char>(bytes[at + 8]);
            return width > 0 && height > 0;
        }
        at += 2 + length;
    }
    return false;
}

class FakeBrush : public Brush {
public:
    explicit FakeBrush(ColorF color) : color(color) {}
    ColorF color;
};

class FakeBitmap : public Bitmap {
public:
    FakeBitmap(std::string bytes, int width, int height)
        : bytes(std::move(bytes)), width(width), height(height) {}
    SizeF Size() const override { return {static_cast<float>(width), static_cast<float>(height)}; }
    SizeF PixelSize() const override { return Size(); }
    std::string bytes;
    int width;
    int height;
};

class FakeTextFormat : public TextFormat {
public:
    FakeTextFormat(const char16_t* family, float size, const char16_t* locale)
        : family(family), size(size), locale(locale) {}
    void SetAlignment(TextAlignment value) override { alignment = value; }
    std::u16string family;
    float size;
    std::u16string locale;
    TextAlignment alignment = TextAlignment::kLeading;
};

class FakeRenderTarget : public RenderTarget {
public:
    explicit FakeRenderTarget(WindowHandle window) : window(window) {}

    void BeginDraw() override { Record(Op(fake::DrawOp::kBeginDraw, window)); }
    bool EndDraw() override {
        fake::DrawOp op = Op(fake::DrawOp::kEndDraw, window);
        {
            std::lock_guard lock(state().mutex);
            if (state().failingEndDraws > 0) {
                --state().failingEndDraws;
                op.succeeded = false;
            }
        }
        bool succeeded = op.succeeded;
        Record(std::move(op));
        return succeeded;
    }
    bool Resize(int width, int height) override {
        fake::DrawOp op = Op(fake::DrawOp::kResize, window);
        op.rect = {0, 0, static_cast<float>(width), static_cast<float>(height)};
        op.hasRect = true;
        Record(std::move(op));
        return true;
    }
    void Clear(ColorF color) override {
        fake::DrawOp op = Op(fake::DrawOp::kClear, window);
        op.color = color;
        Record(std::move(op));
    }
    void FillRectangle(RectF rect, Brush& brush) override {
        fake::DrawOp op = Op(fake::DrawOp::kFill, window);
        op.rect = rect;
        op.hasRect = true;
        op.color = static_cast<FakeBrush&>(brush).color;
        Record(std::move(op));
    }
    void DrawBitmap(Bitmap& bitmap, const RectF* destination, float opacity,
                    Interpolation interpolation, const RectF* source) override {
        fake::DrawOp op = Op(fake::DrawOp::kBitmap, window);
        op.image = static_cast<FakeBitmap&>(bitmap).bytes;
        if (destination != nullptr) {
            op.rect = *destination;
            op.hasRect = true;
        }
        if (source != nullptr) {
            op.source = *source;
            op.hasSource = true;
        }
        op.opacity = opacity;
        op.interpolation = interpolation;
        Record(std::move(op));
    }
    void DrawString(const char16_t* text, size_t length, TextFormat& format, RectF box,
                    Brush& brush, TextOptions options) override {
        auto& textFormat = static_cast<FakeTextFormat&>(format);
        fake::DrawOp op = Op(fake::DrawOp::kText, window);
        op.text.assign(text, length);
        op.rect = box;
        op.hasRect = true;
        op.color = static_cast<FakeBrush&>(brush).color;
        op.family = textFormat.family;
        op.size = textFormat.size;
        op.locale = textFormat.locale;
        op.alignment = textFormat.alignment;
        op.options = options;
        Record(std::move(op));
    }
    std::unique_ptr<Brush> CreateSolidBrush(ColorF color) override {
        return std::make_unique<FakeBrush>(color);
    }
    std::unique_ptr<Bitmap> CreateBitmapFromImage(const void* bytes, size_t size) override {
        std::string image(static_cast<const char*>(bytes), size);
        int width = 0;
        int height = 0;
        if (!ImageSize(image, width, height)) {
            return nullptr;
        }
        return std::make_unique<FakeBitmap>(std::move(image), width, height);
    }

private:
    WindowHandle window;
};

}  // namespace

namespace fake {

std::vector<DrawOp> DrawOps() {
    std::lock_guard lock(state().mutex);
    return state().drawOps;
}

std::vector<DrawOp> DrawOpsOf(WindowHandle window) {
    std::vector<DrawOp> ops;
    for (DrawOp& op : DrawOps()) {
        if (op.window == window) {
            ops.push_back(std::move(op));
        }
    }
    return ops;
}

void FailRenderTargets(bool fail) {
    std::lock_guard lock(state().mutex);
    state().failRenderTargets = fail;
}

void FailTextFormats(bool fail) {
    std::lock_guard lock(state().mutex);
    state().failTextFormats = fail;
}

void FailEndDraws(int count) {
    std::lock_guard lock(state().mutex);
    state().failingEndDraws = count;
}

std::string MakeBmp(int width, int height, uint32_t rgb) {
    size_t rowSize = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    size_t pixels = rowSize * static_cast<size_t>(height);
    std::string bytes(54 + pixels, '\0');
    auto put = [&](size_t at, uint32_t value, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
        }
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, static_cast<uint32_t>(bytes.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, static_cast<uint32_t>(pixels), 4);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            put(54 + static_cast<size_t>(row) * rowSize + static_cast<size_t>(column) * 3, rgb, 3);
        }
    }
    return bytes;
}

}  // namespace fake

std::unique_ptr<RenderTarget> CreateRenderTarget(WindowHandle window, int width, int height) {
    {
        std::lock_guard lock(state().mutex);
        if (state().failRenderTargets) {
            return nullptr;
        }
    }
    fake::DrawOp op = Op(fake::DrawOp::kCreateTarget, window);
    op.rect = {0, 0, static_cast<float>(width), static_cast<float>(height)};
    op.hasRect = true;
    Record(std::move(op));
    return std::make_unique<FakeRenderTarget>(window);
}

std::unique_ptr<TextFormat> CreateTextFormat(const char16_t* family, float size,
                                             const char16_t* locale) {
    std::lock_guard lock(state().mutex);
    if (state().failTextFormats) {
        return nullptr;
    }
    return std::make_unique<FakeTextFormat>(family != nullptr ? family : u"", size, locale);
}

}  // namespace platform
