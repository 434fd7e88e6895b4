// cMgrDownloader over the in-memory client: the walk and its limit, counters, the completion
// step and its order, refusals of bad manifests, and stops that meet the UI thread's work.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <thread>

#include "download/engineMessages.h"
#include "download/manifest.h"
#include "engine_fixture.h"
#include "platform/fake_net/fake_net.h"

namespace engine_test {
namespace {

using platform::fake_net::Answer;
namespace fake_net = platform::fake_net;

constexpr const char* kBase = "http://files.test/set/";

class ManagerTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        fake_net::Reset();
        cMgrDownloader::CompletionHook() = nullptr;
        cMgrDownloader::IncompleteHook() = nullptr;
    }
    void TearDown() override {
        EngineTest::TearDown();
        cMgrDownloader::CompletionHook() = nullptr;
        cMgrDownloader::IncompleteHook() = nullptr;
    }

    // Serves `count` files "f<i>.bin" of `size` bytes with `answers`, and lists them.
    std::vector<std::string> ServeFiles(int count, size_t size,
                                        std::vector<Answer> answers = {Answer{}}) {
        std::vector<std::pair<std::string, size_t>> listed;
        bodies.clear();
        for (int i = 0; i < count; ++i) {
            const std::string name = "f" + std::to_string(i) + ".bin";
            bodies.push_back(Pattern(size, 100 + i));
            fake_net::Serve(kBase + name, bodies.back(), answers);
            listed.emplace_back(name, size);
        }
        WriteManifest(ManifestText(kBase, listed));
        std::vector<std::string> names;
        for (const auto& entry : listed) {
            names.push_back(entry.first);
        }
        return names;
    }

    std::vector<std::string> UrlsAsked() {
        std::vector<std::string> urls;
        for (const auto& request : fake_net::Requests()) {
            urls.push_back(request.url);
        }
        return urls;
    }

    // Whether the requests are for f0 .. f<count - 1>: transfers started one after another in
    // list order may send them in any order.
    bool AskedForTheFirst(size_t count) {
        std::set<std::string> urls;
        for (size_t i = 0; i < count; ++i) {
            urls.insert(std::string(kBase) + "f" + std::to_string(i) + ".bin");
        }
        const std::vector<std::string> asked = UrlsAsked();
        return asked.size() == count && std::set<std::string>(asked.begin(), asked.end()) == urls;
    }

    std::vector<platform::fake::SentMessage> TimerMessages() {
        std::vector<platform::fake::SentMessage> timers;
        for (const auto& sent : platform::fake::SentMessages()) {
            if (sent.message == platform::kWmTimer) {
                timers.push_back(sent);
            }
        }
        return timers;
    }

    // Waits without serving the UI thread.
    static bool WaitBlind(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    std::vector<std::string> bodies;
};

TEST_F(ManagerTest, DownloadsTheListAndCountsEveryByte) {
    const auto names = ServeFiles(3, 150000);
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));

    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_TRUE(SameBytes(ReadFile(download + names[i]), bodies[i])) << names[i];
    }
    EXPECT_TRUE(AskedForTheFirst(3));
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->fileCount, 3);
    EXPECT_EQ(manager->totalSize, 450000);
    EXPECT_EQ(manager->received, 450000);
    EXPECT_EQ(manager->sessionReceived, 450000);
    EXPECT_NE(manager->startTick, 0u);
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_FALSE(std::filesystem::exists(work + kTransferLogName));
}

TEST_F(ManagerTest, ResumedFilesCountForProgressButNotForSpeed) {
    const auto names = ServeFiles(2, 10000);
    WriteFile(download + names[0], bodies[0].substr(0, 4000));
    WriteFile(download + names[1], bodies[1]);
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));

    EXPECT_TRUE(SameBytes(ReadFile(download + names[0]), bodies[0]));
    EXPECT_EQ(manager->received, 20000);
    EXPECT_EQ(manager->sessionReceived, 6000);
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    // The two transfers run at once: either may write first.
    if (IsLogLine(lines[0], "cMgrDownloader::OnStart 10000")) {
        std::swap(lines[0], lines[1]);
    }
    EXPECT_TRUE(IsLogLine(lines[0], "cMgrDownloader::OnStart 4000"));
    EXPECT_TRUE(IsLogLine(lines[1], "cMgrDownloader::OnStart 10000"));
}

