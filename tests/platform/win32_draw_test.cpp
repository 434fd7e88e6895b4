// The Windows drawing backend (Direct2D, DirectWrite, WIC) drawing into a real child window, as
// the toolkit's controls do, with the pixels read back from the window. Runs under Wine in CI.
#include <dwrite.h>
#include <gtest/gtest.h>
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/draw.h"
#include "platform/resources.h"
#include "platform/win32/handles.h"
#include "platform/window.h"

namespace {

using platform::ColorF;
using platform::RectF;
using platform::RenderTarget;

constexpr int kWidth = 160;
constexpr int kHeight = 80;

struct Rgb {
    int r, g, b;
};

std::ostream& operator<<(std::ostream& out, Rgb c) {
    return out << "rgb(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// Each channel within `tolerance` (rounding of blends, JPEG's loss).
::testing::AssertionResult Near(Rgb actual, Rgb expected, int tolerance) {
    if (std::abs(actual.r - expected.r) <= tolerance &&
        std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << actual << ", expected " << expected;
}

// A window's pixels, top row first.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> bgrx;
    Rgb At(int x, int y) const {
        uint32_t p = bgrx[static_cast<size_t>(y) * width + x];
        return {static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF),
                static_cast<int>(p & 0xFF)};
    }
    // Pixels within `area` (right and bottom excluded) that are near `color`.
    int Count(RECT area, Rgb color, int tolerance) const {
        int count = 0;
        for (int y = std::max(0, int(area.top)); y < std::min(height, int(area.bottom)); ++y) {
            for (int x = std::max(0, int(area.left)); x < std::min(width, int(area.right)); ++x) {
                count += Near(At(x, y), color, tolerance) ? 1 : 0;
            }
        }
        return count;
    }
    // The mean column of the pixels that are not `background`; -1 without any.
    double InkCentre(Rgb background) const {
        double sum = 0;
        int count = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (!Near(At(x, y), background, 40)) {
                    sum += x;
                    ++count;
                }
            }
        }
        return count > 0 ? sum / count : -1;
    }
};

// A 24-bit bottom-up BMP of `width` x `height` whose pixel (x, y) is `color(x, y)`.
std::string MakeBmp(int width, int height, const std::function<Rgb(int, int)>& color) {
    const int stride = (width * 3 + 3) / 4 * 4;
    const uint32_t imageSize = static_cast<uint32_t>(stride * height);
    std::string bytes(54 + imageSize, '\0');
    auto put32 = [&bytes](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
        }
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, static_cast<uint32_t>(bytes.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put32(26, 1 | 24 << 16);  // one plane, 24 bits per pixel
    put32(34, imageSize);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = color(x, y);
            size_t at = 54 + static_cast<size_t>(height - 1 - y) * stride + x * 3;
            bytes[at] = static_cast<char>(c.b);
            bytes[at + 1] = static_cast<char>(c.g);
            bytes[at + 2] = static_cast<char>(c.r);
        }
    }
    return bytes;
}

// Pixel (x, y) of a 24-bit bottom-up BMP, read from its own header.
Rgb BmpPixel(const std::string& bmp, int x, int y) {
    auto get32 = [&bmp](size_t at) {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i) {
            value = value << 8 | static_cast<uint8_t>(bmp[at + i]);
        }
        return value;
    };
    const uint32_t offset = get32(10);
    const int width = static_cast<int>(get32(18));
    const int height = static_cast<int>(get32(22));
    const int stride = (width * 3 + 3) / 4 * 4;
    size_t at = offset + static_cast<size_t>(height - 1 - y) * stride + x * 3;
    return {static_cast<uint8_t>(bmp[at + 2]), static_cast<uint8_t>(bmp[at + 1]),
            static_cast<uint8_t>(bmp[at])};
}

