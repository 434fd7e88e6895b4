// Skin generator: draws the program's window background, button pictures and icon from shapes
// and text, and writes them in the formats the program's resources use.
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "tools/skin/background.h"
#include "tools/skin/buttons.h"
#include "tools/skin/icon.h"
#include "tools/skin/image_files.h"
#include "tools/skin/layout.h"
#include "tools/skin/preview.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "Usage: make-skin [--preview FILE] FOLDER\n"
    "\n"
    "Draws the skin and writes it into FOLDER:\n"
    "  102.jpg              window background, 640 x 380\n"
    "  134.jpg, 135-153.bmp button pictures, 70 x 30 (24-bit BMP); per button normal, over,\n"
    "                       down, disabled: cancel 134, folder 138, launch 142, start 146,\n"
    "                       pause 150\n"
    "  icon/downloader-N.png, icon/downloader.svg, icon/downloader.ico   program icon\n"
    "The same machine (same fonts and libraries) writes the same bytes every run.\n"
    "\n"
    "  --preview FILE  also write a PNG of the window with its controls and every button\n"
    "                  picture, for judging the look\n";

constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};

// A new surface of the given size, painted by `paint`.
cairo_surface_t* Paint(int width, int height, cairo_format_t format, auto&& paint) {
    cairo_surface_t* surface = cairo_image_surface_create(format, width, height);
    cairo_t* cr = cairo_create(surface);
    paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

bool WriteEncoded(const fs::path& path, const std::string& bytes) {
    return !bytes.empty() && skin::WriteFile(path.string(), bytes);
}

// Writes the background and returns it as decoded from its JPEG, or null.
cairo_surface_t* WriteBackground(const fs::path& folder) {
    cairo_surface_t* art = Paint(skin::kWindow.width, skin::kWindow.height, CAIRO_FORMAT_RGB24,
                                 [](cairo_t* cr) { skin::DrawBackground(cr); });
    std::string jpeg = skin::EncodeJpeg(art, 95);
    cairo_surface_destroy(art);
    if (!WriteEncoded(folder / skin::FileName(skin::kBackgroundId), jpeg)) {
        return nullptr;
    }
    return skin::Decode(jpeg);
}

bool WriteButtons(const fs::path& folder, cairo_surface_t* backdrop) {
    for (const skin::Button& button : skin::kButtons) {
        for (int s = 0; s < skin::kStateCount; ++s) {
            auto state = static_cast<skin::State>(s);
            cairo_surface_t* picture =
                Paint(skin::kButtonWidth, skin::kButtonHeight, CAIRO_FORMAT_RGB24,
                      [&](cairo_t* cr) { skin::DrawButton(cr, backdrop, button, state); });
            int id = button.firstId + s;
            bool jpeg = skin::IsJpeg(id);
            std::string bytes = jpeg ? skin::EncodeJpeg(picture, 95) : skin::EncodeBmp24(picture);
            cairo_surface_destroy(picture);
            if (!WriteEncoded(folder / skin::FileName(id), bytes)) {
                return false;
            }
        }
    }
    return true;
}

bool WriteIcon(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    std::vector<cairo_surface_t*> pictures;
    bool written = true;
    for (int size : kIconSizes) {
        cairo_surface_t* picture = Paint(size, size, CAIRO_FORMAT_ARGB32,
                                         [size](cairo_t* cr) { skin::DrawIcon(cr, size); });
        pictures.push_back(picture);
        written = written && WriteEncoded(folder / ("downloader-" + std::to_string(size) + ".png"),
                                          skin::EncodePng(picture));
    }
    written = written && WriteEncoded(folder / "downloader.ico", skin::EncodeIco(pictures));
    for (cairo_surface_t* picture : pictures) {
        cairo_surface_destroy(picture);
    }
    std::string svg = skin::EncodeSvg(256, 256, [](cairo_t* cr) { skin::DrawIcon(cr, 256); });
    return written && WriteEncoded(folder / "downloader.svg", svg);
}

}  // namespace

int main(int argc, char** argv) {
    std::string preview;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::cout << kUsage;
            return 0;
        }
        if (std::strcmp(argv[i], "--preview") == 0 && i + 1 < argc) {
            preview = argv[++i];
        } else if (folder.empty() && argv[i][0] != '-') {
            folder = argv[i];
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (folder.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        std::cerr << "make-skin: cannot create " << folder << ": " << error.message() << "\n";
        return 1;
    }

    cairo_surface_t* backdrop = WriteBackground(folder);
    bool written = backdrop != nullptr && WriteButtons(folder, backdrop) &&
                   WriteIcon(fs::path(folder) / "icon");
    if (backdrop != nullptr) {
        cairo_surface_destroy(backdrop);
    }
    if (written && !preview.empty()) {
        written = skin::WritePreview(folder, preview);
    }
    return written ? 0 : 1;
}
