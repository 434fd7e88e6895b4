// What the GUI tests of a skinned window share: the layout, the test's own X connection, the
// window's place on the screen, and looking at it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "skin_layout.h"
#include "x_input.h"
#include "x_session.h"

namespace guitest {

class SkinnedWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    // A failing test leaves a screenshot under its name in SHOT_FOLDER.
    void TearDown() override;

    // The window's pixels in the rectangle (window coordinates).
    Image Shot(int x, int y, int width, int height);
    // Waits until the button shows the skin's picture `id`.
    void ExpectPicture(const ButtonLayout& button, int id);
    // The pointer onto the middle of the button.
    void MoveOnto(const ButtonLayout& button);
    // The whole screen as SHOT_FOLDER/NAME.png.
    void SaveScreen(const std::string& name);

    static constexpr int kScreenWidth = 1280;
    static constexpr int kScreenHeight = 800;
    // How far a colour channel of a shown picture may be from the skin's file: 0, but for
    // drawing layers that decode or blend with other rounding.
    int pictureTolerance = 0;
    Layout layout;
    XSession session;
    std::unique_ptr<XInput> input;
    unsigned long xid = 0;  // the window looked at
    int left = 0;           // its place on the screen
    int top = 0;
};

}  // namespace guitest
