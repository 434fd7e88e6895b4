// Where the program draws its controls over the skin (the shipped UX document's positions), so
// the pictures leave exactly that room.
#pragma once

#include <array>
#include <string>

namespace skin {

struct Rect {
    int x, y, width, height;
};

constexpr Rect kWindow{0, 0, 640, 380};
constexpr Rect kProgressBar{30, 306, 586, 18};
// The information panel copies this strip of the background and writes its labels over it.
constexpr Rect kPanel{29, 284, 610, 20};
constexpr Rect kFolderText{123, 340, 173, 19};

constexpr int kButtonY = 334;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 30;

enum class Tone { kPlain, kAccent, kGold };
enum class Glyph { kFolder, kPlay, kArrowDown, kBars, kCross };

struct Button {
    const char* label;
    int firstId;  // the picture of state s has id firstId + s
    int x;
    Tone tone;
    Glyph glyph;
    bool opensDisabled;  // how the window shows it at first (for the preview)
};

// The picture states in resource order.
enum State { kNormal, kOver, kDown, kDisable, kStateCount };

constexpr std::array<Button, 5> kButtons{{
    {"Cancel", 134, 546, Tone::kPlain, Glyph::kCross, false},
    {"Folder", 138, 30, Tone::kPlain, Glyph::kFolder, false},
    {"Launch", 142, 312, Tone::kGold, Glyph::kPlay, true},
    {"Start", 146, 390, Tone::kAccent, Glyph::kArrowDown, false},
    {"Pause", 150, 468, Tone::kPlain, Glyph::kBars, true},
}};

constexpr Rect RectOf(const Button& button) {
    return {button.x, kButtonY, kButtonWidth, kButtonHeight};
}

constexpr int kBackgroundId = 102;

// The background and resource 134 are JPEGs, every other button picture a 24-bit BMP.
inline bool IsJpeg(int id) {
    return id == kBackgroundId || id == 134;
}
inline std::string FileName(int id) {
    return std::to_string(id) + (IsJpeg(id) ? ".jpg" : ".bmp");
}

}  // namespace skin