// A JPEG of one colour, encoded by the system's own encoder.
std::string MakeJpeg(int width, int height, Rgb color) {
    using Microsoft::WRL::ComPtr;
    ComPtr<IWICImagingFactory> wic;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[x * 3] = static_cast<uint8_t>(color.b);
        row[x * 3 + 1] = static_cast<uint8_t>(color.g);
        row[x * 3 + 2] = static_cast<uint8_t>(color.r);
    }
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory1, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&wic))) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
        FAILED(wic->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(width, height)) || FAILED(frame->SetPixelFormat(&format)) ||
        format != GUID_WICPixelFormat24bppBGR) {
        return {};
    }
    for (int y = 0; y < height; ++y) {
        if (FAILED(frame->WritePixels(1, static_cast<UINT>(row.size()),
                                      static_cast<UINT>(row.size()), row.data()))) {
            return {};
        }
    }
    if (FAILED(frame->Commit()) || FAILED(encoder->Commit())) {
        return {};
    }
    STATSTG stat{};
    LARGE_INTEGER start{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) ||
        FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) {
        return {};
    }
    std::string bytes(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    bytes.resize(read);
    return bytes;
}

constexpr wchar_t kClassName[] = L"dl-draw-test";

// A top-level window clipping its children, and one child window of kWidth x kHeight that the
// tests draw into, as the program's controls draw into theirs.
class Win32Draw : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        platform::OpenGraphics();
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = kClassName;
        RegisterClassExW(&windowClass);
    }
    static void TearDownTestSuite() {
        UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
        platform::CloseGraphics();
    }

    void SetUp() override {
        top = CreateWindowExW(0, kClassName, L"draw test", WS_POPUP | WS_CLIPCHILDREN, 10, 10,
                              kWidth + 40, kHeight + 40, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(top, nullptr);
        child = CreateWindowExW(0, kClassName, L"child", WS_CHILD | WS_VISIBLE, 20, 20, kWidth,
                                kHeight, top, nullptr, nullptr, nullptr);
        ASSERT_NE(child, nullptr);
        ShowWindow(top, SW_SHOWNOACTIVATE);
        UpdateWindow(top);
        target = platform::CreateRenderTarget(platform::win32::FromHwnd(child), kWidth, kHeight);
        ASSERT_NE(target, nullptr);
    }
    void TearDown() override {
        target.reset();
        DestroyWindow(top);
        painter = nullptr;
    }

    // Paints the child at once through its paint DC; true when the frame ended well.
    bool Paint(const std::function<void(RenderTarget&)>& draw) {
        bool ended = false;
        painter = [&] {
            target->BeginDraw();
            draw(*target);
            ended = target->EndDraw();
        };
        InvalidateRect(child, nullptr, FALSE);
        UpdateWindow(child);
        painter = nullptr;
        return ended;
    }

    // The child's pixels as the window holds them.
    Pixels Capture() {
        Pixels pixels;
        pixels.width = kWidth;
        pixels.height = kHeight;
        pixels.bgrx.resize(static_cast<size_t>(kWidth) * kHeight);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC screen = GetDC(child);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, kWidth, kHeight, screen, 0, 0, SRCCOPY);
        GdiFlush();
        std::copy_n(static_cast<const uint32_t*>(bits), pixels.bgrx.size(), pixels.bgrx.data());
        SelectObject(memory, old);
        DeleteObject(dib);
        DeleteDC(memory);
        ReleaseDC(child, screen);
        return pixels;
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_PAINT && window == child && painter) {
            platform::BeginWindowPaint(platform::win32::FromHwnd(window));
            painter();
            platform::EndWindowPaint(platform::win32::FromHwnd(window));
            return 0;
        }
        if (message == WM_ERASEBKGND && window == child) {
            return 1;  // every frame covers the whole child
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static inline HWND top = nullptr;
    static inline HWND child = nullptr;
    static inline std::function<void()> painter;
    std::unique_ptr<RenderTarget> target;
};

