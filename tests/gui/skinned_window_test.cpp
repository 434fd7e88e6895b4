#include "skinned_window_test.h"

#include <filesystem>

namespace guitest {

void SkinnedWindowTest::SetUp() {
    ASSERT_TRUE(layout.loaded);
    input = std::make_unique<XInput>();
    input->MoveTo(2, 2);
}

void SkinnedWindowTest::TearDown() {
    if (HasFailure() && input != nullptr) {  // a set-up that failed early has no screen
        SaveScreen(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
}

Image SkinnedWindowTest::Shot(int x, int y, int width, int height) {
    return input->Grab(left + x, top + y, width, height);
}

void SkinnedWindowTest::ExpectPicture(const ButtonLayout& button, int id) {
    Image expected = Picture(id);
    ASSERT_GT(expected.width, 0) << "no skin picture " << id;
    Image shot;
    EXPECT_TRUE(Poll([&] {
        shot = Shot(button.x, button.y, expected.width, expected.height);
        return LargestChannelDifference(shot, expected) <= pictureTolerance;
    })) << button.name
        << " does not show picture " << id << ": " << FirstDifference(shot, expected)
        << ", channels up to " << LargestChannelDifference(shot, expected) << " apart";
}

void SkinnedWindowTest::MoveOnto(const ButtonLayout& button) {
    input->MoveTo(left + button.x + 35, top + button.y + 15);
}

void SkinnedWindowTest::SaveScreen(const std::string& name) {
    std::filesystem::create_directories(SHOT_FOLDER);
    SavePng(input->Grab(0, 0, kScreenWidth, kScreenHeight),
            std::string(SHOT_FOLDER) + "/" + name + ".png");
}

}  // namespace guitest
