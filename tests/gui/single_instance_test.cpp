// One copy at a time, on a real display: the second copy warns and ends, a killed first copy
// does not block the next start.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_package.h"
#include "x_session.h"

namespace {

const char* kMainTitle = "DezirodOR Downloader";
const char* kBoxCaption = "kestra-downloader...";

}  // namespace

// A package at the program's server address, so that the first copy's window stays.
std::unique_ptr<guitest::TestPackage> ServePackage(const guitest::XSession& session) {
    auto package = std::make_unique<guitest::TestPackage>(
        session.Folder() + "/package", std::vector<std::pair<std::string, int64_t>>{});
    package->Serve();
    return package;
}

TEST(SingleInstance, SecondCopyWarnsAndEndsWithZeroWhileTheFirstRuns) {
    guitest::XSession session;
    auto package = ServePackage(session);
    pid_t first = session.StartProgram();
    ASSERT_EQ(session.WaitForWindow(kMainTitle, 20).size(), 1u) << session.Report();
    const std::string work = session.StateFolder() + "VuZediroze";
    EXPECT_TRUE(std::filesystem::is_directory(work));
    EXPECT_EQ(std::filesystem::status(work).permissions(), std::filesystem::perms::owner_all);

    pid_t second = session.StartProgram();
    std::vector<std::string> boxes = session.WaitForWindow(kBoxCaption, 20);
    ASSERT_EQ(boxes.size(), 1u) << session.Report();
    EXPECT_TRUE(session.IsRunning(second));  // the warning waits for the user
    EXPECT_EQ(session.AnswerBox(second, kBoxCaption, 20), 0) << session.Report();

    EXPECT_TRUE(session.IsRunning(first));
    EXPECT_EQ(session.WaitForWindow(kMainTitle, 5).size(), 1u);
}

TEST(SingleInstance, KilledFirstCopyDoesNotBlockTheNextStart) {
    guitest::XSession session;
    auto package = ServePackage(session);
    pid_t first = session.StartProgram();
    ASSERT_EQ(session.WaitForWindow(kMainTitle, 20).size(), 1u) << session.Report();
    session.Kill(first);

    pid_t next = session.StartProgram();
    std::vector<std::string> windows = session.WaitForWindow(kMainTitle, 20);
    ASSERT_EQ(windows.size(), 1u) << session.Report();
    EXPECT_TRUE(session.FindWindows(kBoxCaption).empty());
    EXPECT_TRUE(session.IsRunning(next));

    // Escape asks the exit question; OK ends the program with code 1.
    std::vector<std::string> question;
    for (int attempt = 0; attempt < 3 && question.empty(); ++attempt) {
        session.PressKey(windows[0], "Escape");
        question = session.WaitForWindow(kBoxCaption, 5);
    }
    ASSERT_FALSE(question.empty()) << session.Report();
    EXPECT_EQ(session.AnswerBox(next, kBoxCaption, 20), 1) << session.Report();
}