TEST_F(Win32Draw, ClearAndFillReachTheWindow) {
    struct Case {
        const char* name;
        ColorF clear;
        ColorF fill;
        Rgb inside;   // expected inside the filled rectangle
        Rgb outside;  // expected elsewhere
    };
    const Case cases[] = {
        {"opaque", {1, 0, 0, 1}, {0, 0, 1, 1}, {0, 0, 255}, {255, 0, 0}},
        // The window is opaque: a clear's alpha does not show.
        {"clear alpha ignored", {0, 1, 0, 0.25f}, {0, 0, 0, 1}, {0, 0, 0}, {0, 255, 0}},
        {"fill blends", {1, 1, 1, 1}, {0, 0, 0, 0.79f}, {54, 54, 54}, {255, 255, 255}},
        {"configured colour", {0.2f, 0.2f, 0.2f, 1}, {0.8f, 1, 0, 1}, {204, 255, 0}, {51, 51, 51}},
    };
    const RectF filled{40, 20, 120, 60};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Paint([&](RenderTarget& t) {
            t.Clear(c.clear);
            auto brush = t.CreateSolidBrush(c.fill);
            ASSERT_NE(brush, nullptr);
            t.FillRectangle(filled, *brush);
        }));
        Pixels pixels = Capture();
        EXPECT_EQ(pixels.Count({40, 20, 120, 60}, c.inside, 2), 80 * 40);
        EXPECT_EQ(pixels.Count({0, 0, kWidth, 20}, c.outside, 2), kWidth * 20);
        EXPECT_TRUE(Near(pixels.At(39, 40), c.outside, 2));
        EXPECT_TRUE(Near(pixels.At(120, 40), c.outside, 2));
    }
}

// The parent paints first and its children over it, whether or not it clips them.
TEST_F(Win32Draw, TheChildShowsOverItsParent) {
    for (LONG_PTR clipChildren : {LONG_PTR{WS_CLIPCHILDREN}, LONG_PTR{0}}) {
        SCOPED_TRACE(clipChildren);
        LONG_PTR style = GetWindowLongPtrW(top, GWL_STYLE);
        SetWindowLongPtrW(top, GWL_STYLE, (style & ~WS_CLIPCHILDREN) | clipChildren);
        RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        ASSERT_TRUE(Paint([](RenderTarget& t) { t.Clear({0, 0.5f, 0, 1}); }));
        EXPECT_EQ(Capture().Count({0, 0, kWidth, kHeight}, {0, 128, 0}, 1), kWidth * kHeight);
    }
}

TEST_F(Win32Draw, DrawingOutsideAPaintReachesTheWindow) {
    target->BeginDraw();
    target->Clear({0, 0, 1, 1});
    EXPECT_TRUE(target->EndDraw());
    EXPECT_EQ(Capture().Count({0, 0, kWidth, kHeight}, {0, 0, 255}, 2), kWidth * kHeight);
}

TEST_F(Win32Draw, AResizedTargetCoversItsNewSize) {
    ASSERT_TRUE(target->Resize(kWidth / 2, kHeight / 2));
    Paint([](RenderTarget& t) { t.Clear({0, 0, 0, 1}); });
    ASSERT_TRUE(target->Resize(kWidth, kHeight));
    ASSERT_TRUE(Paint([](RenderTarget& t) { t.Clear({1, 1, 0, 1}); }));
    EXPECT_EQ(Capture().Count({0, 0, kWidth, kHeight}, {255, 255, 0}, 2), kWidth * kHeight);
    // An empty target has nothing to show: its frame does not fail and the window keeps what it
    // showed.
    ASSERT_TRUE(target->Resize(0, 0));
    EXPECT_TRUE(Paint([](RenderTarget& t) { t.Clear({0, 0, 0, 1}); }));
    EXPECT_EQ(Capture().Count({0, 0, kWidth, kHeight}, {255, 255, 0}, 2), kWidth * kHeight);
    EXPECT_FALSE(target->Resize(-1, 10));
}

TEST_F(Win32Draw, AFrameThatCannotReachItsWindowFails) {
    auto other = platform::CreateRenderTarget(platform::win32::FromHwnd(top), 10, 10);
    ASSERT_NE(other, nullptr);
    DestroyWindow(top);  // and the child with it
    other->BeginDraw();
    other->Clear({1, 0, 0, 1});
    EXPECT_FALSE(other->EndDraw());
    // The next frame is tried afresh, and fails again.
    other->BeginDraw();
    EXPECT_FALSE(other->EndDraw());
}

