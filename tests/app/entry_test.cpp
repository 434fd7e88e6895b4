// The entry routine and the main loop: every way the process ends, with its box and code.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>

#include "app/runApplication.h"
#include "app_fixture.h"
#include "downloader/mainWindow.h"
#include "platform/system.h"

namespace fake = platform::fake;
using apptest::AppTest;
using apptest::MinimalDocument;

namespace {

const char* kExitQuestion = "\x92\x86\x8e\x7e\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81\x48";

struct Ended {
    int code;
    bool tornDown;
};

// Runs the entry routine where the process ends by EndProcess, then frees what the ended
// process would have left to the system.
Ended RunUntilProcessExit() {
    try {
        RunApplication();
    } catch (const fake::ProcessExit& exit) {
        Ended ended{exit.code, theApp == nullptr};
        if (theApp != nullptr) {
            DeleteMainWindow(theApp->mainWindow);
            delete static_cast<cApp*>(theApp);
        }
        return ended;
    }
    ADD_FAILURE() << "the process did not end by EndProcess";
    return {999, true};
}

void CloseMainWindowOnLoop() {
    fake::OnMessageLoop([] { fake::RequestClose(fake::MainWindows().front()); });
}

}  // namespace

class Entry : public AppTest {};

TEST_F(Entry, SecondCopyWarnsWithoutOwnerAndEndsWithZero) {
    fake::SetOtherInstanceRunning(true);
    EXPECT_EQ(RunApplication(), 0);
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].text, "The downloader is already running.");
    EXPECT_EQ(boxes[0].caption, "kestra-downloader...");
    EXPECT_EQ(boxes[0].style, platform::kMbIconWarning);
    EXPECT_EQ(fake::InstanceLocks(), std::vector<std::string>{"kestra-downloader..."});
    EXPECT_TRUE(fake::MainWindows().empty());
    EXPECT_FALSE(apptest::IsFolder(WorkDirectory()));
    EXPECT_EQ(theApp, nullptr);
}

TEST_F(Entry, MissingDocumentWarnsAndTearsDownWithZero) {
    EXPECT_EQ(RunApplication(), 0);
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "cApp::OnExecute :: file(ux.json) loading error (-22)");
    EXPECT_EQ(boxes[0].caption, "kestra-downloader...");
    EXPECT_EQ(boxes[0].style, platform::kMbIconWarning);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_TRUE(fake::MainWindows().empty());
    EXPECT_EQ(theApp, nullptr);
}

TEST_F(Entry, MissingServerUrlStopsWithZeroBeforeAnyWindow) {
    Ship("{ \"version\" : \"1\", \"window-title\" : \"t\" }");
    Ended ended = RunUntilProcessExit();
    EXPECT_EQ(ended.code, 0);
    EXPECT_FALSE(ended.tornDown);
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "cApp::LoadServerURL :: server-url error(-42)");
    EXPECT_EQ(boxes[0].caption, "kestra-downloader...");
    EXPECT_EQ(boxes[0].style, platform::kMbIconWarning);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_TRUE(fake::MainWindows().empty());
}

TEST_F(Entry, MissingVersionStopsWithZeroBeforeAnyWindow) {
    Ship(
        "{ \"server-url\" : \"http://127.0.0.1:9/\",\n"
        "\"message-box\" : { \"title\" : \"configured\" } }");
    Ended ended = RunUntilProcessExit();
    EXPECT_EQ(ended.code, 0);
    EXPECT_FALSE(ended.tornDown);
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "cApp::CheckVersion :: version check error(-41)");
    // The message texts are read after the version check: the default caption still holds.
    EXPECT_EQ(boxes[0].caption, "kestra-downloader...");
    EXPECT_TRUE(fake::MainWindows().empty());
}

TEST_F(Entry, DocumentNotReadWholeStopsWithItsNumber) {
    Ship(MinimalDocument());
    fake::SetResourceStatedSize(105, MinimalDocument().size() + 1);
    Ended ended = RunUntilProcessExit();
    EXPECT_EQ(ended.code, -34);
    EXPECT_FALSE(ended.tornDown);
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "json error -34");
    EXPECT_EQ(boxes[0].caption, "kestra-downloader...");
    EXPECT_EQ(boxes[0].style, platform::kMbIconWarning);
    EXPECT_TRUE(fake::MainWindows().empty());
}

TEST_F(Entry, DocumentThatIsNoObjectStopsAsWithoutServerUrl) {
    Ship("not a document");
    EXPECT_EQ(RunUntilProcessExit().code, 0);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "cApp::LoadServerURL :: server-url error(-42)");
}

