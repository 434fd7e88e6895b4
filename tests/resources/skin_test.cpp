// The skin pictures as the program receives them: formats and sizes the controls rely on,
// button states that can be told apart, text areas that stay readable, and the resource bundle
// serving the checked-in files unchanged.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/resources.h"

namespace {

enum class Format { kJpeg, kBmp24, kPng };

struct Picture {
    int id;
    std::string file;  // under resources/skin/
    Format format;
    int width, height;
};

std::vector<Picture> AllPictures() {
    std::vector<Picture> pictures{{101, "icon/downloader-256.png", Format::kPng, 256, 256},
                                  {102, "102.jpg", Format::kJpeg, 640, 380},
                                  {134, "134.jpg", Format::kJpeg, 70, 30}};
    for (int id = 135; id <= 153; ++id) {
        pictures.push_back({id, std::to_string(id) + ".bmp", Format::kBmp24, 70, 30});
    }
    return pictures;
}

std::string ReadFile(const std::string& name) {
    std::ifstream file(std::string(SKIN_FOLDER) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

uint32_t Le(const std::string& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

using Pixbuf = std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)>;

// Decodes by the data's own signature, as the program's image loading does.
Pixbuf Decode(const std::string& bytes) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GdkPixbuf* pixbuf = nullptr;
    if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(),
                                nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
        pixbuf = GDK_PIXBUF(g_object_ref(gdk_pixbuf_loader_get_pixbuf(loader)));
    } else {
        gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
    return Pixbuf(pixbuf, g_object_unref);
}

struct Rgb {
    int r, g, b;
};

Rgb PixelAt(const GdkPixbuf* pixbuf, int x, int y) {
    const guchar* p = gdk_pixbuf_read_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
                      x * gdk_pixbuf_get_n_channels(pixbuf);
    return {p[0], p[1], p[2]};
}

Pixbuf DecodeFile(const std::string& name) {
    return Decode(ReadFile(name));
}

std::string FileOf(int id) {
    return std::to_string(id) + (id == 134 ? ".jpg" : ".bmp");
}

}  // namespace

TEST(SkinPictures, EachHasItsFormatAndSize) {
    for (const Picture& picture : AllPictures()) {
        SCOPED_TRACE(picture.file);
        std::string bytes = ReadFile(picture.file);
        ASSERT_GT(bytes.size(), 54u);
        switch (picture.format) {
            case Format::kJpeg:
                EXPECT_EQ(bytes.substr(0, 3), "\xFF\xD8\xFF");
                break;
            case Format::kPng:
                EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1A\n");
                break;
            case Format::kBmp24: {
                EXPECT_EQ(bytes.substr(0, 2), "BM");
                EXPECT_EQ(Le(bytes, 14, 4), 40u);  // BITMAPINFOHEADER
                EXPECT_EQ(Le(bytes, 28, 2), 24u);  // bits per pixel
                EXPECT_EQ(Le(bytes, 30, 4), 0u);   // BI_RGB
                EXPECT_EQ(Le(bytes, 22, 4), static_cast<uint32_t>(picture.height));  // bottom-up
                uint32_t rowBytes = (static_cast<uint32_t>(picture.width) * 3 + 3) & ~3u;
                EXPECT_EQ(bytes.size(), Le(bytes, 10, 4) + rowBytes * picture.height);
                EXPECT_EQ(Le(bytes, 2, 4), bytes.size());
                break;
            }
        }
        Pixbuf pixbuf = Decode(bytes);
        ASSERT_TRUE(pixbuf);
        EXPECT_EQ(gdk_pixbuf_get_width(pixbuf.get()), picture.width);
        EXPECT_EQ(gdk_pixbuf_get_height(pixbuf.get()), picture.height);
    }
}

TEST(SkinPictures, BundleServesTheCheckedInFiles) {
    for (const Picture& picture : AllPictures()) {
        SCOPED_TRACE(picture.file);
        std::string file = ReadFile(picture.file);
        std::optional<std::string> served = platform::LoadBuiltInResource(picture.id);
        ASSERT_TRUE(served.has_value());
        EXPECT_TRUE(*served == file) << "served " << served->size() << " bytes of " << file.size();
        EXPECT_EQ(platform::ResourceSize(picture.id), file.size());
    }
}

// The icon file of the Windows build: one entry per size, each where the directory says,
// classic 32-bit bitmaps (colour rows, then the mask, twice the height) up to 48 pixels, PNG
// above.
TEST(SkinPictures, IconFileHoldsEverySize) {
    std::string ico = ReadFile("icon/downloader.ico");
    ASSERT_GE(ico.size(), 6u);
    EXPECT_EQ(Le(ico, 0, 4), 0x00010000u);  // reserved 0, type 1 (icon)
    const int sizes[] = {16, 32, 48, 64, 128, 256};
    ASSERT_EQ(Le(ico, 4, 2), std::size(sizes));
    for (size_t i = 0; i < std::size(sizes); ++i) {
        int side = sizes[i];
        SCOPED_TRACE(side);
        size_t entry = 6 + 16 * i;
        EXPECT_EQ(Le(ico, entry, 1), static_cast<uint32_t>(side % 256));  // 0 stands for 256
        EXPECT_EQ(Le(ico, entry + 6, 2), 32u);
        uint32_t length = Le(ico, entry + 8, 4);
        uint32_t offset = Le(ico, entry + 12, 4);
        ASSERT_LE(uint64_t{offset} + length, ico.size());
        std::string image = ico.substr(offset, length);
        if (side <= 48) {
            uint32_t maskRow = (static_cast<uint32_t>(side) + 31) / 32 * 4;
            EXPECT_EQ(Le(image, 0, 4), 40u);
            EXPECT_EQ(Le(image, 4, 4), static_cast<uint32_t>(side));
            EXPECT_EQ(Le(image, 8, 4), static_cast<uint32_t>(side) * 2);
            EXPECT_EQ(Le(image, 14, 2), 32u);
            EXPECT_EQ(length, 40 + (4 * side + maskRow) * side);
        } else {
            Pixbuf pixbuf = Decode(image);
            ASSERT_TRUE(pixbuf);
            EXPECT_EQ(gdk_pixbuf_get_width(pixbuf.get()), side);
            EXPECT_EQ(image, ReadFile("icon/downloader-" + std::to_string(side) + ".png"));
        }
    }
}

// The window tells a button's state only by its picture: every two states of one button must
// differ over most of it, not in a few pixels a screenshot comparison could miss.
TEST(SkinPictures, FourStatesOfEachButtonDifferClearly) {
    constexpr int kPixels = 70 * 30;
    for (int first : {134, 138, 142, 146, 150}) {
        std::vector<Pixbuf> states;
        for (int s = 0; s < 4; ++s) {
            states.push_back(DecodeFile(FileOf(first + s)));
            ASSERT_TRUE(states.back()) << first + s;
        }
        for (int a = 0; a < 4; ++a) {
            for (int b = a + 1; b < 4; ++b) {
                int differing = 0;
                for (int y = 0; y < 30; ++y) {
                    for (int x = 0; x < 70; ++x) {
                        Rgb p = PixelAt(states[a].get(), x, y);
                        Rgb q = PixelAt(states[b].get(), x, y);
                        int d = std::max(
                            {std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
                        differing += d > 12;
                    }
                }
                EXPECT_GT(differing, kPixels * 3 / 4)
                    << "pictures " << first + a << " and " << first + b;
            }
        }
    }
}

// The program writes 12-pixel texts (white, yellow-green, at 79 % opacity) straight onto the
// background: the panel strip and the folder field of the shipped layout must stay dark and
// plain.
TEST(SkinPictures, TextAreasOfTheBackgroundAreDarkAndPlain) {
    Pixbuf background = DecodeFile("102.jpg");
    ASSERT_TRUE(background);
    struct Area {
        const char* name;
        int x, y, width, height;
    };
    for (Area area :
         {Area{"panel strip", 29, 284, 610, 20}, Area{"folder text", 123, 340, 173, 19}}) {
        int lowest = 255, highest = 0;
        for (int y = area.y; y < area.y + area.height; ++y) {
            for (int x = area.x; x < std::min(area.x + area.width, 640); ++x) {
                Rgb p = PixelAt(background.get(), x, y);
                int light = std::max({p.r, p.g, p.b});
                lowest = std::min(lowest, light);
                highest = std::max(highest, light);
            }
        }
        EXPECT_LT(highest, 64) << area.name;
        EXPECT_LT(highest - lowest, 32) << area.name;
    }
}
