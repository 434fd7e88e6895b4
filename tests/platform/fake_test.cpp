// The fake backend itself: the threading and exit rules that the other tests rely on.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "platform/fake/fake.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "platform/trust.h"
#include "platform/ui.h"

namespace fake = platform::fake;

class FakeBackend : public testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override { fake::Shutdown(); }
};

TEST_F(FakeBackend, WorkerMessageBoxIsShownByTheUiThreadAndRecordsItsCaller) {
    fake::ScriptAnswers({platform::kIdCancel});
    std::atomic<int> answer = 0;
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        EXPECT_FALSE(platform::IsUiThread());
        answer = platform::ShowMessageBox(nullptr, "text", "caption", platform::kMbIconWarning);
    });
    platform::WaitOnUiThread([&] { return answer != 0; });
    worker.join();
    EXPECT_EQ(answer, platform::kIdCancel);
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "text");
    EXPECT_EQ(boxes[0].caption, "caption");
    EXPECT_EQ(boxes[0].style, platform::kMbIconWarning);
    EXPECT_EQ(boxes[0].thread, workerId);
    EXPECT_EQ(boxes[0].answer, platform::kIdCancel);
}

TEST_F(FakeBackend, UnscriptedBoxesAnswerOk) {
    EXPECT_EQ(platform::ShowMessageBox(nullptr, "a", "b", 0), platform::kIdOk);
}

TEST_F(FakeBackend, InvokeRunsOnTheUiThreadWhileItWaits) {
    std::thread::id ranOn;
    std::atomic<bool> finished = false;
    std::thread worker([&] {
        platform::InvokeOnUiThread([&] { ranOn = std::this_thread::get_id(); });
        finished = true;
    });
    platform::WaitOnUiThread([&] { return finished.load(); });
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(FakeBackend, SendMessageFromAWorkerReachesTheWindowOnTheUiThread) {
    static std::thread::id handledOn;
    platform::WindowHandle window =
        fake::NewWindow([](platform::WindowHandle, unsigned message, uintptr_t w, intptr_t) {
            handledOn = std::this_thread::get_id();
            return static_cast<intptr_t>(message + w);
        });
    std::atomic<intptr_t> result = 0;
    std::thread worker(
        [&] { result = platform::SendWindowMessage(window, platform::kWmTimer, 333, 0); });
    platform::WaitOnUiThread([&] { return result != 0; });
    worker.join();
    EXPECT_EQ(result, platform::kWmTimer + 333);
    EXPECT_EQ(handledOn, std::this_thread::get_id());
    auto sent = fake::SentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].wParam, 333u);
    EXPECT_NE(sent[0].thread, std::this_thread::get_id());
}

TEST_F(FakeBackend, ExitOnTheUiThreadThrowsWithTheCode) {
    try {
        platform::EndProcess(-34);
        FAIL() << "EndProcess returned";
    } catch (const fake::ProcessExit& exit) {
        EXPECT_EQ(exit.code, -34);
    }
    EXPECT_EQ(fake::ExitCode(), -34);
}

TEST_F(FakeBackend, ExitOnAWorkerEndsThatThreadAndTheUiThreadSeesIt) {
    std::atomic<bool> afterExit = false;
    std::thread worker([&] {
        platform::EndProcess(-4);
        afterExit = true;
    });
    worker.join();
    EXPECT_FALSE(afterExit);
    EXPECT_EQ(fake::ExitCode(), -4);
    EXPECT_THROW(platform::WaitOnUiThread([] { return false; }), fake::ProcessExit);
}

TEST_F(FakeBackend, ExitWhileServingAWorkerEndsTheWorkerToo) {
    std::atomic<bool> returned = false;
    std::thread worker([&] {
        platform::InvokeOnUiThread([] { platform::EndProcess(0); });
        returned = true;
    });
    EXPECT_THROW(platform::WaitOnUiThread([] { return false; }), fake::ProcessExit);
    worker.join();
    EXPECT_FALSE(returned);
}

TEST_F(FakeBackend, LoopReturnsTheQuitCodeAndCloseReachesTheWindow) {
    platform::WindowHandle window =
        fake::NewWindow([](platform::WindowHandle, unsigned message, uintptr_t, intptr_t) {
            if (message == platform::kWmClose) {
                platform::PostQuit(1);
            }
            return intptr_t{0};
        });
    fake::OnMessageLoop([&] { fake::RequestClose(window); });
    EXPECT_EQ(platform::RunMessageLoop(), 1);
}