TEST_F(Entry, QuitCodeOfTheLoopIsTheExitCode) {
    // A main window whose controls cannot be read posts -1 and the loop ends at once.
    Ship(MinimalDocument());
    fake::OnMessageLoop([] { platform::PostQuit(-1); });
    EXPECT_EQ(RunApplication(), -1);
    EXPECT_EQ(theApp, nullptr);
}

TEST_F(Entry, NativeWindowNotCreatedEndsWithZeroSilently) {
    Ship(MinimalDocument());
    fake::FailMainWindowCreation(true);
    EXPECT_EQ(RunApplication(), 0);
    EXPECT_TRUE(fake::MessageBoxes().empty());
    EXPECT_EQ(theApp, nullptr);
}

TEST_F(Entry, ConfirmedCloseEndsWithOneAfterTheDefaultQuestion) {
    Ship(MinimalDocument());
    CloseMainWindowOnLoop();
    EXPECT_EQ(RunApplication(), 1);
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kExitQuestion);
    EXPECT_EQ(boxes[0].caption, "kestra-downloader...");
    EXPECT_EQ(boxes[0].style, platform::kMbOkCancel | platform::kMbIconQuestion);
    platform::WindowHandle window = fake::MainWindows().front();
    EXPECT_EQ(boxes[0].owner, window);
    EXPECT_TRUE(fake::StateOf(window).destroyed);
    EXPECT_EQ(theApp, nullptr);
}

TEST_F(Entry, CancelledCloseKeepsRunning) {
    Ship(MinimalDocument());
    fake::ScriptAnswers({platform::kIdCancel, platform::kIdOk});
    fake::OnMessageLoop([] {
        platform::WindowHandle window = fake::MainWindows().front();
        fake::RequestClose(window);
        EXPECT_FALSE(fake::StateOf(window).destroyed);
        fake::RequestClose(window);
    });
    EXPECT_EQ(RunApplication(), 1);
    EXPECT_EQ(fake::MessageBoxes().size(), 2u);
}

TEST_F(Entry, WindowIsShownTitledAndMovedBeforeTheLoop) {
    Ship(MinimalDocument());
    fake::SetResource(102, fake::MakeBmp(640, 380, 0x203040));
    fake::SetScreenSize(1920, 1080);
    fake::OnMessageLoop([] {
        platform::WindowHandle window = fake::MainWindows().front();
        fake::WindowState state = fake::StateOf(window);
        EXPECT_TRUE(state.shown);
        EXPECT_EQ(state.title, "DezirodOR Downloader");
        // Centred on the screen, a tenth of the free height lower.
        EXPECT_EQ(state.x, 640);
        EXPECT_EQ(state.y, 385);
        EXPECT_EQ(state.width, 640);
        EXPECT_EQ(state.height, 380);
        EXPECT_EQ(theApp->MainWindowHandle(), window);
        EXPECT_STREQ(theApp->serverUrl, "http://127.0.0.1:9/");
        platform::PostQuit(1);
    });
    EXPECT_EQ(RunApplication(), 1);
}

TEST_F(Entry, DocumentWithoutWindowTitleStillRunsTheLoop) {
    Ship("{ \"version\" : \"1\", \"server-url\" : \"http://127.0.0.1:9/\" }");
    bool looped = false;
    fake::OnMessageLoop([&] {
        looped = true;
        EXPECT_EQ(fake::StateOf(fake::MainWindows().front()).title, "");
        platform::PostQuit(1);
    });
    EXPECT_EQ(RunApplication(), 1);
    EXPECT_TRUE(looped);
}

TEST_F(Entry, WorkDirectoryIsCreatedCurrentAndReused) {
    Ship(MinimalDocument());
    fake::OnMessageLoop([this] {
        EXPECT_STREQ(theApp->workDirectory, WorkDirectory().c_str());
        EXPECT_STREQ(theApp->moduleDirectory, platform::ModuleFolder().c_str());
        EXPECT_EQ(platform::CurrentFolder() + platform::kPathSeparator, WorkDirectory());
        EXPECT_EQ(theApp->resourceDirectory, theApp->workDirectory);
        platform::PostQuit(1);
    });
    EXPECT_EQ(RunApplication(), 1);
    EXPECT_TRUE(apptest::IsFolder(WorkDirectory()));
    EXPECT_EQ(RunApplication(), 1);
    EXPECT_TRUE(apptest::IsFolder(WorkDirectory()));
}

TEST_F(Entry, StateFolderTooLongForTheFieldFallsBackToTheStartFolder) {
    Ship(MinimalDocument());
    fake::SetStateFolder(fake::Native("/" + std::string(cApp::kPathSize - 11, 't') + "/"));
    std::string expected = fake::Root() + fake::Native("VuZediroze/");
    fake::OnMessageLoop([&] {
        EXPECT_EQ(std::string(theApp->workDirectory), expected);
        EXPECT_EQ(platform::CurrentFolder() + platform::kPathSeparator, expected);
        platform::PostQuit(1);
    });
    EXPECT_EQ(RunApplication(), 1);
    EXPECT_TRUE(apptest::IsFolder(expected));
}

