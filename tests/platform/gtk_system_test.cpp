// The Linux backend's system services that need no display.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/gtk/gtk.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "platform/window.h"

namespace {

std::string UniqueName() {
    return "dl-test-lock-" + std::to_string(getpid());
}

// Makes the test thread the UI thread, without a display (boxes go to standard error), once
// per process.
void BecomeTheUiThread() {
    static const bool once = [] {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        platform::gtk::Init(nullptr, nullptr);
        return true;
    }();
    (void)once;
}

// The lock file the backend keeps for `name`, removed when the test is done with it.
void RemoveLockFile(const std::string& name) {
    std::filesystem::remove(std::string(g_get_user_runtime_dir()) + "/" + name + ".lock");
}

}  // namespace

TEST(GtkSystem, SecondLockInTheSameNameIsRefused) {
    std::string name = UniqueName();
    EXPECT_TRUE(platform::AcquireSingleInstance(name.c_str()));
    EXPECT_FALSE(platform::AcquireSingleInstance(name.c_str()));
    EXPECT_TRUE(platform::AcquireSingleInstance((name + "-other").c_str()));
    RemoveLockFile(name);
    RemoveLockFile(name + "-other");
}

TEST(GtkSystem, LockOfAProcessThatDiedIsFree) {
    std::string name = UniqueName() + "-child";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool held = platform::AcquireSingleInstance(name.c_str());
        _exit(held ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(platform::AcquireSingleInstance(name.c_str()));
    RemoveLockFile(name);
}

TEST(GtkSystem, StateFolderFollowsAnAbsoluteXdgStateHomeElseHome) {
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string kept = saved != nullptr ? saved : "";
    const std::string home = g_get_home_dir();
    struct Case {
        const char* value;  // null: unset
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{{"/srv/state", "/srv/state/"},
                                           {"/srv/state/", "/srv/state/"},
                                           {"relative/state", home + "/.local/state/"},
                                           {"", home + "/.local/state/"},
                                           {nullptr, home + "/.local/state/"}}) {
        if (c.value != nullptr) {
            setenv("XDG_STATE_HOME", c.value, 1);
        } else {
            unsetenv("XDG_STATE_HOME");
        }
        EXPECT_EQ(platform::UserStateFolder(), c.expected) << (c.value ? c.value : "unset");
    }
    if (saved != nullptr) {
        setenv("XDG_STATE_HOME", kept.c_str(), 1);
    } else {
        unsetenv("XDG_STATE_HOME");
    }
}

TEST(GtkSystem, FoldersEndInTheSeparator) {
    std::string module = platform::ModuleFolder();
    ASSERT_FALSE(module.empty());
    EXPECT_EQ(module, std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/");
}

TEST(GtkSystem, HomeIsExpandedOnlyAtTheStart) {
    std::string home = g_get_home_dir();
    EXPECT_EQ(platform::ExpandUserPath("~/download/dezirodor/"), home + "/download/dezirodor/");
    EXPECT_EQ(platform::ExpandUserPath("/srv/~/x"), "/srv/~/x");
    EXPECT_EQ(platform::ExpandUserPath("~user/x"), "~user/x");
}

TEST(GtkSystem, FolderCreationAndCurrentFolder) {
    std::filesystem::path base = std::filesystem::temp_directory_path() / UniqueName();
    std::filesystem::remove_all(base);
    EXPECT_TRUE(platform::CreateFolder(base.c_str()));
    EXPECT_FALSE(platform::CreateFolder(base.c_str()));
    std::string before = platform::CurrentFolder();
    EXPECT_TRUE(platform::SetCurrentFolder(base.c_str()));
    EXPECT_EQ(platform::CurrentFolder(), base.string());
    EXPECT_FALSE(platform::SetCurrentFolder((base / "missing").c_str()));
    platform::SetCurrentFolder(before.c_str());
    std::filesystem::remove_all(base);
}

// Free space is that of the volume that holds the folder, or would hold it once made.
TEST(GtkSystem, FreeSpaceOfAFolderOrOfTheFolderAboveWhereItWouldBeMade) {
    std::filesystem::path base = std::filesystem::temp_directory_path() / UniqueName();
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base / "folder");
    std::ofstream(base / "file") << "x";
    struct Case {
        std::string path;
        std::string measured;  // the folder whose volume answers; empty: none (-1)
    };
    std::vector<Case> cases{
        {(base / "folder").string(), base.string()},
        {(base / "folder/").string(), base.string()},
        {(base / "new").string(), base.string()},
        {(base / "new/deeper/still/").string(), base.string()},
        {"/no/such/folder", "/"},
        {(base / "file").string(), ""},
        {(base / "file/below").string(), ""},
        {"", ""},
        {"no-such-relative-folder/below", ""},
    };
    // The in-memory volume has a figure of its own, unlike the temporary folder's.
    if (std::filesystem::is_directory("/dev/shm")) {
        cases.push_back({"/dev/shm/dl-no-such-folder/below", "/dev/shm"});
    }
    for (const Case& c : cases) {
        int64_t free = platform::FreeDiskSpace(c.path.c_str());
        if (c.measured.empty()) {
            EXPECT_EQ(free, -1) << c.path;
            continue;
        }
        struct statvfs volume {};
        ASSERT_EQ(statvfs(c.measured.c_str(), &volume), 0) << c.measured;
        // The volume's figure moves while others write to it: the same volume, not the byte.
        EXPECT_GT(free, 0) << c.path;
        EXPECT_NEAR(static_cast<double>(free),
                    static_cast<double>(volume.f_bavail) * static_cast<double>(volume.f_frsize),
                    64.0 * 1024 * 1024)
            << c.path;
    }
    std::filesystem::remove_all(base);
}

TEST(GtkSystem, TickCountAdvancesWithSleep) {
    uint32_t start = platform::TickCount();
    platform::SleepMs(30);
    uint32_t elapsed = platform::TickCount() - start;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(GtkSystem, BuiltInDocumentIsTheBuiltFile) {
    std::ifstream file(UX_DOCUMENT_105, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    ASSERT_FALSE(bytes.str().empty());
    EXPECT_EQ(platform::LoadBuiltInResource(105), bytes.str());
    EXPECT_TRUE(platform::LoadBuiltInResource(103).has_value());
    EXPECT_TRUE(platform::LoadBuiltInResource(104).has_value());
    EXPECT_FALSE(platform::LoadBuiltInResource(106).has_value());
}

TEST(GtkSystem, WithoutADisplayBoxesGoToStandardErrorAndNoWindowIsMade) {
    BecomeTheUiThread();
    testing::internal::CaptureStderr();
    EXPECT_EQ(
        platform::ShowMessageBox(nullptr, "\x8e\x63\x82\xe8", "cap", platform::kMbIconWarning),
        platform::kIdOk);
    EXPECT_EQ(platform::ShowMessageBox(nullptr, "q", "cap",
                                       platform::kMbOkCancel | platform::kMbIconQuestion),
              platform::kIdCancel);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "cap: 残り\ncap: q\n");
    platform::RegisterWindowClass("no-display", platform::DefaultWindowProcedure, 0);
    EXPECT_EQ(platform::CreateNativeWindow("no-display", "w", platform::kWsPopup, 0, 0, 10, 10,
                                           nullptr, nullptr),
              nullptr);
    platform::UnregisterWindowClass("no-display");
}

// While the UI thread waits outside the running main loop, the main context is free: a worker's
// call must still wait for the UI thread to run it, never run on the worker itself.
TEST(GtkSystem, WorkerCallsRunOnTheUiThreadWhileItWaitsOutsideTheLoop) {
    BecomeTheUiThread();
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> returned{false};
        std::thread::id ranOn;
        std::thread worker([&] {
            platform::InvokeOnUiThread([&] { ranOn = std::this_thread::get_id(); });
            returned = true;
        });
        platform::WaitOnUiThread([&] { return returned.load(); });
        worker.join();
        EXPECT_EQ(ranOn, std::this_thread::get_id()) << "round " << round;
    }
}