TEST_F(FakeBackend, QuitPostedBeforeTheLoopEndsItAtOnce) {
    platform::PostQuit(-1);
    EXPECT_EQ(platform::RunMessageLoop(), -1);
}

TEST_F(FakeBackend, ALoopNobodyEndsFailsInsteadOfHanging) {
    fake::SetLoopTimeoutMs(20);
    EXPECT_THROW(platform::RunMessageLoop(), fake::LoopStalled);
}

TEST_F(FakeBackend, TickCountIsFrozenAndAdvancedByTheTest) {
    fake::SetTickCount(0xFFFFFFF0u);
    platform::SleepMs(2);
    EXPECT_EQ(platform::TickCount(), 0xFFFFFFF0u);
    fake::AdvanceTicks(0x20);
    EXPECT_EQ(platform::TickCount(), 0x10u);
}

TEST_F(FakeBackend, FoldersLiveUnderThePerTestFolder) {
    std::string root = fake::Root();
    EXPECT_EQ(platform::UserStateFolder(), root + fake::Native("home/.local/state/"));
    EXPECT_EQ(platform::ModuleFolder(), root + fake::Native("module/"));
    EXPECT_EQ(platform::ExpandUserPath("~/download/x/"), root + "home/download/x/");
    EXPECT_EQ(platform::ExpandUserPath("/abs/~/"), "/abs/~/");
    std::string folder = root + "made";
    EXPECT_TRUE(platform::CreateFolder(folder.c_str()));
    EXPECT_FALSE(platform::CreateFolder(folder.c_str()));
    EXPECT_TRUE(platform::SetCurrentFolder(folder.c_str()));
    EXPECT_EQ(platform::CurrentFolder() + "/", root + "made/");
    EXPECT_EQ(fake::CreatedFolders(), (std::vector<std::string>{folder, folder}));
}

