// The window toolkit in a real window: the test program shows the skin with the shipped layout
// under a private Xvfb; real pointer input drives it and screenshots are compared with the
// skin's own pictures and with what the shipped document configures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "skinned_window_test.h"
#include "x_input.h"
#include "x_session.h"

namespace {

using guitest::BarLayout;
using guitest::ButtonLayout;
using guitest::Layout;
using guitest::Picture;
using guitest::Poll;
const char* kTitle = "toolkit demo";

size_t Occurrences(const std::string& text, const std::string& line) {
    size_t count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
        ++count;
    }
    return count;
}

class ToolkitDemo : public guitest::SkinnedWindowTest {
protected:
    // Starts the program and waits until its window shows every control's first picture.
    void Start(std::vector<std::string> options = {}) {
        options.insert(options.begin(), TOOLKIT_DEMO);
        demo = session.Start(options);
        unsigned long window = 0;
        ASSERT_TRUE(Poll([&] { return (window = input->FindWindow(kTitle)) != 0; }))
            << session.Report();
        xid = window;
        input->Origin(xid, &left, &top);
        for (const ButtonLayout& button : layout.buttons) {
            bool disabled = false;
            for (size_t i = 1; i + 1 < options.size(); ++i) {
                disabled |= options[i] == "--disable" && options[i + 1] == button.name;
            }
            ExpectPicture(button, button.firstPicture + (disabled ? 3 : 0));
        }
    }

    // A point of the main window's own surface, clear of every control.
    void MoveOntoSurface() { input->MoveTo(left + 200, top + 100); }

    std::string Output() { return session.OutputOf(demo); }

    pid_t demo = -1;
};

TEST_F(ToolkitDemo, ButtonsFollowTheMouseAndRunTheirCommandOncePerClick) {
    Start();
    for (const ButtonLayout& button : layout.buttons) {
        SCOPED_TRACE(button.name);
        MoveOnto(button);
        ExpectPicture(button, button.firstPicture + 1);
        input->Press();
        ExpectPicture(button, button.firstPicture + 2);
        input->Release();
        ExpectPicture(button, button.firstPicture + 1);
        std::string line = std::string("execute ") + button.name + "\n";
        EXPECT_TRUE(Poll([&] { return Occurrences(Output(), line) == 1; })) << Output();
        MoveOntoSurface();
        ExpectPicture(button, button.firstPicture);
    }
    SaveScreen("buttons-after-clicks");
    EXPECT_EQ(Occurrences(Output(), "execute"), layout.buttons.size()) << Output();
}

TEST_F(ToolkitDemo, PressDraggedOutAndReleasedOutsideRunsNothing) {
    Start();
    const ButtonLayout& start = layout.Button("start");
    MoveOnto(start);
    ExpectPicture(start, start.firstPicture + 1);
    input->Press();
    ExpectPicture(start, start.firstPicture + 2);
    MoveOntoSurface();
    input->MoveTo(left + 3, top + 3);
    ExpectPicture(start, start.firstPicture + 2);  // held down while the press lasts
    input->Release();
    ExpectPicture(start, start.firstPicture);
    EXPECT_EQ(Occurrences(Output(), "execute"), 0u) << Output();
}

TEST_F(ToolkitDemo, DisabledButtonShowsItsFourthPictureAndIgnoresTheMouse) {
    Start({"--disable", "pause"});
    const ButtonLayout& pause = layout.Button("pause");
    const ButtonLayout& start = layout.Button("start");
    MoveOnto(pause);
    input->Press();
    input->Release();
    // Once the next button has followed the pointer, the disabled one has had its events.
    MoveOnto(start);
    ExpectPicture(start, start.firstPicture + 1);
    ExpectPicture(pause, pause.firstPicture + 3);
    EXPECT_EQ(Occurrences(Output(), "execute"), 0u) << Output();
}

TEST_F(ToolkitDemo, ProgressFillsToTheComputedColumnAndShowsItsTextsInTheirBoxes) {
    constexpr int kProgress = 4567;
    Start({"--progress", std::to_string(kProgress), "--speed", "12.5"});
    const BarLayout& bar = layout.bar;
    int filledWidth = kProgress * (bar.width - 2) / 10000;
    // Below the texts: the fill runs from column 1 up to filledWidth + 1, inside a one-pixel
    // border of the background colour.
    guitest::Image expectedRow{bar.width, 1, {}};
    for (int x = 0; x < bar.width; ++x) {
        expectedRow.pixels.push_back(x >= 1 && x < filledWidth + 1 ? bar.foreground
                                                                   : bar.background);
    }
    guitest::Image row;
    ASSERT_TRUE(Poll([&] {
        row = Shot(bar.x, bar.y + bar.height - 2, bar.width, 1);
        return row == expectedRow;
    })) << guitest::FirstDifference(row, expectedRow);
    guitest::Image edge = Shot(bar.x, bar.y, bar.width, 1);
    for (int x = 0; x < bar.width; ++x) {
        EXPECT_EQ(edge.At(x, 0), bar.background) << "top border at " << x;
    }

    // The texts: ink (neither fill nor background) only inside the percentage box (from the
    // middle less 30, 60 wide) and the speed box (100 from the right end, 95 wide).
    guitest::Image whole = Shot(bar.x, bar.y, bar.width, bar.height);
    int rateLeft = bar.width / 2 - 30;
    int speedLeft = bar.width - 100;
    int rateInk = 0;
    int speedInk = 0;
    for (int y = 1; y < bar.height - 1; ++y) {
        for (int x = 1; x < bar.width - 1; ++x) {
            uint32_t p = whole.At(x, y);
            if (p == bar.foreground || p == bar.background) {
                continue;
            }
            if (x >= rateLeft && x < rateLeft + 60) {
                ++rateInk;
            } else if (x >= speedLeft && x < speedLeft + 95) {
                ++speedInk;
            } else {
                ADD_FAILURE() << "ink outside the text boxes at " << x << "," << y;
                return;
            }
        }
    }
    EXPECT_GT(rateInk, 30);   // "45.67%"
    EXPECT_GT(speedInk, 60);  // "12.500 MiB/Sec"
    SaveScreen("progress-4567");
}

TEST_F(ToolkitDemo, DraggingTheProgressBarMovesTheWindow) {
    Start();
    const BarLayout& bar = layout.bar;
    int startLeft = left;
    int startTop = top;
    int x = left + bar.x + 100;
    int y = top + bar.y + bar.height / 2;
    input->MoveTo(x, y);
    input->Press();
    // The drag starts once the program has handled the press: move on until the window
    // follows, ending each round at the target point.
    bool moved = Poll([&] {
        input->MoveTo(x + 39, y + 23);
        input->MoveTo(x + 40, y + 24);
        input->Origin(xid, &left, &top);
        return left == startLeft + 40 && top == startTop + 24;
    });
    input->Release();
    ASSERT_TRUE(moved) << "window at " << left << "," << top << " from " << startLeft << ","
                       << startTop << "\n"
                       << session.Report();
    input->MoveTo(x + 60, y + 30);  // after the release the window stays
    // The window is drawn at its new place.
    ExpectPicture(layout.Button("cancel"), layout.Button("cancel").firstPicture);
    EXPECT_EQ(Occurrences(Output(), "execute"), 0u) << Output();
}

}  // namespace
