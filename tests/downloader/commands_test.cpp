// The five commands: the phases of the buttons, launching, the folder picker's rules, and no
// command inside another.
#include <cstring>
#include <filesystem>
#include <string>

#include "download/cMgrDownloader.h"
#include "platform/sha256.h"
#include "platform/system.h"
#include "window_fixture.h"

namespace windowtest {
namespace {

using State = cButton::State;
constexpr State kOn = cButton::eNormal;
constexpr State kOff = cButton::eDisable;

class Commands : public WindowTest {
protected:
    // A one-file package: "setup.exe" of a few bytes, with its manifest, on the server.
    void ShipPackage() {
        const std::string body = "installer";
        platform::fake_net::Serve("http://127.0.0.1:9/files/setup.exe", body);
        platform::Sha256 sha256;
        sha256.Update(body.data(), body.size());
        ServeSigned(
            "{ \"TotalCount\" : 1, \"TotalSize\" : 9, \"URL\" : \"http://127.0.0.1:9/files/\", "
            "\"FileList\" : [ { \"Name\" : \"setup.exe\", \"Size\" : 9, \"SHA256\" : \"" +
            sha256.FinishHex() + "\" } ] }");
    }
    void Click(cButton& button) {
        platform::SendWindowMessage(button.hwnd, platform::kWmLButtonDown, platform::kMkLButton,
                                    platform::PackPoint(5, 5));
        platform::SendWindowMessage(button.hwnd, platform::kWmLButtonUp, 0,
                                    platform::PackPoint(5, 5));
    }
    // Launch, Start, Pause, Cancel, Folder, as the phase table lists them.
    std::vector<State> Phase() {
        std::vector<State> states;
        for (cButton* button : {static_cast<cButton*>(&window->launchButton),
                                static_cast<cButton*>(&window->startButton),
                                static_cast<cButton*>(&window->pauseButton),
                                static_cast<cButton*>(&window->cancelButton),
                                static_cast<cButton*>(&window->folderButton)}) {
            // An enabled button under the mouse shows "over": still enabled.
            State s = button->GetState();
            states.push_back(s == cButton::eDisable ? kOff : kOn);
        }
        return states;
    }
    void WaitForCompletion() {
        platform::WaitOnUiThread(
            [&] { return app->downloadManager != nullptr && app->downloadManager->finished != 0; });
    }
};

TEST_F(Commands, ButtonsFollowThePhasesOfADownload) {
    ShipPackage();
    Open();
    FetchManifest();
    EXPECT_EQ(Phase(), (std::vector<State>{kOff, kOn, kOff, kOn, kOn}));  // ready

    window->progressBar.SetProgress(1234);
    Click(window->startButton);
    ASSERT_NE(app->downloadManager, nullptr);
    EXPECT_EQ(Phase(), (std::vector<State>{kOff, kOff, kOn, kOn, kOff}));  // downloading
    EXPECT_EQ(window->progressBar.progress, 0);

    Click(window->pauseButton);
    EXPECT_EQ(app->downloadManager, nullptr);
    EXPECT_EQ(Phase(), (std::vector<State>{kOff, kOn, kOff, kOn, kOn}));  // paused

    Click(window->startButton);
    WaitForCompletion();
    EXPECT_EQ(Phase(), (std::vector<State>{kOn, kOff, kOff, kOn, kOff}));  // completed
    EXPECT_EQ(window->progressBar.progress, 10000);
    EXPECT_STREQ(app->launchFileName, "setup.exe");
    // After completion only Launch and Cancel respond.
    Click(window->startButton);
    Click(window->folderButton);
    EXPECT_TRUE(fake::FolderPicks().empty());
    EXPECT_EQ(Phase(), (std::vector<State>{kOn, kOff, kOff, kOn, kOff}));
}

// A click on Start before the panel's first tick: the manifest is fetched first, once.
TEST_F(Commands, StartBeforeTheFirstTickFetchesTheManifestFirst) {
    ShipPackage();
    Open();
    FetchManifest();
    Click(window->startButton);
    FetchManifest();
    WaitForCompletion();
    Tick();
    EXPECT_TRUE(fake::MessageBoxes().empty());
    EXPECT_STREQ(app->launchFileName, "setup.exe");
    int manifestFetches = 0;
    for (const auto& request : platform::fake_net::Requests()) {
        manifestFetches += request.url == std::string(kServerUrl) + "file.json" ? 1 : 0;
    }
    EXPECT_EQ(manifestFetches, 1);
}

TEST_F(Commands, CancelAsksAndOnlyOkCloses) {
    ShipPackage();
    Open();
    FetchManifest();
    Click(window->startButton);
    fake::ScriptAnswers({platform::kIdCancel, platform::kIdOk});
    Click(window->cancelButton);
    EXPECT_NE(app->downloadManager, nullptr);
    EXPECT_FALSE(fake::StateOf(handle).destroyed);
    Click(window->cancelButton);
    EXPECT_EQ(app->downloadManager, nullptr);
    EXPECT_TRUE(fake::StateOf(handle).destroyed);
    EXPECT_EQ(platform::RunMessageLoop(), 1);
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].style, platform::kMbOkCancel | platform::kMbIconQuestion);
    EXPECT_EQ(boxes[0].text, app->exitQuestion);
    EXPECT_EQ(boxes[0].owner, handle);
}

