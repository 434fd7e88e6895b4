// The speed menu of the Linux program in its real window: a limit chosen from the system's
// menu holds the download, is kept in settings.txt and is in force again at the next start.
#include <gtest/gtest.h>

#include <string>

#include "downloader_window_test.h"

namespace {

class SpeedMenuWindow : public guitest::DownloaderWindowTest {};

TEST_F(SpeedMenuWindow, ALimitChosenFromTheMenuHoldsTheDownloadAndIsKept) {
    const std::string settings = session.StateFolder() + "VuZediroze/settings.txt";
    guitest::Image chosen;
    ExpectSpeedLimitFromTheMenu([&] { return settings; }, chosen);
    if (HasFailure()) {
        return;
    }
    input->Key(xid, "Escape");
    ASSERT_EQ(session.AnswerBox(program, guitest::kBoxCaption, 20), 1) << session.Report();
    StartProgram();
    // "0.00 MiB/s (max 1)" again, as right after the choice.
    EXPECT_TRUE(guitest::Poll([&] { return Speed() == chosen; }, 10)) << session.Report();
    EXPECT_EQ(guitest::ReadFile(settings), "speed-limit-mib=1\n");
}

}  // namespace