// A "TotalSize" that is not the sum of the sizes (0, or short of the files) would count the
// progress against a wrong total, and warn once per chunk beyond it: the manifest is refused
// with the reason before anything is fetched.
TEST_F(ManagerTest, TotalSizeThatIsNotTheSumRefusesTheManifest) {
    fake_net::Serve(std::string(kBase) + "a.bin", Pattern(5000, 2));
    for (int64_t total : {int64_t{0}, int64_t{3000}, int64_t{5001}}) {
        const size_t asked = fake_net::Requests().size();
        WriteManifest(ManifestText(kBase, {{"a.bin", 5000}}, total));
        cMgrDownloader* manager = StartManager();
        ASSERT_TRUE(WaitForRunEnd(manager));

        EXPECT_EQ(BoxTexts().back(),
                  "cMgrDownloader::DoDownloadFile :: file.json error (-35) "
                  "\"TotalSize\" " +
                      std::to_string(total) + " is not the sum of the entries' sizes (5000)");
        EXPECT_EQ(manager->finished, 0);
        EXPECT_EQ(fake_net::Requests().size(), asked);
    }
}

TEST_F(ManagerTest, AtMostFourRunAtOnceInListOrder) {
    Answer stall;
    stall.blockAt = 1;
    stall.chunk = 1000;
    ServeFiles(6, 5000, {stall});
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(fake_net::WaitForBlockedReads(4, std::chrono::seconds(10)));
    WaitFor([] { return false; }, std::chrono::milliseconds(300));

    EXPECT_TRUE(AskedForTheFirst(4));
    EXPECT_EQ(manager->running, 1);
    app->StopDownload();
    EXPECT_EQ(app->downloadManager, nullptr);
    EXPECT_EQ(fake_net::SessionsAlive(), 0);
    EXPECT_EQ(fake_net::RequestsAlive(), 0);
}

TEST_F(ManagerTest, ALaterStartResumesWhatAPauseLeft) {
    Answer stall;
    stall.blockAt = 2000;
    stall.chunk = 1000;
    const auto names = ServeFiles(6, 8000, {stall});
    StartManager();
    ASSERT_TRUE(fake_net::WaitForBlockedReads(4, std::chrono::seconds(10)));
    app->StopDownload();
    EXPECT_TRUE(TimerMessages().empty());
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(SameBytes(ReadFile(download + names[i]), bodies[i].substr(0, 2000)));
    }
    EXPECT_FALSE(std::filesystem::exists(download + names[4]));

    for (size_t i = 0; i < names.size(); ++i) {
        fake_net::Serve(kBase + names[i], bodies[i]);
    }
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_TRUE(SameBytes(ReadFile(download + names[i]), bodies[i])) << names[i];
    }
    EXPECT_EQ(manager->received, 48000);
    EXPECT_EQ(manager->sessionReceived, 48000 - 4 * 2000);
    EXPECT_EQ(LogLines().size(), 4u);
}