TEST_F(Commands, EscapeAndCloseRequestAskTheSameQuestion) {
    Open();
    fake::ScriptAnswers({platform::kIdCancel, platform::kIdCancel});
    platform::SendWindowMessage(handle, platform::kWmKeyDown, platform::kVkEscape, 0);
    platform::SendWindowMessage(handle, platform::kWmClose, 0, 0);
    EXPECT_EQ(fake::MessageBoxes().size(), 2u);
    EXPECT_FALSE(fake::StateOf(handle).destroyed);
}

TEST_F(Commands, NoCommandRunsInsideAnotherOnesWait) {
    ShipPackage();
    Open();
    FetchManifest();
    Click(window->startButton);
    // While the exit question is open the user presses Escape, asks to close the window and
    // clicks Pause: none of them runs inside the question.
    int boxesOpen = 0;
    fake::WhileBoxIsOpen([&] {
        ++boxesOpen;
        platform::SendWindowMessage(handle, platform::kWmKeyDown, platform::kVkEscape, 0);
        platform::SendWindowMessage(handle, platform::kWmClose, 0, 0);
        Click(window->pauseButton);
    });
    fake::ScriptAnswers({platform::kIdOk});
    Click(window->cancelButton);
    EXPECT_EQ(boxesOpen, 1);
    EXPECT_TRUE(fake::StateOf(handle).destroyed);
    EXPECT_EQ(platform::RunMessageLoop(), 1);
}

TEST_F(Commands, LaunchStartsTheRecordedInstallerAndCloses) {
    struct Case {
        const char* name;
        bool started;
        std::string box;
    };
    for (const Case& c : {Case{"setup.exe", true, ""},
                          Case{"game/bin/setup.exe", false,
                               "cBtnLaunch::OnExecute :: can't start the installer."}}) {
        Open();
        std::strcpy(app->launchFileName, c.name);
        fake::SetLaunchResult(c.started);
        window->launchButton.SetState(kOn);
        Click(window->launchButton);
        EXPECT_EQ(fake::LaunchedPaths().back(), c.name);
        EXPECT_TRUE(fake::StateOf(handle).destroyed);
        EXPECT_EQ(platform::RunMessageLoop(), 1);
        auto boxes = fake::MessageBoxes();
        EXPECT_EQ(boxes.empty() ? "" : boxes.back().text, c.box);
        Close();
        document.Release();
    }
}

TEST_F(Commands, LaunchWithoutAnExecutableWarnsAndExitsWithOne) {
    Open();
    window->launchButton.SetState(kOn);
    try {
        Click(window->launchButton);
        FAIL() << "the program went on";
    } catch (const fake::ProcessExit& exit) {
        EXPECT_EQ(exit.code, 1);
    }
    EXPECT_EQ(fake::MessageBoxes().back().text,
              "cBtnLaunch::OnExecute :: can't find an executable module.");
    EXPECT_TRUE(fake::LaunchedPaths().empty());
}

TEST_F(Commands, FolderPickerRefusesRootsAndFullDisksAndRemembersTheChoice) {
    Open();
    window->manifestTotalSize = int64_t{3} << 30;
    std::string chosen = fake::Root() + "home/games";
    struct Case {
        std::vector<std::string> selections;
        int64_t free;
        bool confirmed;
    };
    for (const Case& c :
         {Case{{"/"}, int64_t{100} << 30, false}, Case{{""}, int64_t{100} << 30, false},
          Case{{chosen}, (int64_t{5} << 30) / 2, false}, Case{{chosen}, int64_t{3} << 30, false},
          Case{{chosen}, -1, false}, Case{{"/", chosen}, (int64_t{3} << 30) + 1, true}}) {
        fake::SetFreeDiskSpace(c.free);
        fake::ScriptFolderPicker(c.selections, true);
        std::string before = app->downloadDirectory;
        Click(window->folderButton);
        fake::FolderPick pick = fake::FolderPicks().back();
        EXPECT_EQ(pick.owner, window->folderButton.hwnd);
        EXPECT_EQ(pick.startFolder, before);
        EXPECT_EQ(pick.result.has_value(), c.confirmed) << c.free;
        EXPECT_EQ(std::string(app->downloadDirectory), c.confirmed ? chosen : before);
    }
    std::string status =
        platform::CodePageToUtf8(fake::FolderPicks()[2].selections[1].status.c_str(),
                                 fake::FolderPicks()[2].selections[1].status.size());
    EXPECT_EQ(status, "3.000GB 以上の空き領域が必要です。\n空き領域 : 2.500GB");
    // The choice is remembered for the next start.
    EXPECT_EQ(uitest::ReadFileText(std::string(app->workDirectory) + "/version.txt"),
              "201808301023\n" + chosen);
    EXPECT_TRUE(std::filesystem::is_directory(chosen));
}

TEST_F(Commands, CancelledPickerChangesNothing) {
    Open();
    std::string before = app->downloadDirectory;
    fake::ScriptFolderPicker({fake::Root() + "home/elsewhere"}, false);
    Click(window->folderButton);
    EXPECT_EQ(std::string(app->downloadDirectory), before);
}

}  // namespace
}  // namespace windowtest