TEST_F(Win32Draw, BitmapsAreDecodedByTheirOwnSignature) {
    const std::optional<std::string> bmp = platform::LoadBuiltInResource(153);
    const std::optional<std::string> skinJpeg = platform::LoadBuiltInResource(102);
    ASSERT_TRUE(bmp && skinJpeg);
    const Rgb jpegColor{51, 102, 204};
    const std::string jpeg = MakeJpeg(16, 8, jpegColor);
    ASSERT_FALSE(jpeg.empty());

    struct Case {
        const char* name;
        const std::string& bytes;
        float width, height;
        std::vector<std::pair<POINT, Rgb>> probes;
        int tolerance;
    };
    const Case cases[] = {
        {"skin background, JPEG", *skinJpeg, 640, 380, {}, 0},
        {"skin button, BMP",
         *bmp,
         70,
         30,
         {{{0, 0}, BmpPixel(*bmp, 0, 0)},
          {{35, 15}, BmpPixel(*bmp, 35, 15)},
          {{69, 29}, BmpPixel(*bmp, 69, 29)},
          {{12, 20}, BmpPixel(*bmp, 12, 20)}},
         0},
        {"JPEG", jpeg, 16, 8, {{{0, 0}, jpegColor}, {{15, 7}, jpegColor}}, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<platform::Bitmap> bitmap =
            target->CreateBitmapFromImage(c.bytes.data(), c.bytes.size());
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->PixelSize().width, c.width);
        EXPECT_EQ(bitmap->PixelSize().height, c.height);
        // One device-independent pixel is one pixel.
        EXPECT_EQ(bitmap->Size().width, c.width);
        EXPECT_EQ(bitmap->Size().height, c.height);
        if (c.probes.empty()) {
            continue;
        }
        ASSERT_TRUE(Paint([&](RenderTarget& t) {
            t.Clear({0, 0, 0, 1});
            t.DrawBitmap(*bitmap, nullptr, 1.0f, platform::Interpolation::kNearestNeighbor,
                         nullptr);
        }));
        Pixels pixels = Capture();
        for (const auto& [point, color] : c.probes) {
            EXPECT_TRUE(Near(pixels.At(point.x, point.y), color, c.tolerance))
                << point.x << "," << point.y;
        }
        // At its own size from the origin: nothing beyond it.
        EXPECT_EQ(pixels.Count({static_cast<LONG>(c.width), 0, kWidth, kHeight}, {0, 0, 0}, 0),
                  (kWidth - static_cast<int>(c.width)) * kHeight);
    }
}

TEST_F(Win32Draw, BytesThatAreNoImageGiveNoBitmap) {
    const std::string bmp = MakeBmp(4, 4, [](int, int) { return Rgb{1, 2, 3}; });
    ASSERT_NE(target->CreateBitmapFromImage(bmp.data(), bmp.size()), nullptr);
    const std::string cases[] = {
        "", "plain text, no picture", bmp.substr(0, 30),  // a BMP's signature and half its header
        "\xFF\xD8\xFF\xE0"
        "JFIF",  // a JPEG's signature and nothing after
    };
    for (const std::string& bytes : cases) {
        EXPECT_EQ(target->CreateBitmapFromImage(bytes.data(), bytes.size()), nullptr) << bytes;
    }
    EXPECT_EQ(target->CreateBitmapFromImage(nullptr, 10), nullptr);
}