TEST_F(ManagerTest, CompletionStepSendsTheTimerMessageThenFinishesThenCallsTheHookThenFlashes) {
    ServeFiles(2, 1000);
    const platform::WindowHandle window = GiveAppAWindow();
    cMgrDownloader* manager = nullptr;
    std::vector<std::string> seen;
    cMgrDownloader::CompletionHook() = [&] {
        seen.push_back("hook on UI thread: " + std::to_string(platform::IsUiThread()));
        seen.push_back("finished: " + std::to_string(manager->finished.load()));
        seen.push_back("timer messages: " + std::to_string(TimerMessages().size()));
        seen.push_back("flashed: " + std::to_string(platform::fake::Flashed().size()));
    };
    manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));

    EXPECT_EQ(seen, (std::vector<std::string>{"hook on UI thread: 1", "finished: 1",
                                              "timer messages: 1", "flashed: 0"}));
    const auto timers = TimerMessages();
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0].window, window);
    EXPECT_EQ(timers[0].wParam, 333u);
    EXPECT_EQ(timers[0].lParam, 0);
    EXPECT_EQ(timers[0].thread, std::this_thread::get_id());
    EXPECT_EQ(platform::fake::Flashed(), std::vector<platform::WindowHandle>{window});
}

TEST_F(ManagerTest, EmptyListCompletesAtOnce) {
    WriteManifest(ManifestText(kBase, {}));
    GiveAppAWindow();
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(TimerMessages().size(), 1u);
    EXPECT_TRUE(fake_net::Requests().empty());
}

TEST_F(ManagerTest, BaseUrlWithoutSlashWarnsPerEntryFetchesNothingAndDoesNotComplete) {
    WriteManifest(ManifestText("http://files.test/set", {{"a.bin", 1}, {"b.bin", 1}}));
    GiveAppAWindow();
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    std::vector<std::string> expected(
        2, "cMgrDownloader::DoDownloadFile :: file.json URL format error");
    expected.push_back(
        "cMgrDownloader::OnExecute :: download incomplete (-39)\n2 of 2 files failed: "
        "\"a.bin\", \"b.bin\"");
    EXPECT_EQ(BoxTexts(), expected);
    EXPECT_TRUE(fake_net::Requests().empty());
    EXPECT_EQ(manager->finished, 0);
}

// A run completes only when every file is whole and as listed. Otherwise the window gets the
// figures of what arrived and one warning naming the first failed files in list order; nothing
// becomes the launch file.
TEST_F(ManagerTest, FailedFilesEndTheRunWithoutCompletion) {
    Answer missing;
    missing.status = 404;
    Answer wrongSize;
    wrongSize.contentLength = "7";
    for (const char* name : {"a.bin", "b.bin", "d.bin", "e.bin", "setup.exe"}) {
        fake_net::Serve(std::string(kBase) + name, "12345",
                        {name[0] == 'b' || name[0] == 's' ? Answer{} : missing});
    }
    fake_net::Serve(std::string(kBase) + "c.bin", "1234567", {wrongSize});
    WriteManifest(ManifestText(
        kBase,
        {{"a.bin", 5}, {"b.bin", 5}, {"c.bin", 5}, {"d.bin", 5}, {"e.bin", 5}, {"setup.exe", 5}}));
    GiveAppAWindow();
    int hooks[2] = {0, 0};  // completion, incomplete
    cMgrDownloader::CompletionHook() = [&] { ++hooks[0]; };
    cMgrDownloader::IncompleteHook() = [&] { ++hooks[1]; };
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));

    EXPECT_EQ(manager->finished, 0);
    EXPECT_EQ(hooks[0], 0);
    EXPECT_EQ(hooks[1], 1);
    EXPECT_EQ(TimerMessages().size(), 1u);
    EXPECT_TRUE(platform::fake::Flashed().empty());
    EXPECT_STREQ(app->launchFileName, "");
    EXPECT_EQ(manager->received, 10);
    ASSERT_EQ(BoxTexts().size(), 5u);
    EXPECT_EQ(BoxTexts().back(), IncompleteWarning(4, 6, {"a.bin", "c.bin", "d.bin"}));
}

