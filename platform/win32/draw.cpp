// Drawing for the toolkit's windows on Windows (platform/draw.h, and OpenGraphics/CloseGraphics
// of platform/window.h): Direct2D, DirectWrite and WIC. Implements: the COM apartment and the
// Direct2D and imaging factories, the program's shared DirectWrite factory, CreateRenderTarget
// (a DC render target that each frame binds to the window's paint DC, or to a DC of the window
// outside a paint), clear, fill, bitmaps (decoded by WIC from a memory stream over the bytes into
// premultiplied BGRA), text, solid brushes and CreateTextFormat (with a fallback family when the
// system lacks the one asked for). Leaves out: the rest of platform/window.h (the window class,
// messages, timers, the mouse); BeginWindowPaint and EndWindowPaint are in paint.cpp.
#include "platform/draw.h"

#include <d2d1.h>
#include <dwrite.h>
#include <shlwapi.h>
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <climits>
#include <cmath>
#include <string>
#include <utility>

#include "platform/win32/handles.h"
#include "platform/win32/paint.h"
#include "platform/window.h"

namespace platform {

namespace {

using Microsoft::WRL::ComPtr;

// Between OpenGraphics and the matching CloseGraphics.
struct Graphics {
    int openCount = 0;
    bool comInitialized = false;
    ComPtr<ID2D1Factory> d2d;
    ComPtr<IWICImagingFactory> wic;
};
Graphics graphics;

// Made once, on first use, and kept for the whole program, as the system shares it anyway.
IDWriteFactory* DWrite() {
    static IDWriteFactory* factory = [] {
        IUnknown* made = nullptr;
        if (FAILED(
                DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory), &made))) {
            return static_cast<IDWriteFactory*>(nullptr);
        }
        return static_cast<IDWriteFactory*>(made);
    }();
    return factory;
}

const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

