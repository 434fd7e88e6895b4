// One copy at a time, on a real display: the second copy warns and ends, a killed first copy
// does not block the next start.
#include <gtest/gtest.h>

#include <filesystem>

#include "x_session.h"

namespace {

const char* kMainTitle = "DezirodOR Downloader";
const char* kBoxCaption = "kestra-downloader...";

}  // namespace

TEST(SingleInstance, SecondCopyWarnsAndEndsWithZeroWhileTheFirstRuns) {
    guitest::XSession session;
    pid_t first = session.StartProgram();
    ASSERT_EQ(session.WaitForWindow(kMainTitle, 20).size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(session.TempFolder() + "VuZediroze"));

    pid_t second = session.StartProgram();
    std::vector<std::string> boxes = session.WaitForWindow(kBoxCaption, 20);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(session.IsRunning(second));  // the warning waits for the user
    session.PressKey(boxes[0], "Return");
    EXPECT_EQ(session.WaitForExit(second, 20), 0);

    EXPECT_TRUE(session.IsRunning(first));
    EXPECT_EQ(session.FindWindows(kMainTitle).size(), 1u);
}

TEST(SingleInstance, KilledFirstCopyDoesNotBlockTheNextStart) {
    guitest::XSession session;
    pid_t first = session.StartProgram();
    ASSERT_EQ(session.WaitForWindow(kMainTitle, 20).size(), 1u);
    session.Kill(first);

    pid_t next = session.StartProgram();
    std::vector<std::string> windows = session.WaitForWindow(kMainTitle, 20);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_TRUE(session.FindWindows(kBoxCaption).empty());
    EXPECT_TRUE(session.IsRunning(next));

    // Escape asks the exit question; OK ends the program with code 1.
    session.PressKey(windows[0], "Escape");
    std::vector<std::string> question = session.WaitForWindow(kBoxCaption, 20);
    ASSERT_EQ(question.size(), 1u);
    session.PressKey(question[0], "Return");
    EXPECT_EQ(session.WaitForExit(next, 20), 1);
}