// The next file starts when a transfer ends, not at a time: with the clock standing still the
// run still goes through the list, in order and never more than four at once, and a stop ends
// it at once.
TEST_F(ManagerTest, AFreedConnectionStartsTheNextFileWithoutWaitingForTime) {
    platform::fake::SetTickCount(1000);
    Answer stall;
    stall.blockAt = 1;
    stall.chunk = 1000;
    ServeFiles(6, 5000, {stall});
    Answer missing;
    missing.status = 404;
    fake_net::Serve(std::string(kBase) + "f1.bin", "gone", {missing});
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitFor([] { return fake_net::WaitForBlockedReads(4, {}); }));
    WaitFor([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(AskedForTheFirst(5));
    app->StopDownload();
    EXPECT_EQ(fake_net::SessionsAlive(), 0);

    ServeFiles(12, 100);
    manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, 1200);
}

TEST_F(ManagerTest, LastNameEndingInExeBecomesTheLaunchFile) {
    for (const char* name : {"a.exe", "b/c.exe", "setup.exe.bak", "x.exe/y.exe", "D.EXE"}) {
        fake_net::Serve(std::string(kBase) + name, "MZ");
    }
    WriteManifest(ManifestText(
        kBase,
        {{"a.exe", 2}, {"b/c.exe", 2}, {"setup.exe.bak", 2}, {"x.exe/y.exe", 2}, {"D.EXE", 2}}));
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    EXPECT_EQ(std::string(app->launchFileName), LocalPathOf("b/c.exe"));
}

TEST_F(ManagerTest, UnusableManifestEndsTheRunWithAWarningAndNoCompletion) {
    const std::vector<std::string> manifests = {
        "",  // no file at all
        "{\"TotalCount\": 2, \"TotalSize\": 2, \"URL\": \"http://files.test/set/\", "
        "\"FileList\": [{\"Name\": \"a.bin\", \"Size\": 1}]}",
        "{\"TotalCount\": 1, \"TotalSize\": 2, \"FileList\": [{\"Name\": \"a.bin\", \"Size\": 1}]}",
        ManifestText(kBase, {{"a.bin", 1}, {"../outside.bin", 1}}),
        ManifestText(kBase, {{"a.bin", 1}, {"/tmp/outside.bin", 1}}),
    };
    GiveAppAWindow();
    fake_net::Serve(std::string(kBase) + "a.bin", "a");
    for (const std::string& text : manifests) {
        std::filesystem::remove(work + "file.json");
        if (!text.empty()) {
            WriteManifest(text);
        }
        cMgrDownloader* manager = StartManager();
        ASSERT_TRUE(WaitForRunEnd(manager));
        EXPECT_EQ(manager->finished, 0) << text;
        ASSERT_FALSE(BoxTexts().empty());
        EXPECT_EQ(
            BoxTexts().back().rfind("cMgrDownloader::DoDownloadFile :: file.json error (-35)", 0),
            0u)
            << BoxTexts().back();
    }
    EXPECT_EQ(BoxTexts().size(), manifests.size());
    EXPECT_TRUE(TimerMessages().empty());
    EXPECT_TRUE(fake_net::Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(platform::fake::Root() + "outside.bin"));
    EXPECT_FALSE(std::filesystem::exists(download + "a.bin"));
}

// The manifest is read from the resource folder only: when that cannot be entered, a
// "file.json" in whatever folder is current (the download folder of an earlier run, with the
// package's own files) must not be taken for it.
TEST_F(ManagerTest, ResourceFolderThatCannotBeEnteredReadsNoOtherManifest) {
    ServeFiles(1, 100);
    std::filesystem::copy_file(work + "file.json", download + "file.json");
    std::filesystem::current_path(download);
    const std::string gone = platform::fake::Root() + "gone/";
    app->resourceDirectory = gone.c_str();
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));

    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "cMgrDownloader::DoDownloadFile :: file.json error (-35) the folder "
                              "of file.json cannot be entered"});
    EXPECT_TRUE(fake_net::Requests().empty());
    EXPECT_EQ(manager->finished, 0);
}