// What fuzz targets switch off: folders are only recorded, sleeps end at once (a sleep that
// still happened would hold the test for an hour).
TEST_F(FakeBackend, FolderCreationAndSleepingCanBeSwitchedOff) {
    const std::string folder = "/dl-fake-never-made";
    fake::SetFolderCreation(false);
    EXPECT_TRUE(platform::CreateFolder(folder.c_str()));
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(fake::CreatedFolders(), std::vector<std::string>{folder});
    fake::SetSleeping(false);
    platform::SleepMs(3600 * 1000);
    fake::Reset();
    const std::string made = fake::Root() + "made";
    EXPECT_TRUE(platform::CreateFolder(made.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(made));
}

#ifndef _WIN32
// The POSIX folder checks both Linux backends share, on folders prepared here.
TEST_F(FakeBackend, WhatStandsAtAPathIsReportedWithoutFollowingLinks) {
    const std::string root = fake::Root();
    std::filesystem::create_directory(root + "open");
    chmod((root + "open").c_str(), 0755);
    std::filesystem::create_directory(root + "foreign");
    ASSERT_EQ(chown((root + "foreign").c_str(), 65534, 65534), 0) << "needs root to simulate";
    chmod((root + "foreign").c_str(), 0700);
    std::filesystem::create_directory_symlink(root + "open", root + "link");
    std::ofstream(root + "file") << "x";
    EXPECT_TRUE(platform::CreatePrivateFolder((root + "private").c_str()));
    EXPECT_FALSE(platform::CreatePrivateFolder((root + "private").c_str()));

    struct Case {
        const char* name;
        bool exists, isLink, isFolder, ownedByUser, othersMayEnter;
    };
    for (const Case& c : std::vector<Case>{{"private", true, false, true, true, false},
                                           {"private/", true, false, true, true, false},
                                           {"open", true, false, true, true, true},
                                           {"foreign", true, false, true, false, false},
                                           {"link", true, true, false, true, true},
                                           {"link/", true, true, false, true, true},
                                           {"file", true, false, false, true, true},
                                           {"missing", false, false, false, false, false}}) {
        const platform::FolderFacts facts = platform::InspectFolder((root + c.name).c_str());
        EXPECT_EQ(facts.exists, c.exists) << c.name;
        EXPECT_EQ(facts.isLink, c.isLink) << c.name;
        EXPECT_EQ(facts.isFolder, c.isFolder) << c.name;
        if (c.exists) {
            EXPECT_EQ(facts.ownedByUser, c.ownedByUser) << c.name;
            EXPECT_EQ(facts.othersMayEnter, c.othersMayEnter) << c.name;
        }
    }

    EXPECT_TRUE(platform::RestrictFolderToUser((root + "open/").c_str()));
    EXPECT_FALSE(platform::InspectFolder((root + "open").c_str()).othersMayEnter);
    chmod((root + "open").c_str(), 0755);
    EXPECT_FALSE(platform::RestrictFolderToUser((root + "link").c_str()));
    EXPECT_FALSE(platform::RestrictFolderToUser((root + "link/").c_str()));
    EXPECT_TRUE(platform::InspectFolder((root + "open").c_str()).othersMayEnter);
}
#endif

// The file calls the core makes, with a name whose second byte is 0x5C in code page 932
// ("表.bin": the core's path is that code page on Windows, UTF-8 elsewhere).
TEST_F(FakeBackend, FilesAreOpenedMovedMeasuredAndRemovedByTheCoresPaths) {
    const std::string root = fake::Root();
    const std::string table =
        root + (platform::kPathsInDocumentCodePage ? "\x95\x5C.bin" : "表.bin");
    const std::string other = root + "other.bin";
    std::filesystem::create_directory(root + "folder");
    EXPECT_EQ(platform::InspectFile((root + "folder").c_str()), std::nullopt);
    EXPECT_EQ(platform::InspectFile(table.c_str()), std::nullopt);
    EXPECT_EQ(platform::OpenFile(table.c_str(), "rb"), nullptr);
    EXPECT_FALSE(platform::RemoveFile(table.c_str()));
    EXPECT_FALSE(platform::MoveFileOver(other.c_str(), table.c_str()));

    std::FILE* file = platform::OpenFile(table.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fwrite("12345", 1, 5, file), 5u);
    EXPECT_EQ(std::fclose(file), 0);
    EXPECT_TRUE(
        std::filesystem::exists(std::filesystem::path(root) / std::filesystem::path(u8"表.bin")));
    const std::optional<platform::FileFacts> facts = platform::InspectFile(table.c_str());
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->size, 5);

    std::ofstream(other, std::ios::binary) << "xy";
    EXPECT_TRUE(platform::MoveFileOver(other.c_str(), table.c_str()));  // replaces it
    EXPECT_FALSE(std::filesystem::exists(other));
    EXPECT_EQ(platform::InspectFile(table.c_str())->size, 2);
    EXPECT_TRUE(platform::RemoveFile(table.c_str()));
    EXPECT_EQ(platform::InspectFile(table.c_str()), std::nullopt);
    EXPECT_EQ(platform::OpenFile(nullptr, "rb"), nullptr);
}

TEST_F(FakeBackend, CopiesThatACutShortReplacementLeftGoAndNothingElse) {
    const std::string root = fake::Root();
    const std::string record = root + "record.txt";
    const std::string copy = "record.txt" + std::string(platform::kCopyMark);
    const struct {
        std::string name;
        bool folder;
        bool kept;
    } entries[] = {
        {copy + "a1B2c3", false, false},  // as the replacement names its copies
        {copy + "4711-0", false, false},
        {"record.txt", false, true},
        {copy, false, true},  // no suffix: not a copy
        {"other.txt" + std::string(platform::kCopyMark) + "a1B2c3", false, true},
        {copy + "folder", true, true},
    };
    for (const auto& entry : entries) {
        if (entry.folder) {
            std::filesystem::create_directory(root + entry.name);
        } else {
            std::ofstream(root + entry.name) << "x";
        }
    }
#ifndef _WIN32
    // A link goes neither, nor what it leads to.
    ASSERT_EQ(symlink(record.c_str(), (root + copy + "link").c_str()), 0);
#endif
    platform::RemoveLeftoverCopies(record.c_str());
    for (const auto& entry : entries) {
        EXPECT_EQ(std::filesystem::exists(root + entry.name), entry.kept) << entry.name;
    }
#ifndef _WIN32
    EXPECT_TRUE(std::filesystem::is_symlink(root + copy + "link"));
#endif
    // A replacement leaves no copy of its own.
    const auto names = [&] {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            found.push_back(entry.path().filename().string());
        }
        return found;
    };
    const std::vector<std::string> before = names();
    EXPECT_TRUE(platform::ReplaceFileAtomically(record.c_str(), "new"));
    EXPECT_EQ(names().size(), before.size());
}

