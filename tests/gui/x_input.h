// The test's own connection to the session's X server: real input through XTest, screenshots
// of the root window, and the window-manager requests a user would make.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

namespace guitest {

// Pixels as 0xRRGGBB, row by row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool operator==(const Image&) const = default;
};

class XInput {
public:
    // Opens $DISPLAY (a few tries: a fresh server may drop a first connection).
    XInput();
    ~XInput();
    XInput(const XInput&) = delete;
    XInput& operator=(const XInput&) = delete;

    void MoveTo(int x, int y);
    // The left button (1), or the right one (3).
    void Press(unsigned button = 1);
    void Release(unsigned button = 1);
    // Gives `window` the keyboard focus and types the key named `keysym` ("Escape"), or a chord
    // whose keys are joined by '+' ("Control_L+l"), the last key pressed last.
    void Key(unsigned long window, const char* keysym);
    // Gives `window` the keyboard focus and types plain ASCII `text`, with Shift where a
    // character needs it.
    void Type(unsigned long window, const std::string& text);
    // Asks `window` to close, as a window manager's close button does.
    void RequestClose(unsigned long window);
    // The screen's pixels in the rectangle (clipped to the screen).
    Image Grab(int x, int y, int width, int height);
    // The top-level X window titled `title` that is mapped; 0 when there is none.
    unsigned long FindWindow(const std::string& title);
    // Screen position of the window's top left corner.
    void Origin(unsigned long window, int* x, int* y);

private:
    _XDisplay* display = nullptr;
};

// Writes `image` as a PNG file (for a failing test's report and for looking at).
bool SavePng(const Image& image, const std::string& path);
// An image file decoded with GdkPixbuf; empty when it cannot be read.
Image LoadImageFile(const std::string& path);
// Where two pictures first differ, for a failure's report.
// The largest difference of one colour channel between two pictures of one size (256 when
// their sizes differ).
int LargestChannelDifference(const Image& a, const Image& b);
std::string FirstDifference(const Image& got, const Image& expected);

}  // namespace guitest