TEST_F(Win32Draw, BitmapsAreDrawnIntoTheirDestinationFromTheirSource) {
    // Red, green / blue, white.
    const std::string quad = MakeBmp(2, 2, [](int x, int y) {
        const Rgb colors[2][2] = {{{255, 0, 0}, {0, 255, 0}}, {{0, 0, 255}, {255, 255, 255}}};
        return colors[y][x];
    });
    const std::string ramp = MakeBmp(2, 1, [](int x, int) {
        return x == 0 ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
    });
    auto quadBitmap = target->CreateBitmapFromImage(quad.data(), quad.size());
    auto rampBitmap = target->CreateBitmapFromImage(ramp.data(), ramp.size());
    ASSERT_TRUE(quadBitmap && rampBitmap);

    const Rgb gray{128, 128, 128};
    const RectF whole{0, 0, kWidth, kHeight};
    const RectF square{0, 0, 80, 80};
    const RectF rightColumn{1, 0, 2, 2};
    const RectF band{0, 0, 40, 80};
    struct Case {
        const char* name;
        platform::Bitmap* bitmap;
        const RectF* destination;
        const RectF* source;
        float opacity;
        platform::Interpolation interpolation;
        std::vector<std::pair<POINT, Rgb>> probes;
        int tolerance;
    };
    const auto nearest = platform::Interpolation::kNearestNeighbor;
    const auto linear = platform::Interpolation::kLinear;
    const Case cases[] = {
        {"own size at the origin",
         quadBitmap.get(),
         nullptr,
         nullptr,
         1,
         nearest,
         {{{0, 0}, {255, 0, 0}}, {{1, 1}, {255, 255, 255}}, {{2, 0}, gray}, {{0, 2}, gray}},
         1},
        {"scaled into the destination",
         quadBitmap.get(),
         &square,
         nullptr,
         1,
         nearest,
         {{{10, 10}, {255, 0, 0}},
          {{70, 10}, {0, 255, 0}},
          {{10, 70}, {0, 0, 255}},
          {{70, 70}, {255, 255, 255}},
          {{100, 40}, gray}},
         1},
        {"a part of the source",
         quadBitmap.get(),
         &band,
         &rightColumn,
         1,
         nearest,
         {{{20, 10}, {0, 255, 0}}, {{20, 70}, {255, 255, 255}}, {{60, 10}, gray}},
         1},
        {"half opaque",
         quadBitmap.get(),
         &square,
         nullptr,
         0.5f,
         nearest,
         {{{10, 10}, {192, 64, 64}}, {{70, 70}, {192, 192, 192}}},
         2},
        {"nearest neighbour keeps hard edges",
         rampBitmap.get(),
         &whole,
         nullptr,
         1,
         nearest,
         {{{60, 40}, {0, 0, 0}}, {{100, 40}, {255, 255, 255}}},
         1},
        {"linear blends neighbours",
         rampBitmap.get(),
         &whole,
         nullptr,
         1,
         linear,
         {{{80, 40}, gray}},
         24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Paint([&](RenderTarget& t) {
            t.Clear({128 / 255.0f, 128 / 255.0f, 128 / 255.0f, 1});
            t.DrawBitmap(*c.bitmap, c.destination, c.opacity, c.interpolation, c.source);
        }));
        Pixels pixels = Capture();
        for (const auto& [point, color] : c.probes) {
            EXPECT_TRUE(Near(pixels.At(point.x, point.y), color, c.tolerance))
                << point.x << "," << point.y;
        }
    }
}

// A family the system has: the first of its font collection.
std::u16string InstalledFamily() {
    using Microsoft::WRL::ComPtr;
    ComPtr<IDWriteFactory> factory;
    ComPtr<IDWriteFontCollection> fonts;
    ComPtr<IDWriteFontFamily> family;
    ComPtr<IDWriteLocalizedStrings> names;
    wchar_t name[LF_FACESIZE * 2] = L"";
    if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                   reinterpret_cast<IUnknown**>(factory.GetAddressOf()))) ||
        FAILED(factory->GetSystemFontCollection(&fonts, FALSE)) ||
        fonts->GetFontFamilyCount() == 0 || FAILED(fonts->GetFontFamily(0, &family)) ||
        FAILED(family->GetFamilyNames(&names)) ||
        FAILED(names->GetString(0, name, std::size(name)))) {
        return u"";
    }
    return reinterpret_cast<const char16_t*>(name);
}

class Win32Text : public Win32Draw {
protected:
    void SetUp() override {
        Win32Draw::SetUp();
        installed = InstalledFamily();
        ASSERT_FALSE(installed.empty());
    }