D2D1_RECT_F ToD2d(RectF rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

D2D1_COLOR_F ToD2d(ColorF color) {
    return {color.r, color.g, color.b, color.a};
}

class D2dBrush : public Brush {
public:
    explicit D2dBrush(ComPtr<ID2D1SolidColorBrush> brush) : brush(std::move(brush)) {}
    ComPtr<ID2D1SolidColorBrush> brush;
};

class D2dBitmap : public Bitmap {
public:
    explicit D2dBitmap(ComPtr<ID2D1Bitmap> bitmap) : bitmap(std::move(bitmap)) {}
    SizeF Size() const override {
        D2D1_SIZE_F size = bitmap->GetSize();
        return {size.width, size.height};
    }
    SizeF PixelSize() const override {
        D2D1_SIZE_U size = bitmap->GetPixelSize();
        return {static_cast<float>(size.width), static_cast<float>(size.height)};
    }
    ComPtr<ID2D1Bitmap> bitmap;
};

class DWriteTextFormat : public TextFormat {
public:
    explicit DWriteTextFormat(ComPtr<IDWriteTextFormat> format) : format(std::move(format)) {}
    void SetAlignment(TextAlignment alignment) override {
        format->SetTextAlignment(static_cast<DWRITE_TEXT_ALIGNMENT>(alignment));
    }
    ComPtr<IDWriteTextFormat> format;
};

// Draws each frame into a DC of its window: the paint's DC inside a paint, else one of its own
// for the frame. A window's own Direct2D target does not reach the screen under Wine when the
// window is a child; binding to the paint DC shows on both, so Windows runs what Wine tests.
class DcTarget : public RenderTarget {
public:
    DcTarget(HWND window, ComPtr<ID2D1DCRenderTarget> target, int width, int height)
        : window(window), target(std::move(target)), width(width), height(height) {}
    ~DcTarget() override {
        if (frame != Frame::kIdle) {
            EndDraw();
        }
    }

    void BeginDraw() override {
        if (frame != Frame::kIdle) {
            return;
        }
        if (width == 0 || height == 0) {
            frame = Frame::kEmpty;  // nothing to show, nothing to fail
            return;
        }
        dc = win32::PaintDc(window);
        ownDc = dc == nullptr;
        if (ownDc) {
            dc = GetDC(window);
        }
        RECT area{0, 0, width, height};
        if (dc == nullptr || FAILED(target->BindDC(dc, &area))) {
            frame = Frame::kFailed;
            return;
        }
        target->BeginDraw();
        frame = Frame::kDrawing;
    }

    bool EndDraw() override {
        bool shown = frame == Frame::kEmpty;
        if (frame == Frame::kDrawing) {
            shown = SUCCEEDED(target->EndDraw());
        }
        if (ownDc && dc != nullptr) {
            ReleaseDC(window, dc);
        }
        dc = nullptr;
        frame = Frame::kIdle;
        return shown;
    }

    bool Resize(int newWidth, int newHeight) override {
        if (frame != Frame::kIdle || newWidth < 0 || newHeight < 0) {
            return false;
        }
        width = newWidth;
        height = newHeight;
        return true;
    }

    void Clear(ColorF color) override {
        if (frame == Frame::kDrawing) {
            target->Clear(ToD2d(color));
        }
    }

    void FillRectangle(RectF rect, Brush& brush) override {
        if (frame == Frame::kDrawing) {
            target->FillRectangle(ToD2d(rect), static_cast<D2dBrush&>(brush).brush.Get());
        }
    }

    void DrawBitmap(Bitmap& bitmap, const RectF* destination, float opacity,
                    Interpolation interpolation, const RectF* source) override {
        if (frame != Frame::kDrawing) {
            return;
        }
        D2D1_RECT_F to = destination != nullptr ? ToD2d(*destination) : D2D1_RECT_F{};
        D2D1_RECT_F from = source != nullptr ? ToD2d(*source) : D2D1_RECT_F{};
        target->DrawBitmap(static_cast<D2dBitmap&>(bitmap).bitmap.Get(),
                           destination != nullptr ? &to : nullptr, opacity,
                           static_cast<D2D1_BITMAP_INTERPOLATION_MODE>(interpolation),
                           source != nullptr ? &from : nullptr);
    }

    void DrawString(const char16_t* text, size_t length, TextFormat& format, RectF box,
                    Brush& brush, TextOptions options) override {
        if (frame != Frame::kDrawing || text == nullptr || length > UINT32_MAX) {
            return;
        }
        // Wine draws past the box with the clip option alone: the clip is pushed as well,
        // which clips the same pixels on Windows.
        const bool clip = (static_cast<int>(options) & static_cast<int>(TextOptions::kClip)) != 0;
        if (clip) {
            target->PushAxisAlignedClip(ToD2d(box), D2D1_ANTIALIAS_MODE_ALIASED);
        }
        target->DrawText(Wide(text), static_cast<UINT32>(length),
                         static_cast<DWriteTextFormat&>(format).format.Get(), ToD2d(box),
                         static_cast<D2dBrush&>(brush).brush.Get(),
                         static_cast<D2D1_DRAW_TEXT_OPTIONS>(options));
        if (clip) {
            target->PopAxisAlignedClip();
        }
    }

    std::unique_ptr<Brush> CreateSolidBrush(ColorF color) override {
        ComPtr<ID2D1SolidColorBrush> brush;
        D2D1_COLOR_F d2dColor = ToD2d(color);
        if (FAILED(target->CreateSolidColorBrush(&d2dColor, nullptr, &brush))) {
            return nullptr;
        }
        return std::make_unique<D2dBrush>(std::move(brush));
    }

    std::unique_ptr<Bitmap> CreateBitmapFromImage(const void* bytes, size_t size) override {
        if (graphics.wic == nullptr || bytes == nullptr || size == 0 || size > UINT_MAX) {
            return nullptr;
        }
        // The stream holds a copy of the bytes; the decoder is chosen by their own signature.
        ComPtr<IStream> stream;
        stream.Attach(SHCreateMemStream(static_cast<const BYTE*>(bytes), static_cast<UINT>(size)));
        ComPtr<IWICBitmapDecoder> decoder;
        ComPtr<IWICBitmapFrameDecode> frame0;
        ComPtr<IWICFormatConverter> converter;
        ComPtr<ID2D1Bitmap> bitmap;
        if (stream == nullptr ||
            FAILED(graphics.wic->CreateDecoderFromStream(stream.Get(), nullptr,
                                                         WICDecodeMetadataCacheOnLoad, &decoder)) ||
            FAILED(decoder->GetFrame(0, &frame0)) ||
            FAILED(graphics.wic->CreateFormatConverter(&converter)) ||
            FAILED(converter->Initialize(frame0.Get(), GUID_WICPixelFormat32bppPBGRA,
                                         WICBitmapDitherTypeNone, nullptr, 0.0,
                                         WICBitmapPaletteTypeMedianCut)) ||
            FAILED(target->CreateBitmapFromWicBitmap(converter.Get(), nullptr, &bitmap))) {
            return nullptr;
        }
        return std::make_unique<D2dBitmap>(std::move(bitmap));
    }

private:
    enum class Frame { kIdle, kDrawing, kEmpty, kFailed };

    HWND window;
    ComPtr<ID2D1DCRenderTarget> target;
    int width;
    int height;
    Frame frame = Frame::kIdle;
    HDC dc = nullptr;
    bool ownDc = false;
};

bool HasFamily(IDWriteFontCollection* fonts, const wchar_t* family) {
    UINT32 index = 0;
    BOOL exists = FALSE;
    return SUCCEEDED(fonts->FindFamilyName(family, &index, &exists)) && exists;
}

// A family the system lacks becomes the system's message font (the one its own dialogs use, so
// it has the user's script), which DirectWrite's own fallback then completes. Windows would fall
// back without this, Wine draws nothing: chosen here, both draw the same text.
std::wstring FamilyOrFallback(IDWriteFactory* factory, const wchar_t* family) {
    ComPtr<IDWriteFontCollection> fonts;
    if (FAILED(factory->GetSystemFontCollection(&fonts, FALSE)) || HasFamily(fonts.Get(), family)) {
        return family;
    }
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) &&
        HasFamily(fonts.Get(), metrics.lfMessageFont.lfFaceName)) {
        return metrics.lfMessageFont.lfFaceName;
    }
    return family;
}

}  // namespace

