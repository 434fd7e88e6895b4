// The information panel: its formats, its geometry, the manifest fetch of its first tick and
// the figures of a running download.
#include <cmath>
#include <filesystem>

#include "download/cMgrDownloader.h"
#include "test_signing.h"
#include "window_fixture.h"

namespace windowtest {
namespace {

class Panel : public WindowTest {
protected:
    // A manager with the counters of a run, as the engine would have them; not started. It
    // replaces the one of an earlier run.
    cMgrDownloader& Running(int64_t totalSize, int64_t received, int64_t sessionReceived,
                            uint32_t elapsedMs) {
        auto* manager = new cMgrDownloader;
        manager->running = 1;
        manager->totalSize = totalSize;
        manager->received = received;
        manager->sessionReceived = sessionReceived;
        fake::SetTickCount(1000000);
        manager->startTick = 1000000 - elapsedMs;
        delete app->downloadManager;
        app->downloadManager = manager;
        return *manager;
    }
    std::u16string Value(int entry) { return window->infoPanel.valueTexts[entry]; }
};

TEST(PanelFormat, ValuesFitTheirFields) {
    struct SizeCase {
        int64_t bytes;
        std::u16string text;
    };
    for (const SizeCase& c :
         {SizeCase{0, u"0.000 GBytes"}, SizeCase{int64_t{5} << 30, u"5.000 GBytes"},
          SizeCase{int64_t{1} << 29, u"0.500 GBytes"},
          SizeCase{int64_t{9999} << 30, u"9999.000 GBytes"},
          SizeCase{int64_t{10000} << 30, u"10000.00 GBytes"},
          SizeCase{int64_t{1} << 62, u"4294967296 GBytes"}}) {
        char16_t field[cWinDownloadInfo::kTextSize];
        panel_format::Size(field, c.bytes);
        EXPECT_EQ(std::u16string(field), c.text.substr(0, 15)) << c.bytes;
    }
    struct TimeCase {
        uint32_t seconds;
        std::u16string text;
    };
    for (const TimeCase& c :
         {TimeCase{0, u"00:00:00"}, TimeCase{100, u"00:01:40"}, TimeCase{3072, u"00:51:12"},
          TimeCase{359999, u"99:59:59"}, TimeCase{360000, u"100:00:00"},
          TimeCase{4294967295u, u"1193046:28:15"}}) {
        char16_t field[cWinDownloadInfo::kTextSize];
        panel_format::Time(field, c.seconds);
        EXPECT_EQ(std::u16string(field), c.text) << c.seconds;
    }
    struct LabelCase {
        std::u16string label;
        std::u16string text;
    };
    for (const LabelCase& c :
         {LabelCase{u"残り時間", u"残り時間 :"}, LabelCase{u"ABCDEFGHIJKLM", u"ABCDEFGHIJKLM :"},
          LabelCase{u"ABCDEFGHIJKLMNOPQ", u"ABCDEFGHIJKLM :"},
          LabelCase{u"ABCDEFGHIJKL\U0001F600X", u"ABCDEFGHIJKL :"}}) {
        char16_t field[cWinDownloadInfo::kTextSize];
        panel_format::Label(field, c.label.c_str());
        EXPECT_EQ(std::u16string(field), c.text);
    }
}

TEST(PanelFormat, CheckingTextInTheDocumentsLanguageWithItsCount) {
    const std::u16string word =
        DOWNLOADER_CODE_PAGE == 949 ? u"\uD655\uC778 \uC911" : u"\u78BA\u8A8D\u4E2D";
    struct Case {
        int32_t count;
        std::u16string text;
    };
    for (const Case& c : {Case{3, u" 3"}, Case{1000000, u" 1000000"}}) {
        char16_t field[cWinDownloadInfo::kTextSize];
        panel_format::Checking(field, c.count);
        EXPECT_EQ(std::u16string(field), word + c.text);
    }
}

TEST(PanelFormat, ProgressAndSpeedOfARun) {
    EXPECT_EQ(download_figures::Progress(int64_t{1} << 30, int64_t{1} << 32), 2500);
    EXPECT_EQ(download_figures::Progress(4567, 10000), 4567);
    EXPECT_EQ(download_figures::Progress(0, 100), 0);
    EXPECT_EQ(download_figures::Progress(int64_t{1} << 62, 1), 2000000000);
    EXPECT_EQ(download_figures::Speed(int64_t{100} << 20, 999), 0.0f);
    EXPECT_EQ(download_figures::Speed(int64_t{100} << 20, 100500), float(1 << 20));
}

TEST_F(Panel, GeometryFromTheShippedDocument) {
    Open();
    const cWinDownloadInfo& panel = window->infoPanel;
    const float labels[] = {0, 136, 240, 420};
    const float values[] = {54, 190, 333, 502};
    const std::u16string texts[] = {u"残り時間 :", u"経過時間 :", u"ダウンロード済み :",
                                    u"ファイルサイズ :"};
    for (int entry = 0; entry < cWinDownloadInfo::kEntryCount; ++entry) {
        EXPECT_FLOAT_EQ(panel.labelRects[entry].left, labels[entry]);
        EXPECT_FLOAT_EQ(panel.labelRects[entry].right, labels[entry] + 100);
        EXPECT_FLOAT_EQ(panel.valueRects[entry].left, values[entry]);
        EXPECT_FLOAT_EQ(panel.valueRects[entry].bottom, 20);
        EXPECT_EQ(std::u16string(panel.labelTexts[entry]), texts[entry]);
    }
    EXPECT_EQ(platform::WindowRect(panel.hwnd).left, 10 + 29);
    EXPECT_EQ(platform::ClientRect(panel.hwnd).right, 610);

    fake::ClearRecords();
    platform::SendWindowMessage(panel.hwnd, platform::kWmPaint, 0, 0);
    auto ops = fake::DrawOpsOf(panel.hwnd);
    ASSERT_EQ(ops.size(), 11u);
    EXPECT_FLOAT_EQ(ops[1].source.left, 29);
    EXPECT_FLOAT_EQ(ops[1].source.top, 284);
    EXPECT_FLOAT_EQ(ops[1].source.right, 639);
    EXPECT_FLOAT_EQ(ops[1].rect.right, 610);
    EXPECT_EQ(ops[1].interpolation, platform::Interpolation::kNearestNeighbor);
    EXPECT_EQ(ops[2].text, u"残り時間 :");
    EXPECT_FLOAT_EQ(ops[2].color.r, 1.0f);
    EXPECT_EQ(ops[6].text, u"00:00:00");
    EXPECT_FLOAT_EQ(ops[6].color.r, 0.8f);
    EXPECT_EQ(ops[9].text, u"0.000 GBytes");
    EXPECT_EQ(ops[9].options, platform::TextOptions::kNoSnap);
}

TEST_F(Panel, FirstTickFetchesTheManifestOnceAndShowsItsSize) {
    ServeManifest(int64_t{5} << 30);
    Open();
    FetchManifest();
    EXPECT_EQ(Value(cWinDownloadInfo::kTotalSize), u"5.000 GBytes");
    EXPECT_EQ(window->manifestTotalSize, int64_t{5} << 30);
    EXPECT_EQ(Value(cWinDownloadInfo::kReceived), u"0.000 GBytes");
    Tick();
    ASSERT_EQ(platform::fake_net::Requests().size(), 2u);
    EXPECT_EQ(platform::fake_net::Requests()[0].url, std::string(kServerUrl) + "file.json");
    EXPECT_EQ(platform::fake_net::Requests()[1].url, std::string(kServerUrl) + "file.json.sig");
    // The manifest stays in the work folder for the download.
    EXPECT_FALSE(uitest::ReadFileText(std::string(app->workDirectory) + "file.json").empty());
}

TEST_F(Panel, ManifestThatCannotBeFetchedEndsTheProgram) {
    Open();
    try {
        FetchManifest();
        FAIL() << "the program went on";
    } catch (const fake::ProcessExit& exit) {
        EXPECT_EQ(exit.code, 0);
    }
    ASSERT_FALSE(fake::MessageBoxes().empty());
    EXPECT_EQ(fake::MessageBoxes().back().text,
              "cWinMain::LoadDownloadInfo :: network error, try again...");
}

TEST_F(Panel, ServerAddressTooLongForItsFieldIsRefusedBeforeAnyRequest) {
    std::string longUrl = "http://127.0.0.1:9/" + std::string(500, 'a') + "/";
    app->serverUrl = longUrl.c_str();
    Open();
    EXPECT_THROW(Tick(), fake::ProcessExit);
    EXPECT_EQ(fake::MessageBoxes().back().text,
              "cWinMain::LoadDownloadInfo :: server-url is too long");
    EXPECT_TRUE(platform::fake_net::Requests().empty());
}

// A manifest that arrives but cannot be trusted: one warning naming the reason, the program
// ends as for a manifest that cannot be fetched, and nothing is kept for a download to use.
TEST_F(Panel, UntrustedManifestIsRefusedWithItsReasonAndEndsTheProgram) {
    const std::string entry =
        "{ \"Name\" : \"a.bin\", \"Size\" : 5, \"SHA256\" : \"" + std::string(64, 'a') + "\" }";
    const std::string good =
        "{ \"TotalCount\" : 1, \"TotalSize\" : 5, \"URL\" : "
        "\"http://127.0.0.1:9/files/\", \"FileList\" : [ " +
        entry + " ] }";
    std::string tampered = good;
    tampered.replace(tampered.find("a.bin"), 5, "b.bin");
    struct Case {
        std::string manifest;
        std::string signature;  // "-": none served
        std::string reason;
    };
    const std::string unhashed =
        "{ \"TotalCount\" : 1, \"TotalSize\" : 5, \"URL\" : "
        "\"http://127.0.0.1:9/files/\", \"FileList\" : [ { \"Name\" "
        ": \"a.bin\", \"Size\" : 5 } ] }";
    std::string wrongTotal = good;
    wrongTotal.replace(wrongTotal.find("\"TotalSize\" : 5"), 15, "\"TotalSize\" : 6");
    for (const Case& c : {
             Case{good, "-", "has no signature (file.json.sig)"},
             Case{good, std::string(63, 'x'), "has a malformed signature (file.json.sig)"},
             Case{tampered, test_signing::Sign(good),
                  "is not signed by the publisher (wrong signature)"},
             Case{unhashed, test_signing::Sign(unhashed),
                  "entry 0: \"a.bin\" has no \"SHA256\", which a signed manifest needs for "
                  "every file"},
             Case{wrongTotal, test_signing::Sign(wrongTotal),
                  "\"TotalSize\" 6 is not the sum of the entries' sizes (5)"},
         }) {
        platform::fake_net::Reset();
        std::filesystem::remove(std::string(app->workDirectory) + "file.json");
        platform::fake_net::Serve(std::string(kServerUrl) + "file.json", c.manifest);
        if (c.signature != "-") {
            platform::fake_net::Serve(std::string(kServerUrl) + "file.json.sig", c.signature);
        }
        Open();
        try {
            FetchManifest();
            ADD_FAILURE() << "the program went on: " << c.reason;
        } catch (const fake::ProcessExit& exit) {
            EXPECT_EQ(exit.code, 0);
        }
        ASSERT_FALSE(fake::MessageBoxes().empty());
        EXPECT_EQ(fake::MessageBoxes().back().text,
                  "cWinMain::LoadDownloadInfo :: file.json refused: " + c.reason);
        EXPECT_FALSE(std::filesystem::exists(std::string(app->workDirectory) + "file.json"))
            << c.reason;
        Close();
    }
}

// A server that announces more than any manifest has is refused before a byte is stored.
TEST_F(Panel, ManifestBeyondItsLimitIsRefusedBeforeItIsWritten) {
    platform::fake_net::Answer huge;
    huge.contentLength = std::to_string(int64_t{1} << 40);
    huge.honourRange = false;
    platform::fake_net::Serve(std::string(kServerUrl) + "file.json", "{}", {huge});
    Open();
    EXPECT_THROW(FetchManifest(), fake::ProcessExit);
    ASSERT_FALSE(fake::MessageBoxes().empty());
    EXPECT_NE(fake::MessageBoxes().front().text.find("more than the 67108864"), std::string::npos)
        << fake::MessageBoxes().front().text;
    EXPECT_FALSE(std::filesystem::exists(std::string(app->workDirectory) + "file.json.part"));
    EXPECT_FALSE(std::filesystem::exists(std::string(app->workDirectory) + "file.json"));
}

// The fetch runs beside the window: ticks come back at once while the server is silent, and a
// manifest that has not arrived in time is given up with the manifest warning.
TEST_F(Panel, SilentManifestServerIsGivenUpAfterTheTimeLimit) {
    platform::fake_net::Answer silent;
    silent.blockAt = 0;
    platform::fake_net::Serve(std::string(kServerUrl) + "file.json", "{}", {silent});
    Open();
    window->infoPanel.manifestTimeLimitMs = 5000;
    fake::SetTickCount(1000);
    Tick();
    Tick();
    EXPECT_TRUE(fake::MessageBoxes().empty());
    fake::SetTickCount(7000);
    EXPECT_THROW(Tick(), fake::ProcessExit);
    EXPECT_EQ(fake::MessageBoxes().back().text,
              "cWinMain::LoadDownloadInfo :: network error, try again...\nfile.json did not "
              "arrive in time");
}

TEST_F(Panel, FiguresOfARunningDownload) {
    Open();
    Running(int64_t{1} << 32, int64_t{1} << 30, int64_t{100} << 20, 100000);
    Tick();
    EXPECT_EQ(Value(cWinDownloadInfo::kReceived), u"1.000 GBytes");
    EXPECT_EQ(Value(cWinDownloadInfo::kElapsed), u"00:01:40");
    EXPECT_EQ(Value(cWinDownloadInfo::kRemaining), u"00:51:12");
    EXPECT_EQ(std::u16string(window->progressBar.speedText), u"1.000 MiB/Sec");
    EXPECT_EQ(window->progressBar.progress, 2500);
    // A tick while a manager runs never fetches.
    EXPECT_TRUE(platform::fake_net::Requests().empty());
}

TEST_F(Panel, AfterALimitIsChosenTheSpeedIsMeasuredFromTheChoiceOnceASecondHasPassed) {
    Open();
    const int64_t mib = int64_t{1} << 20;
    cMgrDownloader& manager = Running(int64_t{1} << 32, int64_t{1} << 30, 100 * mib, 100000);
    window->infoPanel.MeasureSpeedFromNow();
    const struct {
        uint32_t sinceChoiceMs;
        int64_t sinceChoiceBytes;
        const char16_t* speed;
    } ticks[] = {
        {500, mib / 10, u"1.001 MiB/Sec"},  // the run's average until a second has passed
        {2000, 2 * mib / 5, u"0.200 MiB/Sec"},
        {4000, 2 * mib, u"0.500 MiB/Sec"},
    };
    for (const auto& tick : ticks) {
        fake::SetTickCount(1000000 + tick.sinceChoiceMs);
        manager.sessionReceived = 100 * mib + tick.sinceChoiceBytes;
        Tick();
        EXPECT_EQ(std::u16string(window->progressBar.speedText), tick.speed) << tick.sinceChoiceMs;
    }
    // A later run measures from its own start.
    Running(int64_t{1} << 32, int64_t{1} << 30, 50 * mib, 50000);
    fake::SetTickCount(1000000 + 4000);
    Tick();
    EXPECT_EQ(std::u16string(window->progressBar.speedText), u"0.926 MiB/Sec");  // 50 MiB in 54 s
}

TEST_F(Panel, WaitForTheServerShowsInPlaceOfTheRemainingTime) {
    Open();
    Running(int64_t{1} << 32, int64_t{1} << 30, int64_t{100} << 20, 100000).waitingForServer = 1;
    Tick();
    EXPECT_EQ(Value(cWinDownloadInfo::kRemaining), DOWNLOADER_CODE_PAGE == 949
                                                       ? u"\uC11C\uBC84 \uB300\uAE30 \uC911"
                                                       : u"\u30B5\u30FC\u30D0\u30FC\u5F85\u3061");
    EXPECT_EQ(Value(cWinDownloadInfo::kReceived), u"1.000 GBytes");
}

TEST_F(Panel, FirstSecondHasNoSpeedAndNoRemainingTime) {
    Open();
    Running(int64_t{1} << 32, int64_t{1} << 30, int64_t{100} << 20, 999);
    Tick();
    EXPECT_EQ(Value(cWinDownloadInfo::kRemaining), u"00:00:00");
    EXPECT_EQ(Value(cWinDownloadInfo::kElapsed), u"00:00:00");
    EXPECT_EQ(window->progressBar.speed, 0.0f);
}

TEST_F(Panel, FinishedRunGetsOneLastUpdateAndTheTimerStops) {
    Open();
    cMgrDownloader& manager = Running(1000, 1000, 1000, 5000);
    manager.finished = 1;
    fake::ClearRecords();
    Tick();
    EXPECT_EQ(fake::CallsOn(window->infoPanel.hwnd), std::vector<std::string>{"StopTimer 1"});
    EXPECT_EQ(window->progressBar.progress, 10000);
    EXPECT_EQ(Value(cWinDownloadInfo::kElapsed), u"00:00:05");
}

// Completion shows the final figures at once, not at the next tick a third of a second later.
TEST_F(Panel, CompletionShowsTheFinalReceivedSize) {
    Open();
    cMgrDownloader& manager = Running(int64_t{2} << 30, int64_t{1} << 30, int64_t{1} << 30, 5000);
    Tick();
    EXPECT_EQ(Value(cWinDownloadInfo::kReceived), u"1.000 GBytes");
    manager.received = int64_t{2} << 30;
    manager.finished = 1;
    cMgrDownloader::CompletionHook()();
    EXPECT_EQ(Value(cWinDownloadInfo::kReceived), u"2.000 GBytes");
    EXPECT_EQ(window->progressBar.progress, 10000);
}

}  // namespace
}  // namespace windowtest