    // Draws `text` in red on white into `box` and returns the window's pixels.
    Pixels DrawText(const char16_t* family, const std::u16string& text, RectF box,
                    platform::TextOptions options,
                    platform::TextAlignment alignment = platform::TextAlignment::kLeading) {
        auto format = platform::CreateTextFormat(family, 24, u"ko-kr");
        EXPECT_NE(format, nullptr);
        if (format == nullptr) {
            return {};
        }
        format->SetAlignment(alignment);
        EXPECT_TRUE(Paint([&](RenderTarget& t) {
            t.Clear({1, 1, 1, 1});
            auto brush = t.CreateSolidBrush({1, 0, 0, 1});
            ASSERT_NE(brush, nullptr);
            t.DrawString(text.data(), text.size(), *format, box, *brush, options);
        }));
        return Capture();
    }
    static constexpr Rgb kRed{255, 0, 0};
    static constexpr Rgb kWhite{255, 255, 255};
    std::u16string installed;
};

TEST_F(Win32Text, TextIsDrawnInItsBox) {
    const RectF box{20, 10, 140, 70};
    struct Case {
        const char* name;
        const char16_t* family;
        std::u16string text;
    };
    const Case cases[] = {
        {"installed family", installed.c_str(), u"Wide"},
        {"unknown family", u"No Such Family 7", u"Wide"},
        {"the shipped document's family", u"?? ??", u"Wide"},
        {"Japanese text, unknown family", u"?? ??", u"\u6B8B\u308A\u6642\u9593"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pixels pixels = DrawText(c.family, c.text, box, platform::TextOptions::kClip);
        EXPECT_GT(pixels.Count({20, 10, 140, 70}, kRed, 60), 20);
        EXPECT_EQ(pixels.Count({0, 0, 20, kHeight}, kWhite, 0), 20 * kHeight);
        EXPECT_EQ(pixels.Count({0, 0, kWidth, 10}, kWhite, 0), kWidth * 10);
    }
}

TEST_F(Win32Text, TheClipOptionKeepsInkInsideTheBox) {
    // Text that overflows its box to the right and below.
    const RectF box{10, 10, 70, 30};
    const std::u16string text = u"WWWWWWWWWWWW WWWWWWWWWWWW";
    struct Case {
        platform::TextOptions options;
        bool inkOutside;
    };
    for (Case c :
         {Case{platform::TextOptions::kClip, false}, Case{platform::TextOptions::kNone, true},
          Case{platform::TextOptions::kNoSnap, true}}) {
        SCOPED_TRACE(static_cast<int>(c.options));
        Pixels pixels = DrawText(installed.c_str(), text, box, c.options);
        EXPECT_GT(pixels.Count({10, 10, 70, 30}, kRed, 60), 20);
        const int outside = kWidth * kHeight - pixels.Count({0, 0, kWidth, kHeight}, kWhite, 0) -
                            (60 * 20 - pixels.Count({10, 10, 70, 30}, kWhite, 0));
        EXPECT_EQ(outside > 0, c.inkOutside) << outside;
    }
}

TEST_F(Win32Text, AlignmentMovesTheInk) {
    const RectF box{0, 10, kWidth, 70};
    double leading = DrawText(installed.c_str(), u"Ab", box, platform::TextOptions::kNone,
                              platform::TextAlignment::kLeading)
                         .InkCentre(kWhite);
    double centre = DrawText(installed.c_str(), u"Ab", box, platform::TextOptions::kNone,
                             platform::TextAlignment::kCenter)
                        .InkCentre(kWhite);
    double trailing = DrawText(installed.c_str(), u"Ab", box, platform::TextOptions::kNone,
                               platform::TextAlignment::kTrailing)
                          .InkCentre(kWhite);
    ASSERT_GE(leading, 0);
    EXPECT_LT(leading, kWidth / 4.0);
    EXPECT_NEAR(centre, kWidth / 2.0, 8);
    EXPECT_GT(trailing, kWidth * 3 / 4.0);
}

TEST_F(Win32Text, AFormatNeedsAFamilyAndASize) {
    EXPECT_NE(platform::CreateTextFormat(installed.c_str(), 12, u"ko-kr"), nullptr);
    EXPECT_EQ(platform::CreateTextFormat(nullptr, 12, u"ko-kr"), nullptr);
    for (float size : {0.0f, -3.0f, NAN, INFINITY}) {
        EXPECT_EQ(platform::CreateTextFormat(installed.c_str(), size, u"ko-kr"), nullptr) << size;
    }
}

}  // namespace