TEST_F(ManagerTest, MissingDownloadFolderWritesNothingElsewhere) {
    ServeFiles(1, 100);
    std::snprintf(app->downloadDirectory, sizeof app->downloadDirectory, "%s",
                  (platform::fake::Root() + "gone/").c_str());
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "cMgrDownloader::DoDownloadFile :: download folder error (-36) " +
                              platform::fake::Root() + "gone/ cannot be opened"});
    EXPECT_FALSE(std::filesystem::exists(work + "f0.bin"));
    EXPECT_EQ(manager->finished, 0);
}

// Links planted where listed files and folders belong are refused, each named in a warning:
// nothing is written where they lead, outside the download folder.
TEST_F(ManagerTest, LinksInTheDownloadFolderAreNotFollowed) {
#ifdef _WIN32
    GTEST_SKIP() << "links need rights that a Windows user may lack; the platform tests check "
                    "reparse points";
#endif
    const std::string outside = platform::fake::Root() + "outside/";
    std::filesystem::create_directories(outside + "folder");
    std::ofstream(outside + "profile") << "mine";
    std::filesystem::create_symlink(outside + "profile", download + "readme.txt");
    std::filesystem::create_directory_symlink(outside + "folder", download + "data");
    std::filesystem::create_directories(download + "deep");
    std::filesystem::create_directory_symlink(outside + "folder", download + "deep/maps");
    std::vector<std::pair<std::string, size_t>> listed;
    for (const char* name : {"readme.txt", "data/a.bin", "deep/maps/b.bin", "plain.bin"}) {
        fake_net::Serve(kBase + std::string(name), Pattern(100, 7));
        listed.emplace_back(name, 100);
    }
    WriteManifest(ManifestText(kBase, listed));
    ASSERT_TRUE(WaitForRunEnd(StartManager()));

    std::vector<std::string> boxes = BoxTexts();
    std::sort(boxes.begin(), boxes.end());
    const std::string warning = "cHttp::OnExecute :: file open error (-31) ";
    const std::string link = ": a link stands on its way and is not followed";
    EXPECT_EQ(boxes, (std::vector<std::string>{
                         warning + "data/a.bin" + link, warning + "deep/maps/b.bin" + link,
                         warning + "readme.txt" + link,
                         "cMgrDownloader::OnExecute :: download incomplete (-39)\n3 of 4 files "
                         "failed: \"readme.txt\", \"data/a.bin\", \"deep/maps/b.bin\""}));
    std::ifstream profile(outside + "profile");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(profile), {}), "mine");
    EXPECT_TRUE(std::filesystem::is_empty(outside + "folder"));
    EXPECT_EQ(std::filesystem::file_size(download + "plain.bin"), 100u);
}

// The manager thread is inside the completion step, waiting for the UI thread, when the UI
// thread stops it: the stop serves the step, which sees the stop and leaves the window alone.
TEST_F(ManagerTest, StopWhileTheCompletionStepWaitsForTheUiThread) {
    ServeFiles(2, 1000);
    GiveAppAWindow();
    bool hookCalled = false;
    cMgrDownloader::CompletionHook() = [&] { hookCalled = true; };
    cMgrDownloader* manager = StartManager();
    // The requests, recorded under the client's lock, order the manager's setup before the
    // look at its downloaders.
    ASSERT_TRUE(WaitBlind([] { return fake_net::Requests().size() == 2; }));
    // The completion step is the one request waiting for the UI thread.
    ASSERT_TRUE(WaitBlind([] { return platform::fake::PendingUiRequests() == 1; }));
    EXPECT_EQ(manager->running, 1);

    const auto begin = std::chrono::steady_clock::now();
    app->StopDownload();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
    EXPECT_EQ(app->downloadManager, nullptr);
    EXPECT_FALSE(hookCalled);
    EXPECT_TRUE(TimerMessages().empty());
    EXPECT_TRUE(platform::fake::Flashed().empty());
}

