// The five commands: the phases of the buttons, launching, the folder picker's rules, and no
// command inside another.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "download/cMgrDownloader.h"
#include "platform/sha256.h"
#include "platform/system.h"
#include "window_fixture.h"

namespace windowtest {
namespace {

using State = cButton::State;
#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif
constexpr State kOn = cButton::eNormal;
constexpr State kOff = cButton::eDisable;

class Commands : public WindowTest {
protected:
    static void WriteFile(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
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

// A file that fails ends the run without completion: one warning, the figures of what arrived,
// Start and Folder back, Launch off; Start again fetches the missing file and completes.
TEST_F(Commands, AFailedFileEndsTheRunIncompleteAndStartRetriesIt) {
    ShipPackage();
    platform::fake_net::Answer missing;
    missing.status = 404;
    platform::fake_net::Serve("http://127.0.0.1:9/files/setup.exe", "gone", {missing});
    Open();
    FetchManifest();
    Click(window->startButton);
    platform::WaitOnUiThread([&] { return app->downloadManager->running == 0; });
    EXPECT_EQ(Phase(), (std::vector<State>{kOff, kOn, kOff, kOn, kOn}));
    EXPECT_EQ(app->downloadManager->finished, 0);
    EXPECT_STREQ(app->launchFileName, "");
    EXPECT_EQ(fake::MessageBoxes().back().text,
              "cMgrDownloader::OnExecute :: download incomplete (-39)\n1 of 1 files failed: "
              "\"setup.exe\"");
    EXPECT_TRUE(fake::Flashed().empty());

    ShipPackage();
    Click(window->startButton);
    WaitForCompletion();
    EXPECT_EQ(Phase(), (std::vector<State>{kOn, kOff, kOff, kOn, kOff}));
    EXPECT_STREQ(app->launchFileName, "setup.exe");
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

// The installer is checked again right before its start: started only when it is the file
// that matched, and nobody else can change it or a folder above it.
TEST_F(Commands, LaunchStartsOnlyTheCheckedInstaller) {
    const std::string refused = "cBtnLaunch::OnExecute :: installer refused (-43): ";
    struct Case {
        const char* name;
        const char* content;  // written into the download folder
        bool hashKnown;
        std::function<void(const std::string& folder)> tamper;
        bool systemStarts;
        std::string box;  // the last box; empty: none
        bool closes;
    };
    auto sha256 = [](const std::string& bytes) {
        platform::Sha256 digest;
        digest.Update(bytes.data(), bytes.size());
        return digest.FinishHex();
    };
    using std::filesystem::perms;
    const Case cases[] = {
        {"setup.exe", "installer", true, nullptr, true, "", true},
        {"game/bin/setup.exe", "installer", true, nullptr, false,
         "cBtnLaunch::OnExecute :: can't start the installer.", true},
        {"setup.exe", "installer", false, nullptr, true,
         refused + "setup.exe has no hash in file.json", false},
        {"setup.exe", "tampered", true, nullptr, true,
         refused + "setup.exe does not match its hash in file.json", false},
        {"setup.exe", "installer", true,
         [](const std::string& folder) {
             std::filesystem::permissions(folder + "setup.exe", perms::others_write,
                                          std::filesystem::perm_options::add);
         },
         true, refused + "setup.exe can be changed by other users", false},
        {"bin/setup.exe", "installer", true,
         [](const std::string& folder) {
             std::filesystem::rename(folder + "bin", folder + "real");
             std::filesystem::create_directory_symlink(folder + "real", folder + "bin");
         },
         true, refused + "bin is a link", false},
        {"setup.exe", "installer", true,
         [](const std::string& folder) { std::filesystem::permissions(folder, perms::all); }, true,
         "can be changed by other users", false},
    };
    for (const Case& c : cases) {
        if (kWindows && c.tamper) {
            continue;  // links and others' access need rights and access lists there
        }
        Open();
        const std::string folder = app->downloadDirectory;
        const std::string file = folder + c.name;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        WriteFile(file, c.content);
        if (c.tamper) {
            c.tamper(folder);
        }
        std::strcpy(app->launchFileName, c.name);
        std::strcpy(app->launchFileSha256, c.hashKnown ? sha256("installer").c_str() : "");
        fake::SetLaunchResult(c.systemStarts);
        const size_t launchesBefore = fake::LaunchedPaths().size();
        window->launchButton.SetState(kOn);
        Click(window->launchButton);
        EXPECT_EQ(fake::LaunchedPaths().size(), launchesBefore + (c.closes ? 1 : 0)) << c.box;
        if (c.closes) {
            EXPECT_EQ(fake::LaunchedPaths().back(), c.name);
            // A refused elevation starts nothing, on every system.
            EXPECT_EQ(fake::LaunchRefusalRules().back(),
                      platform::WhenElevationRefused::kStartNothing);
        }
        EXPECT_EQ(fake::StateOf(handle).destroyed, c.closes) << c.box;
        auto boxes = fake::MessageBoxes();
        const std::string box = boxes.empty() ? "" : boxes.back().text;
        EXPECT_NE(box.find(c.box), std::string::npos) << box;
        EXPECT_EQ(box.empty(), c.box.empty()) << box;
        std::filesystem::permissions(folder, perms::owner_all | perms::group_read |
                                                 perms::group_exec | perms::others_read |
                                                 perms::others_exec);
        if (c.closes) {
            EXPECT_EQ(platform::RunMessageLoop(), 1);
        } else {
            // Nothing started: Start fetches again, Launch waits for a new completion.
            EXPECT_EQ(window->launchButton.GetState(), kOff);
            EXPECT_EQ(window->startButton.GetState(), kOn);
        }
        Close();
        document.Release();
        // The launch made the download folder current, which keeps it from being removed.
        std::filesystem::current_path(fake::Root());
        std::filesystem::remove_all(folder);
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

// A folder that other users could change is refused by the picker, with the reason as its
// status, and by Start, with a warning: another user could swap the files after their check.
#ifndef _WIN32  // others' access is an access list there; the platform tests read it
TEST_F(Commands, FoldersOthersCanChangeAreRefusedByThePickerAndByStart) {
    ShipPackage();
    Open();
    FetchManifest();
    fake::SetFreeDiskSpace(int64_t{100} << 30);
    const std::string shared = fake::Root() + "shared";
    const std::string foreign = fake::Root() + "foreign";
    std::filesystem::create_directories(shared + "/games");
    std::filesystem::create_directories(foreign);
    std::filesystem::permissions(shared, std::filesystem::perms::all);
    const bool asRoot = geteuid() == 0 && chown(foreign.c_str(), 65534, 65534) == 0;
    struct Case {
        std::string folder;
        std::string reason;
    };
    std::vector<Case> cases = {{shared, shared + " can be changed by other users"},
                               {shared + "/games", shared + " can be changed by other users"},
                               {shared + "/games/new", shared + " can be changed by other users"}};
    if (asRoot) {
        cases.push_back({foreign, foreign + " belongs to another user"});
    }
    const std::string before = app->downloadDirectory;
    for (const Case& c : cases) {
        fake::ScriptFolderPicker({c.folder}, true);
        Click(window->folderButton);
        const fake::FolderPick pick = fake::FolderPicks().back();
        EXPECT_FALSE(pick.result.has_value()) << c.folder;
        EXPECT_EQ(pick.selections.back().status, c.reason);
        EXPECT_EQ(std::string(app->downloadDirectory), before);
    }
    std::snprintf(app->downloadDirectory, sizeof app->downloadDirectory, "%s/games/",
                  shared.c_str());
    Click(window->startButton);
    EXPECT_EQ(app->downloadManager, nullptr);
    EXPECT_EQ(Phase(), (std::vector<State>{kOff, kOn, kOff, kOn, kOn}));  // still ready
    ASSERT_FALSE(fake::MessageBoxes().empty());
    EXPECT_EQ(fake::MessageBoxes().back().text,
              "cBtnStart::OnExecute :: download folder refused (-36): " + shared +
                  " can be changed by other users");
    EXPECT_TRUE(std::filesystem::is_empty(shared + "/games"));
}
#endif

TEST_F(Commands, CancelledPickerChangesNothing) {
    Open();
    std::string before = app->downloadDirectory;
    fake::ScriptFolderPicker({fake::Root() + "home/elsewhere"}, false);
    Click(window->folderButton);
    EXPECT_EQ(std::string(app->downloadDirectory), before);
}

}  // namespace
}  // namespace windowtest