void OpenGraphics() {
    if (graphics.openCount++ > 0) {
        return;
    }
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Already open in another mode on this thread: usable, but not ours to close.
    graphics.comInitialized = SUCCEEDED(com);
    D2D1_FACTORY_OPTIONS options{};
    if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, __uuidof(ID2D1Factory), &options,
                                 reinterpret_cast<void**>(graphics.d2d.GetAddressOf())))) {
        graphics.d2d.Reset();
    }
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory1, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&graphics.wic)))) {
        graphics.wic.Reset();
    }
    DWrite();
}

void CloseGraphics() {
    if (graphics.openCount == 0 || --graphics.openCount > 0) {
        return;
    }
    graphics.wic.Reset();
    graphics.d2d.Reset();
    if (graphics.comInitialized) {
        CoUninitialize();
        graphics.comInitialized = false;
    }
}

std::unique_ptr<RenderTarget> CreateRenderTarget(WindowHandle window, int width, int height) {
    if (graphics.d2d == nullptr || window == nullptr || width < 0 || height < 0) {
        return nullptr;
    }
    // Opaque pixels, as a window shows them. Software: the frame ends in a DC's memory anyway,
    // and a software target never loses its device, so no frame fails for a lost device. 96
    // DPI: one device-independent pixel is one pixel whatever the screen's setting, as the
    // skin is laid out in pixels.
    D2D1_RENDER_TARGET_PROPERTIES properties{D2D1_RENDER_TARGET_TYPE_SOFTWARE,
                                             {DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE},
                                             96.0f,
                                             96.0f,
                                             D2D1_RENDER_TARGET_USAGE_NONE,
                                             D2D1_FEATURE_LEVEL_DEFAULT};
    ComPtr<ID2D1DCRenderTarget> target;
    if (FAILED(graphics.d2d->CreateDCRenderTarget(&properties, &target))) {
        return nullptr;
    }
    return std::make_unique<DcTarget>(win32::ToHwnd(window), std::move(target), width, height);
}

std::unique_ptr<TextFormat> CreateTextFormat(const char16_t* family, float size,
                                             const char16_t* locale) {
    IDWriteFactory* factory = DWrite();
    if (factory == nullptr || family == nullptr || !(size > 0) || !std::isfinite(size)) {
        return nullptr;
    }
    std::wstring chosen = FamilyOrFallback(factory, Wide(family));
    ComPtr<IDWriteTextFormat> format;
    if (FAILED(factory->CreateTextFormat(chosen.c_str(), nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                         DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL, size,
                                         locale != nullptr ? Wide(locale) : L"", &format))) {
        return nullptr;
    }
    return std::make_unique<DWriteTextFormat>(std::move(format));
}

}  // namespace platform