#ifndef _WIN32
// POSIX modes and owners, simulated on real folders.
// Mode bits of `path` (not following a link).
static unsigned ModeOf(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

TEST_F(Entry, FreshWorkFolderAndTheStateFolderAboveItAreCreatedPrivate) {
    Ship(MinimalDocument());
    fake::OnMessageLoop([] { platform::PostQuit(1); });
    EXPECT_EQ(RunApplication(), 1);
    EXPECT_EQ(ModeOf(WorkDirectory()), 0700u);
    EXPECT_EQ(ModeOf(fake::Root() + "home/.local/state"), 0700u);
    EXPECT_EQ(ModeOf(fake::Root() + "home/.local"), 0700u);
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(Entry, OwnWorkFolderThatOthersMayEnterIsMadePrivate) {
    Ship(MinimalDocument());
    std::filesystem::create_directories(WorkDirectory());
    chmod(WorkDirectory().c_str(), 0777);
    fake::OnMessageLoop([] { platform::PostQuit(1); });
    EXPECT_EQ(RunApplication(), 1);
    EXPECT_EQ(ModeOf(WorkDirectory()), 0700u);
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

// A work folder that someone else could have prepared is never used: the start folder's
// takes its place, and a warning names the refused folder, why, and the one used.
TEST_F(Entry, UntrustedWorkFolderIsRefusedForTheStartFolder) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> prepare;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"another user's folder",
         [](const std::string& folder) {
             std::filesystem::create_directories(folder);
             chmod(folder.c_str(), 0777);
             ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0) << "needs root to simulate";
         },
         "belongs to another user"},
        {"a link to a folder",
         [](const std::string& folder) {
             std::filesystem::create_directories(fake::Root() + "elsewhere");
             std::filesystem::create_directories(std::filesystem::path(folder).parent_path());
             std::filesystem::create_directory_symlink(fake::Root() + "elsewhere", folder);
         },
         "is a link"},
        {"a dangling link",
         [](const std::string& folder) {
             std::filesystem::create_directories(std::filesystem::path(folder).parent_path());
             std::filesystem::create_directory_symlink(fake::Root() + "planted", folder);
         },
         "is a link"},
        {"a file",
         [](const std::string& folder) {
             std::filesystem::create_directories(std::filesystem::path(folder).parent_path());
             apptest::WriteFile(folder, "x");
         },
         "is not a folder"},
        {"a folder above that others may write",
         [](const std::string& folder) {
             std::filesystem::create_directories(folder);
             chmod((fake::Root() + "home/.local").c_str(), 0777);
         },
         "lies where others can change it: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::Reset();
        Ship(MinimalDocument());
        const std::string refused = WorkDirectory();
        // Without the final separator: the link or file stands at the folder's own name.
        c.prepare(refused.substr(0, refused.size() - 1));
        const std::string used = fake::Root() + "VuZediroze/";
        fake::OnMessageLoop([&] {
            EXPECT_EQ(std::string(theApp->workDirectory), used);
            platform::PostQuit(1);
        });
        EXPECT_EQ(RunApplication(), 1);
        EXPECT_EQ(ModeOf(used), 0700u);
        EXPECT_FALSE(std::filesystem::exists(fake::Root() + "planted"));
        const std::string elsewhere = fake::Root() + "elsewhere";
        EXPECT_TRUE(!std::filesystem::exists(elsewhere) || std::filesystem::is_empty(elsewhere));
        const auto boxes = fake::MessageBoxes();
        ASSERT_FALSE(boxes.empty());
        const std::string above = std::string(c.reason).ends_with(": ")
                                      ? fake::Root() + "home/.local can be changed by other users"
                                      : "";
        EXPECT_EQ(boxes[0].text, "WinMain :: work folder refused (-23): " + refused + " " +
                                     c.reason + above + "; using " + used);
        EXPECT_EQ(boxes[0].style, platform::kMbIconWarning);
        EXPECT_EQ(boxes[0].caption, "kestra-downloader...");
    }
}