TEST_F(FakeBackend, AFullDiskIsToldApartFromOtherWriteFailures) {
    struct Case {
        const char* path;
        const char* mode;
        platform::WriteFailure failure;
    };
    const std::string readOnly = fake::Root() + "read-only.bin";
    std::ofstream(readOnly) << "x";
    std::vector<Case> cases = {{readOnly.c_str(), "rb", platform::WriteFailure::kOther}};
#ifndef _WIN32
    cases.push_back({"/dev/full", "wb", platform::WriteFailure::kDiskFull});
#endif
    for (const Case& c : cases) {
        std::FILE* file = std::fopen(c.path, c.mode);
        ASSERT_NE(file, nullptr) << c.path;
        std::setvbuf(file, nullptr, _IONBF, 0);
        EXPECT_NE(std::fwrite("12345", 1, 5, file), 5u) << c.path;
        EXPECT_EQ(platform::LastWriteFailure(), c.failure) << c.path;
        std::fclose(file);
    }
}

TEST_F(FakeBackend, ResourcesComeFromMemory) {
    EXPECT_FALSE(platform::LoadBuiltInResource(105).has_value());
    fake::SetResource(105, std::string("{\0}", 3));
    EXPECT_EQ(platform::LoadBuiltInResource(105), std::string("{\0}", 3));
}

TEST_F(FakeBackend, CodePageIsCp932) {
    // 0x8160 is the wave dash in CP932 (U+FF5E), unlike Shift_JIS.
    EXPECT_EQ(platform::CodePageToUtf16("\x81\x60", 2), u"\uFF5E");
    EXPECT_EQ(platform::CodePageToUtf8("\x8e\x63\x82\xe8\x8e\x9e\x8a\xd4", 8), "残り時間");
    // A lone lead byte at the end is dropped, not read past.
    EXPECT_EQ(platform::CodePageToUtf8("a\x82", 2), "a");
}

TEST_F(FakeBackend, SingleInstanceIsScripted) {
    EXPECT_TRUE(platform::AcquireSingleInstance("name"));
    fake::SetOtherInstanceRunning(true);
    EXPECT_FALSE(platform::AcquireSingleInstance("name"));
    EXPECT_EQ(fake::InstanceLocks().size(), 2u);
}

// The installer is started by name: a file put in its place after the check is never started.
// On POSIX systems the name no longer leads to the held file; on Windows the held file cannot
// be replaced at all.
TEST_F(FakeBackend, HeldFileReplacedAfterItsCheckIsNotStarted) {
    const std::string folder = fake::Root() + "downloads";
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/setup.exe") << "checked";
    std::ofstream(folder + "/other.exe") << "planted";
    platform::OpenedPath opened = platform::OpenFolderFromRoot(folder.c_str());
    ASSERT_TRUE(opened.item.IsOpen()) << opened.failure;
    platform::OpenedPath file = platform::OpenFileBelow(opened.item, "setup.exe");
    ASSERT_TRUE(file.item.IsOpen()) << file.failure;
    ASSERT_TRUE(platform::EnterHeldFolder(opened.item));
    constexpr auto kStartNothing = platform::WhenElevationRefused::kStartNothing;
    std::error_code failed;
    std::filesystem::rename(folder + "/other.exe", folder + "/setup.exe", failed);
#ifdef _WIN32
    EXPECT_TRUE(failed);
    EXPECT_EQ(platform::LaunchHeldFile(file.item, "setup.exe", kStartNothing),
              platform::HeldLaunch::kStarted);
#else
    ASSERT_FALSE(failed);
    EXPECT_EQ(platform::LaunchHeldFile(file.item, "setup.exe", kStartNothing),
              platform::HeldLaunch::kChanged);
    EXPECT_TRUE(fake::LaunchedPaths().empty());
#endif
    std::filesystem::current_path(fake::Root());
}
