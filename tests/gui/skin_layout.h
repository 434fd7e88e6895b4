// What the GUI tests know of the window they look at: the shipped document's layout of the
// controls, the skin's pictures, and waiting for what the screen shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "json/cJson.h"
#include "x_input.h"

namespace guitest {

struct ButtonLayout {
    const char* name;
    int firstPicture;
    int x = 0;
    int y = 0;
};

struct BarLayout {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    uint32_t background = 0;
    uint32_t foreground = 0;
};

// One entry of the information strip: where its label and its value start in the strip.
struct PanelEntryLayout {
    const char* key;
    int labelX = 0;
    int valueX = 0;
};

// The layout the program reads: the document it is built with (DOWNLOADER_DOCUMENT_FILE names
// another program's, for the Windows program under Wine).
class Layout {
public:
    Layout();
    const ButtonLayout& Button(const std::string& name) const;
    const PanelEntryLayout& PanelEntry(const std::string& key) const;

    bool loaded = false;
    std::vector<ButtonLayout> buttons = {
        {"folder", 138}, {"launch", 142}, {"start", 146}, {"pause", 150}, {"cancel", 134}};
    BarLayout bar;
    // In the order the strip shows them, left to right.
    std::vector<PanelEntryLayout> panel = {
        {"time-remaining"}, {"elapse-time"}, {"total-recv"}, {"total-size"}};
    // Where the download folder's text starts.
    int folderX = 0;
    int folderY = 0;

private:
    cJson document;
};

// The skin's picture `id` as the files under resources/skin hold it.
Image Picture(int id);
// Waits up to `seconds` for `done`; whether it came true.
bool Poll(const std::function<bool()>& done, double seconds = 10);

}  // namespace guitest
