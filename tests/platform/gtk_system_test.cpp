// The Linux backend's system services that need no display.
#include <glib.h>
#include <gtest/gtest.h>
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
    EXPECT_GT(platform::FreeDiskSpace(before.c_str()), 0);
    EXPECT_EQ(platform::FreeDiskSpace("/no/such/folder"), -1);
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