// Above a sticky folder (such as /tmp) others may add folders but not replace the user's.
TEST_F(Entry, WorkFolderBelowAStickyFolderIsUsed) {
    Ship(MinimalDocument());
    std::filesystem::create_directories(WorkDirectory());
    chmod((fake::Root() + "home/.local").c_str(), 01777);
    const std::string expected = WorkDirectory();
    fake::OnMessageLoop([expected] {
        EXPECT_EQ(std::string(theApp->workDirectory), expected);
        platform::PostQuit(1);
    });
    EXPECT_EQ(RunApplication(), 1);
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(Entry, NoUsableWorkFolderWarnsAndEndsBeforeAnyWindow) {
    Ship(MinimalDocument());
    // The state folder and the start folder are the same, and foreign.
    fake::SetStateFolder(fake::Root());
    const std::string refused = fake::Root() + "VuZediroze/";
    std::filesystem::create_directories(refused);
    ASSERT_EQ(chown(refused.c_str(), 65534, 65534), 0) << "needs root to simulate";
    EXPECT_EQ(RunApplication(), 0);
    EXPECT_TRUE(fake::MainWindows().empty());
    const auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "WinMain :: work folder refused (-23): " + refused +
                                 " belongs to another user; " + refused +
                                 " belongs to another user; VuZediroze/ belongs to another user");
    EXPECT_EQ(theApp, nullptr);
}
#endif

TEST_F(Entry, MainWindowFieldIsClearedWhenTheLoopEnds) {
    Ship(MinimalDocument());
    cApp app;
    Prepare(app);
    fake::OnMessageLoop([&] {
        EXPECT_NE(app.mainWindow, nullptr);
        platform::PostQuit(1);
    });
    EXPECT_EQ(app.OnExecute(), 1);
    EXPECT_EQ(app.mainWindow, nullptr);
    EXPECT_EQ(app.MainWindowHandle(), nullptr);
}

class MessageTexts : public AppTest {
protected:
    // Runs start-up with `section` as the document's "message-box" members; closes at once.
    void Start(const std::string& section) {
        Prepare(app);
        Ship(MinimalDocument(section.empty() ? "" : ",\n\"message-box\" : { " + section + " }"));
        fake::OnMessageLoop([] { platform::PostQuit(1); });
        ASSERT_EQ(app.OnExecute(), 1);
    }
    cApp app;
};

TEST_F(MessageTexts, DefaultsAtCreation) {
    EXPECT_STREQ(app.messageBoxTitle, "kestra-downloader...");
    EXPECT_STREQ(app.exitQuestion, kExitQuestion);
    EXPECT_STREQ(app.networkErrorText, "network error, try again.");
    EXPECT_EQ(app.mainWindow, nullptr);
    EXPECT_EQ(app.downloadManager, nullptr);
    EXPECT_EQ(app.serverUrl, nullptr);
    EXPECT_EQ(app.resourceDirectory, nullptr);
    EXPECT_STREQ(app.downloadDirectory, "");
    EXPECT_STREQ(app.workDirectory, "");
    EXPECT_EQ(theApp, &app);
}

TEST_F(MessageTexts, NoSectionKeepsAllDefaults) {
    Start("");
    EXPECT_STREQ(app.messageBoxTitle, "kestra-downloader...");
    EXPECT_STREQ(app.exitQuestion, kExitQuestion);
    EXPECT_STREQ(app.networkErrorText, "network error, try again.");
}

TEST_F(MessageTexts, OnlyTitleKeepsTheOtherDefaults) {
    Start("\"title\" : \"My Title\"");
    EXPECT_STREQ(app.messageBoxTitle, "My Title");
    EXPECT_STREQ(app.exitQuestion, kExitQuestion);
    EXPECT_STREQ(app.networkErrorText, "network error, try again.");
}

TEST_F(MessageTexts, AllThreeAreRead) {
    Start("\"title\" : \"T\", \"exit\" : \"Quit?\", \"error\" : \"Net down\"");
    EXPECT_STREQ(app.messageBoxTitle, "T");
    EXPECT_STREQ(app.exitQuestion, "Quit?");
    EXPECT_STREQ(app.networkErrorText, "Net down");
}

TEST_F(MessageTexts, LaterBoxesUseTheConfiguredTitle) {
    Start("\"title\" : \"T\"");
    app.ShowMessage("later", platform::kMbIconWarning);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].caption, "T");
    EXPECT_EQ(fake::MessageBoxes()[0].owner, nullptr);  // the loop has ended: no main window
}

TEST_F(MessageTexts, OverlongTitleIsCutAtTheFieldSize) {
    Start("\"title\" : \"" + std::string(300, 'x') + "\"");
    EXPECT_EQ(std::string(app.messageBoxTitle), std::string(127, 'x'));
}

TEST_F(MessageTexts, ShowMessageIsOwnedByTheMainWindowWhileItExists) {
    Prepare(app);
    Ship(MinimalDocument());
    fake::OnMessageLoop([this] {
        EXPECT_EQ(app.ShowMessage("x", platform::kMbIconWarning), platform::kIdOk);
        platform::PostQuit(1);
    });
    ASSERT_EQ(app.OnExecute(), 1);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].owner, fake::MainWindows().front());
    EXPECT_EQ(fake::MessageBoxes()[0].style, platform::kMbIconWarning);
}
