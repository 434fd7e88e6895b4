// Where the program draws its controls over the skin (the shipped UX document's positions), so
// the pictures leave exactly that room.
#pragma once

#include <array>

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
};

// The picture states in resource order.
enum State { kNormal, kOver, kDown, kDisable, kStateCount };

constexpr std::array<Button, 5> kButtons{{
    {"Cancel", 134, 546, Tone::kPlain, Glyph::kCross},
    {"Folder", 138, 30, Tone::kPlain, Glyph::kFolder},
    {"Launch", 142, 312, Tone::kGold, Glyph::kPlay},
    {"Start", 146, 390, Tone::kAccent, Glyph::kArrowDown},
    {"Pause", 150, 468, Tone::kPlain, Glyph::kBars},
}};

constexpr Rect RectOf(const Button& button) {
    return {button.x, kButtonY, kButtonWidth, kButtonHeight};
}

constexpr int kBackgroundId = 102;
// Resource 134 is a JPEG, every other button picture a 24-bit BMP.
constexpr int kJpegButtonId = 134;

}  // namespace skin
