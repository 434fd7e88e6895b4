// The room check at Start, a disk that fills during a run, and the check of files found on disk
// as the panel follows it and a Pause ends it.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "engine_fixture.h"
#include "platform/fake_net/fake_net.h"
#include "platform/sha256.h"

namespace engine_test {
namespace {

namespace fake_net = platform::fake_net;
constexpr const char* kBase = "http://files.test/set/";
constexpr int64_t kGiB = int64_t{1} << 30;

// A file of `size` bytes of which only the last is written: the file system may leave the rest
// a hole. (resize_file writes every zero on Windows, and gigabytes fill a test machine's disk.)
void WriteSparseFile(const std::string& path, int64_t size) {
    std::ofstream out(path, std::ios::binary);
    out.seekp(size - 1);
    out.put('\0');
    ASSERT_TRUE(out.good()) << path;
}

class RoomTest : public EngineTest {
protected:
    void TearDown() override {
        EngineTest::TearDown();
        cMgrDownloader::IncompleteHook() = nullptr;
        cHttp::CheckReadHook() = nullptr;
    }
    // Serves and lists "f<i>.bin" with `bodies`.
    void Serve(const std::vector<std::string>& bodies) {
        std::vector<std::pair<std::string, size_t>> listed;
        for (size_t i = 0; i < bodies.size(); ++i) {
            listed.emplace_back("f" + std::to_string(i) + ".bin", bodies[i].size());
            fake_net::Serve(kBase + listed.back().first, bodies[i]);
        }
        WriteManifest(ManifestText(kBase, listed));
    }
    int incomplete = 0;
#ifndef _WIN32
    int FillTheDiskThenFreeIt(const std::vector<std::string>& bodies);
#endif
};

TEST_F(RoomTest, StartRefusesWhatDoesNotFitWithOneBoxGivingBothSizes) {
    struct Case {
        const char* name;
        int64_t onDisk[2];  // -1: no file
        int64_t free;       // -1: unknown
        const char* refusal;
    };
    const int64_t listed = 3 * kGiB / 2;
    const Case cases[] = {
        {"all fits", {-1, -1}, 3 * kGiB, nullptr},
        {"bytes on disk are not needed again", {kGiB, -1}, 2 * kGiB, nullptr},
        {"unknown free space starts", {-1, -1}, -1, nullptr},
        {"a byte short",
         {kGiB, -1},
         2 * kGiB - 1,
         "needs 2.000 GBytes more; the download folder "
         "has 2.000 GBytes free."},
        {"a longer file needs nothing, gives nothing",
         {3 * kGiB, -1},
         kGiB,
         "needs 1.500 GBytes more; the download folder has 1.000 GBytes free."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case in fresh folders, with no box or request of the one before.
        fake_net::Reset();
        EngineTest::TearDown();
        EngineTest::SetUp();
        WriteManifest(ManifestText(kBase, {{"f0.bin", listed}, {"f1.bin", listed}}));
        for (int i = 0; i < 2; ++i) {
            if (c.onDisk[i] >= 0) {
                WriteSparseFile(download + "f" + std::to_string(i) + ".bin", c.onDisk[i]);
            }
        }
        platform::fake::SetFreeDiskSpace(c.free);
        GiveAppAWindow();
        incomplete = 0;
        cMgrDownloader::IncompleteHook() = [this] { ++incomplete; };
        cMgrDownloader* manager = StartManager();
        ASSERT_TRUE(WaitFor([&] { return !fake_net::Requests().empty() || !manager->running; }));
        const int64_t totalSize = manager->totalSize;
        StopAll();
        if (c.refusal == nullptr) {
            EXPECT_FALSE(fake_net::Requests().empty());
            continue;
        }
        EXPECT_TRUE(fake_net::Requests().empty());
        EXPECT_EQ(incomplete, 1);
        EXPECT_EQ(totalSize, 0);  // the panel keeps its figures
        ASSERT_EQ(BoxTexts().size(), 1u);
        EXPECT_EQ(BoxTexts()[0], std::string("cMgrDownloader::DoDownloadFile :: not enough free "
                                             "space (-45)\nThe download ") +
                                     c.refusal);
    }
}

#ifndef _WIN32
// In a private user and mount namespace, a small file system of its own as the download folder:
// the disk fills for real. 0: as expected, 77: no namespaces here, else the failed step.
int RoomTest::FillTheDiskThenFreeIt(const std::vector<std::string>& bodies) {
    const std::string ids[] = {"deny",
                               std::to_string(getuid()) + " " + std::to_string(getuid()) + " 1",
                               std::to_string(getgid()) + " " + std::to_string(getgid()) + " 1"};
    const char* files[] = {"/proc/self/setgroups", "/proc/self/uid_map", "/proc/self/gid_map"};
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        std::perror("unshare");
        return 77;
    }
    for (int i = 0; i < 3; ++i) {
        const int fd = open(files[i], O_WRONLY);
        const bool written = fd >= 0 && write(fd, ids[i].data(), ids[i].size()) > 0;
        close(fd);
        if (!written) {
            return 77;
        }
    }
    if (mount("room", download.c_str(), "tmpfs", 0, "size=12m,mode=700") != 0) {
        std::perror("mount");
        return 77;
    }
    cMgrDownloader::IncompleteHook() = [&] { ++incomplete; };
    cMgrDownloader* manager = StartManager();
    if (!WaitForRunEnd(manager) || incomplete != 1) {
        return 1;
    }
    const auto boxes = BoxTexts();
    if (boxes.size() != 1 ||
        boxes[0].find("cMgrDownloader::OnExecute :: disk full (-44)\n\"" + download + "f") != 0 ||
        boxes[0].find("the disk is full") == std::string::npos) {
        std::fprintf(stderr, "boxes: %zu, first: %s\n", boxes.size(),
                     boxes.empty() ? "" : boxes[0].c_str());
        return 2;
    }
    if (mount(nullptr, download.c_str(), nullptr, MS_REMOUNT, "size=64m,mode=700") != 0) {
        return 3;
    }
    manager = StartManager();
    if (!WaitForRunEnd(manager) || manager->finished != 1 || BoxTexts().size() != 1) {
        return 4;
    }
    for (size_t i = 0; i < bodies.size(); ++i) {
        if (!SameBytes(ReadFile(download + "f" + std::to_string(i) + ".bin"), bodies[i])) {
            std::fprintf(stderr, "f%zu differs\n", i);
            return 5;
        }
    }
    return 0;
}

TEST_F(RoomTest, AFullDiskStopsEveryTransferWithOneBoxAndAStartResumesToTheSameBytes) {
    // A file large enough to be fetched in segments, and two that are not.
    const std::vector<std::string> bodies = {Pattern(20 << 20, 1), Pattern(3 << 20, 2),
                                             Pattern(3 << 20, 3)};
    Serve(bodies);
    GiveAppAWindow();
    const pid_t child = fork();
    if (child == 0) {
        _exit(FillTheDiskThenFreeIt(bodies));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "no user and mount namespace could be entered here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST_F(RoomTest, FilesOnDiskMoveThePanelAsTheyAreCheckedAndAPauseEndsTheCheck) {
    const std::string body = Pattern(32 << 20, 7);
    platform::Sha256 digest;
    digest.Update(body.data(), body.size());
    fake_net::Serve(std::string(kBase) + "f0.bin", body);
    WriteManifest(
        "{\n\"Version\": \"1\",\n\"TotalCount\": 1,\n\"TotalSize\": " +
        std::to_string(body.size()) + ",\n\"URL\": \"" + kBase +
        "\",\n\"FileList\": [\n{\"Name\": \"f0.bin\", \"Size\": " + std::to_string(body.size()) +
        ", \"SHA256\": \"" + digest.FinishHex() + "\"}\n]\n}\n");
    WriteFile(download + "f0.bin", body);
    std::atomic<int> pieces{0};
    cHttp::CheckReadHook() = [&] {
        ++pieces;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitFor([&] { return pieces > 0; }));
    EXPECT_EQ(manager->checking, 1);
    EXPECT_EQ(manager->checksBegun, 1);
    // Counted once read back: the panel's figure lies between none and all of it.
    const int64_t shown = manager->received - manager->uncheckedBytes;
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, static_cast<int64_t>(body.size()));
    manager->Stop();
    EXPECT_LT(pieces, 32);
    EXPECT_EQ(manager->checking, 0);
    EXPECT_EQ(manager->uncheckedBytes, 0);
    EXPECT_TRUE(BoxTexts().empty());

    cHttp::CheckReadHook() = nullptr;
    manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, static_cast<int64_t>(body.size()));
}

}  // namespace
}  // namespace engine_test
