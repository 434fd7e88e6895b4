// The speed menu of the Linux program in its real window: the right button opens the system's
// menu, a limit chosen shows beside the speed, holds the download, is kept in settings.txt and
// is in force again at the next start.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "downloader_window_test.h"
#include "x_input.h"

namespace {

using guitest::Image;
using guitest::Poll;
using guitest::ReadFile;

class SpeedMenuWindow : public guitest::DownloaderWindowTest {
protected:
    // The speed's place on the bar (window coordinates).
    static constexpr int kSpeedX = 30 + 586 - 135;
    static constexpr int kSpeedY = 306;
    static constexpr int kSpeedWidth = 130;
    Image Speed() { return Shot(kSpeedX, kSpeedY, kSpeedWidth, 14); }
};

TEST_F(SpeedMenuWindow, ALimitChosenFromTheMenuHoldsTheDownloadAndIsKept) {
    MakePackage();
    package->Serve();
    StartProgram();
    const Image unlimited = Speed();
    // Right button over the window; the menu opens at the pointer.
    input->MoveTo(left + 200, top + 150);
    input->Press(3);
    input->Release(3);
    // The menu's light background where the window is dark.
    ASSERT_TRUE(Poll([&] { return guitest::LightPixels(Shot(202, 152, 100, 100)) > 5000; }, 10))
        << session.Report();
    SaveScreen("speed-menu");
    // The second item, "1 MiB/s", from the keyboard of the open menu.
    input->Key(0, "Down");
    input->Key(0, "Down");
    input->Key(0, "Return");
    ASSERT_TRUE(Poll([&] { return Speed() != unlimited; }, 10)) << session.Report();
    const Image limited = Speed();
    const std::string settings = session.StateFolder() + "VuZediroze/settings.txt";
    EXPECT_EQ(ReadFile(settings), "speed-limit-mib=1\n");

    const auto start = std::chrono::steady_clock::now();
    Click("start");
    ASSERT_TRUE(Poll([&] { return AllDownloaded(); }, 60)) << session.Report();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ExpectPackageOnDisk();
    SaveScreen("speed-limited-done");
    // About 1.6 MB at 1 MiB a second, less what the first reads take before any wait.
    EXPECT_GE(seconds, 1.0);

    input->Key(xid, "Escape");
    ASSERT_EQ(session.AnswerBox(program, guitest::kBoxCaption, 20), 1) << session.Report();
    StartProgram();
    EXPECT_TRUE(Poll([&] { return Speed() == limited; }, 10)) << session.Report();
    EXPECT_EQ(ReadFile(settings), "speed-limit-mib=1\n");

    // From the keyboard the menu opens below the speed; Escape closes it and nothing else.
    const Image below = Shot(kSpeedX, kSpeedY + 20, 120, 50);
    for (const char* key : {"Menu", "Shift_L+F10"}) {
        input->Key(xid, key);
        ASSERT_TRUE(Poll([&] { return Shot(kSpeedX, kSpeedY + 20, 120, 50) != below; }, 10))
            << key << "\n"
            << session.Report();
        SaveScreen("speed-menu-keyboard");
        input->Key(0, "Escape");
        ASSERT_TRUE(Poll([&] { return Shot(kSpeedX, kSpeedY + 20, 120, 50) == below; }, 10))
            << key << "\n"
            << session.Report();
    }
    EXPECT_TRUE(session.FindWindows(guitest::kBoxCaption).empty());
    EXPECT_EQ(ReadFile(settings), "speed-limit-mib=1\n");
}

}  // namespace
