// The headless engine (the benchmark's driver, a process of its own) killed with SIGKILL at
// random moments while files arrive slowly from the loopback test server, started again each
// time with the same folders, and finally let run to its end: every file must then be the
// served one byte for byte, and nothing else may be left in the download folder.
// A failure prints the seed; CRASH_TEST_SEED=<seed> repeats the same kill times.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "download/segmentPlan.h"
#include "platform/files.h"
#include "tests/download/engine_fixture.h"
#include "tests/support/http_test_server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using engine_test::Pattern;
using engine_test::ReadFile;
using engine_test::SameBytes;
using engine_test::WriteFile;
using test_support::Behaviour;
using test_support::HttpTestServer;

constexpr int kKills = 20;
// Each answer's pace while the kills land: four connections carry about 1 MiB/s, so the 20
// runs (at most 0.8 s each) cannot finish the package and every kill finds files half there,
// the later ones large files in segments.
constexpr int64_t kThrottle = 256 * 1024;

class Driver {
public:
    // Starts the driver on `serverUrl` with the download and work folders; its temporary
    // folders go under `temp`, so that a killed run leaves nothing outside the test's folder.
    Driver(const std::string& serverUrl, const std::string& download, const std::string& work,
           const std::string& temp) {
        std::vector<std::string> env{"TMPDIR=" + temp};
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::string(*entry).rfind("TMPDIR=", 0) != 0) {
                env.emplace_back(*entry);
            }
        }
        std::vector<std::string> args{BENCH_DRIVER, serverUrl, download, work};
        const std::vector<char*> argv = Pointers(args);
        const std::vector<char*> envp = Pointers(env);
        if (posix_spawn(&pid_, BENCH_DRIVER, nullptr, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = -1;
        }
    }

    bool Started() const { return pid_ > 0; }

    // True while the process runs; once it ended, its wait status is in `status`.
    bool Running(int* status) { return waitpid(pid_, status, WNOHANG) == 0; }

    // SIGKILL, and the wait status.
    int Kill() {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        return status;
    }

private:
    static std::vector<char*> Pointers(std::vector<std::string>& strings) {
        std::vector<char*> pointers;
        for (std::string& s : strings) {
            pointers.push_back(s.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    }

    pid_t pid_ = -1;
};

class CrashResumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* given = std::getenv("CRASH_TEST_SEED");
        seed = given != nullptr ? std::strtoull(given, nullptr, 10) : std::random_device{}();
        root = fs::temp_directory_path() / ("dl-crash-" + std::to_string(getpid()));
        fs::remove_all(root);
        for (const char* sub : {"source", "download", "work", "tmp"}) {
            fs::create_directories(root / sub);
        }
        server.ServeFolder((root / "source").string());
    }

    void TearDown() override {
        server.Stop();
        fs::remove_all(root);
    }

    // Large files of odd sizes (their ends fall inside the server's and the engine's blocks),
    // first in list order, then a few small ones: once these are done no file waits, and the
    // free connection may take part of a large file (the later kills land in its segments).
    void MakePackage() {
        std::mt19937_64 sizes(seed);
        // Large enough to be shared between connections.
        for (int i = 0; i < 2; ++i) {
            AddSource("large" + std::to_string(i) + ".bin",
                      2 * SegmentPlan::kMinSegment + sizes() % (2 * 1024 * 1024));
        }
        for (int i = 0; i < 8; ++i) {
            AddSource("small" + std::to_string(i) + ".bin", 1 + sizes() % (96 * 1024));
        }
        const std::string manifest = (root / "file.json").string();
        const std::string command = std::string(MAKE_MANIFEST) + " --url " + server.Url("/") +
                                    " --output " + manifest + " " + (root / "source").string() +
                                    " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        test_signing::SignFile(manifest);
        server.AddFile("/file.json", ReadFile(manifest));
        server.AddFile("/file.json.sig", ReadFile(manifest + ".sig"));
    }

    void AddSource(const std::string& name, size_t size) {
        sources[name] = Pattern(size, static_cast<unsigned>(seed) + sources.size());
        WriteFile((root / "source" / name).string(), sources[name]);
    }

    void Throttle(int64_t bytesPerSecond) {
        Behaviour paced;
        paced.bytesPerSecond = bytesPerSecond;
        for (const auto& [name, bytes] : sources) {
            server.SetBehaviour("/" + name, paced);
        }
    }

    Driver Start() {
        return Driver(server.Url("/"), (root / "download").string() + "/", (root / "work").string(),
                      (root / "tmp").string());
    }

    // Whether a file is shared between connections: its record of segments is in the work folder.
    // A kill while a record is rewritten may leave its temporary copy ("...txt.tmp-XXXXXX"):
    // not a record.
    bool InSegments() {
        for (const fs::directory_entry& entry : fs::directory_iterator(root / "work")) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("segments-", 0) == 0 && name.size() > 4 &&
                name.compare(name.size() - 4, 4, ".txt") == 0) {
                return true;
            }
        }
        return false;
    }

    // Files of the package present in the download folder but not yet whole.
    int FilesBegun() {
        int begun = 0;
        for (const auto& [name, bytes] : sources) {
            const fs::path path = root / "download" / name;
            begun += fs::exists(path) && ReadFile(path.string()) != bytes ? 1 : 0;
        }
        return begun;
    }

    uint64_t seed = 0;
    fs::path root;
    HttpTestServer server;
    std::map<std::string, std::string> sources;
};

TEST_F(CrashResumeTest, KilledAtRandomMomentsResumesToIdenticalFiles) {
    SCOPED_TRACE("CRASH_TEST_SEED=" + std::to_string(seed));
    ASSERT_NO_FATAL_FAILURE(MakePackage());
    Throttle(kThrottle);
    std::mt19937_64 moments(seed);
    std::uniform_int_distribution<int> afterMs(100, 800);
    int midFile = 0;
    int inSegments = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        Driver driver = Start();
        ASSERT_TRUE(driver.Started()) << BENCH_DRIVER;
        std::this_thread::sleep_for(std::chrono::milliseconds(afterMs(moments)));
        int status = 0;
        ASSERT_TRUE(driver.Running(&status))
            << "run " << kill << " ended before its kill, wait status " << status;
        status = driver.Kill();
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "run " << kill;
        midFile += FilesBegun() > 0 ? 1 : 0;
        inSegments += InSegments() ? 1 : 0;
    }
    // Most kills must have cut a file short, and many a file in segments, or the test proves
    // nothing about resuming them.
    EXPECT_GE(midFile, kKills / 2);
    EXPECT_GE(inSegments, kKills / 4);

    Throttle(0);
    Driver last = Start();
    ASSERT_TRUE(last.Started());
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (last.Running(&status)) {
        if (std::chrono::steady_clock::now() > deadline) {
            last.Kill();
            FAIL() << "the resumed run did not end within 30 s";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(WIFEXITED(status)) << "wait status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::set<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "download")) {
        left.insert(entry.path().filename().string());
    }
    for (const auto& [name, bytes] : sources) {
        EXPECT_TRUE(SameBytes(ReadFile((root / "download" / name).string()), bytes)) << name;
        left.erase(name);
    }
    EXPECT_TRUE(left.empty()) << "left in the download folder: " << *left.begin();
    EXPECT_FALSE(InSegments());
    // Copies of records that a kill cut short went when the records were next loaded.
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "work")) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find(platform::kCopyMark), std::string::npos) << name;
    }
}

}  // namespace
