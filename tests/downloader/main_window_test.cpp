// The main window: placement, layout from the document, painting and the completion update.
#include "window_fixture.h"

namespace windowtest {
namespace {

using uitest::ShippedWithout;

class MainWindow : public WindowTest {};

TEST_F(MainWindow, CentredALittleBelowTheMiddle) {
    struct Case {
        int screenWidth;
        int screenHeight;
        int x;
        int y;
    };
    for (const Case& c :
         {Case{1920, 1080, 640, 385}, Case{1024, 768, 192, 213}, Case{600, 300, -20, -44}}) {
        fake::SetScreenSize(c.screenWidth, c.screenHeight);
        Open();
        EXPECT_EQ(window->x, c.x) << c.screenWidth;
        EXPECT_EQ(window->y, c.y) << c.screenWidth;
        EXPECT_EQ(window->width, 640);
        EXPECT_EQ(window->height, 380);
        Close();
    }
}

TEST_F(MainWindow, LaysOutEveryControlFromTheDocument) {
    Open();
    EXPECT_EQ(platform::ClientRect(window->launchButton.hwnd).right, 70);
    struct Child {
        cWindow* control;
        int x;
        int y;
    };
    for (const Child& c :
         {Child{&window->folderButton, 30, 334}, Child{&window->launchButton, 312, 334},
          Child{&window->startButton, 390, 334}, Child{&window->pauseButton, 468, 334},
          Child{&window->cancelButton, 546, 334}, Child{&window->progressBar, 30, 306},
          Child{&window->infoPanel, 29, 284}}) {
        ASSERT_NE(c.control->hwnd, nullptr) << c.x;
        EXPECT_EQ(fake::Parent(c.control->hwnd), handle);
        EXPECT_TRUE(fake::IsVisible(c.control->hwnd));
        EXPECT_EQ(platform::WindowRect(c.control->hwnd).left, 10 + c.x);
        EXPECT_EQ(platform::WindowRect(c.control->hwnd).top, 10 + c.y);
    }
    // Launch and Pause start disabled; the panel ticks every 333 ms.
    EXPECT_EQ(window->launchButton.GetState(), cButton::eDisable);
    EXPECT_EQ(window->pauseButton.GetState(), cButton::eDisable);
    EXPECT_EQ(window->startButton.GetState(), cButton::eNormal);
    EXPECT_EQ(fake::CallsOn(window->infoPanel.hwnd).back(), "StartTimer 1 333");
    // The layout wrote the stamp with the folder now in force.
    EXPECT_NE(std::string(app->downloadDirectory).find("download/dezirodor/"), std::string::npos);
    EXPECT_EQ(uitest::ReadFileText(std::string(app->workDirectory) + "/version.txt"),
              std::string("201808301023\n") + app->downloadDirectory);
}

TEST_F(MainWindow, MissingControlsEndTheLoopWithMinusOne) {
    struct Case {
        const char* section;
        const char* key;
    };
    for (const Case& c : {Case{"cancel", "down"}, Case{"launch", "x"}, Case{"pause", "disable"},
                          Case{"total", "fg-color"}, Case{"progressbar", "color"}}) {
        Open(ShippedWithout(c.section, c.key));
        auto boxes = fake::MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << c.key;
        EXPECT_EQ(boxes[0].text, "cWinMain::OnCreate :: ux-json error (-21)");
        EXPECT_EQ(boxes[0].owner, handle);
        EXPECT_EQ(platform::RunMessageLoop(), -1);
        EXPECT_EQ(fake::LiveWindows(), std::vector<platform::WindowHandle>{handle}) << c.key;
        Close();
        fake::Reset();
        SetUp();
        document.Release();
    }
}

TEST_F(MainWindow, OptionalSectionsLeaveTheirPartOut) {
    // Without the panel's texts: every control but the panel, and no ticks.
    std::string text = ShippedWithout("time-remaining", "x");
    Open(text);
    EXPECT_TRUE(fake::MessageBoxes().empty());
    EXPECT_NE(window->cancelButton.hwnd, nullptr);
    EXPECT_EQ(window->infoPanel.hwnd, nullptr);
    Close();
    document.Release();

    // Without the value font: no folder text (and no panel, whose values use its colour).
    Open(ShippedWithout("value", "color"));
    EXPECT_EQ(window->folderTextFormat, nullptr);
    EXPECT_EQ(window->infoPanel.hwnd, nullptr);
    fake::ClearRecords();
    platform::SendWindowMessage(handle, platform::kWmPaint, 0, 0);
    for (const fake::DrawOp& op : fake::DrawOpsOf(handle)) {
        EXPECT_NE(op.kind, fake::DrawOp::kText);
    }
}

TEST_F(MainWindow, PaintsBackgroundAndClippedFolderThenEveryChild) {
    Open();
    fake::ClearRecords();
    platform::SendWindowMessage(handle, platform::kWmPaint, 0, 0);
    auto ops = fake::DrawOpsOf(handle);
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[1].kind, fake::DrawOp::kBitmap);
    EXPECT_EQ(ops[1].image, fake::MakeBmp(640, 380, 0x102040));
    EXPECT_FLOAT_EQ(ops[1].rect.right, 640);
    EXPECT_FLOAT_EQ(ops[1].source.bottom, 380);
    EXPECT_FLOAT_EQ(ops[1].opacity, 0.99f);
    EXPECT_EQ(ops[1].interpolation, platform::Interpolation::kNearestNeighbor);
    EXPECT_EQ(ops[2].kind, fake::DrawOp::kText);
    EXPECT_EQ(ops[2].text, std::u16string(app->downloadDirectoryWide));
    EXPECT_EQ(ops[2].options, platform::TextOptions::kClip);
    EXPECT_FLOAT_EQ(ops[2].rect.left, 123);
    EXPECT_FLOAT_EQ(ops[2].rect.top, 340);
    EXPECT_FLOAT_EQ(ops[2].rect.right, 296);
    EXPECT_FLOAT_EQ(ops[2].rect.bottom, 359);
    EXPECT_FLOAT_EQ(ops[2].color.r, 0.8f);
    EXPECT_FLOAT_EQ(ops[2].color.a, 0.79f);
    EXPECT_EQ(fake::Invalidated(),
              (std::vector<platform::WindowHandle>{
                  window->cancelButton.hwnd, window->folderButton.hwnd, window->launchButton.hwnd,
                  window->pauseButton.hwnd, window->startButton.hwnd, window->progressBar.hwnd,
                  window->infoPanel.hwnd}));
    EXPECT_EQ(platform::SendWindowMessage(handle, platform::kWmNcHitTest, 0, 0),
              platform::kHtCaption);
}

}  // namespace
}  // namespace windowtest