// A transfer is showing a warning box (waiting for the UI thread) when the UI thread stops the
// download: the stop shows the box and then ends.
TEST_F(ManagerTest, StopWhileATransferWaitsForItsWarningBox) {
    Answer missing;
    missing.status = 404;
    fake_net::Serve(std::string(kBase) + "a.bin", "<html>404</html>", {missing});
    WriteManifest(ManifestText(kBase, {{"a.bin", 10}}));
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitBlind([] { return fake_net::Requests().size() == 1; }));
    // The warning box is the one request waiting for the UI thread.
    ASSERT_TRUE(WaitBlind([] { return platform::fake::PendingUiRequests() == 1; }));
    EXPECT_EQ(manager->running, 1);

    app->StopDownload();
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"cHttp::OnExecute :: http status error 404 (-6)"});
    EXPECT_FALSE(std::filesystem::exists(download + "a.bin"));
}

// While a stop waits, the UI thread goes on handling events; one of them may ask for a stop
// again (the user closes the window during a pause). The second stop finds nothing to stop,
// and the first one still ends with every thread joined.
TEST_F(ManagerTest, StopAskedForAgainWhileAStopWaits) {
    Answer missing;
    missing.status = 404;
    fake_net::Serve(std::string(kBase) + "a.bin", "<html>404</html>", {missing});
    WriteManifest(ManifestText(kBase, {{"a.bin", 10}}));
    StartManager();
    ASSERT_TRUE(WaitBlind([] { return fake_net::Requests().size() == 1; }));
    ASSERT_TRUE(WaitBlind([] { return platform::fake::PendingUiRequests() == 1; }));
    bool nestedStopSawNoManager = false;
    std::thread user([&] {
        platform::InvokeOnUiThread([&] {
            nestedStopSawNoManager = app->downloadManager == nullptr;
            app->StopDownload();
        });
    });
    // The warning box first, then the user's close.
    ASSERT_TRUE(WaitBlind([] { return platform::fake::PendingUiRequests() == 2; }));

    app->StopDownload();
    user.join();
    EXPECT_TRUE(nestedStopSawNoManager);
    EXPECT_EQ(app->downloadManager, nullptr);
    EXPECT_EQ(BoxTexts().size(), 1u);
    EXPECT_EQ(fake_net::SessionsAlive(), 0);
}

// A worker's warning box is owned by the main window as it is when the UI thread shows the box,
// not as the worker saw it: the window may be created (or destroyed) in between.
TEST_F(ManagerTest, WarningOfAWorkerIsOwnedByTheWindowOfTheMomentItIsShown) {
    std::thread worker([] { ShowEngineWarning("from a worker"); });
    ASSERT_TRUE(WaitBlind([] { return platform::fake::PendingUiRequests() == 1; }));
    const platform::WindowHandle window = GiveAppAWindow();
    platform::fake::PumpUiThread();
    worker.join();

    ASSERT_EQ(platform::fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::fake::MessageBoxes()[0].owner, window);
    EXPECT_EQ(platform::fake::MessageBoxes()[0].text, "from a worker");
}

TEST_F(ManagerTest, ManyStartsAndStopsWhileTransfersRun) {
    Answer slow;
    slow.chunk = 4096;
    const auto names = ServeFiles(6, 400000, {slow});
    GiveAppAWindow();
    std::mt19937 random(7);
    for (int round = 0; round < 25; ++round) {
        StartManager();
        WaitFor([] { return false; }, std::chrono::milliseconds(random() % 80));
        app->StopDownload();
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string kept = ReadFile(download + names[i]);
            ASSERT_TRUE(SameBytes(kept, bodies[i].substr(0, kept.size()))) << names[i];
        }
    }
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, 6 * 400000);
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_TRUE(SameBytes(ReadFile(download + names[i]), bodies[i])) << names[i];
    }
    EXPECT_TRUE(BoxTexts().empty());
}

}  // namespace
}  // namespace engine_test
