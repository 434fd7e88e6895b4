// Mirrors over the build's real HTTP client: two loopback servers with the same files, one of
// which stops in the middle of a run or serves a wrong copy. The files must end byte-identical
// to the publisher's, with no warning.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "download/segmentPlan.h"
#include "engine_fixture.h"
#include "tests/support/http_test_server.h"

namespace engine_test {
namespace {

using test_support::Behaviour;
using test_support::HttpTestServer;

class MirrorHttpTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        UseManifestKey(BuiltInManifestKey());
        source = platform::fake::Root() + "source/";
        std::filesystem::create_directories(source);
        first = std::make_unique<HttpTestServer>();
        mirror = std::make_unique<HttpTestServer>();
        mirror->ServeFolder(source);
    }

    void TearDown() override {
        EngineTest::TearDown();
        first.reset();
        mirror.reset();
    }

    void AddSource(const std::string& name, std::string bytes) {
        WriteFile(source + name, bytes);
        sources[name] = std::move(bytes);
    }

    // The publisher's signed manifest of `source`, with the first server's address as "URL"
    // and the mirror's under "Mirrors".
    void Publish() {
        const std::string command = std::string(MAKE_MANIFEST) + " --url " + first->Url("/") +
                                    " --mirror " + mirror->Url("/") + " --output " + work +
                                    "file.json " + source;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        test_signing::SignFile(work + "file.json");
    }

    void ExpectEveryFileDownloaded(cMgrDownloader* manager) {
        for (const auto& [name, bytes] : sources) {
            EXPECT_TRUE(SameBytes(ReadFile(download + name), bytes)) << name;
        }
        EXPECT_EQ(manager->finished, 1);
        EXPECT_TRUE(BoxTexts().empty());
        EXPECT_FALSE(platform::fake::ExitCode());
    }

    // Log lines that name a switch from the first server, for `reason`.
    size_t Switches(const std::string& reason) const {
        const std::vector<std::string> lines = LogLines();
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](auto& line) {
            return line.find(first->Url("/")) != std::string::npos &&
                   line.find(reason) != std::string::npos &&
                   line.find(", going on at " + mirror->Url("/")) != std::string::npos;
        }));
    }

    std::string source;
    std::unique_ptr<HttpTestServer> first;
    std::unique_ptr<HttpTestServer> mirror;
    std::map<std::string, std::string> sources;
};

// The first server stops while a large file is fetched in segments and small ones wait: every
// transfer goes on at the mirror from its bytes on disk, and the run completes.
TEST_F(MirrorHttpTest, ServerStoppedMidRunIsTakenOverByTheMirror) {
    const size_t large = 2 * SegmentPlan::kMinSegment;
    AddSource("big.bin", Pattern(large, 41));
    for (int i = 0; i < 6; ++i) {
        AddSource("small" + std::to_string(i) + ".bin", Pattern(200000, 42 + i));
    }
    first->ServeFolder(source);
    Behaviour slow;
    slow.bytesPerSecond = 2000000;
    first->SetBehaviour("/big.bin", slow);
    Publish();
    GiveAppAWindow();
    cHttp::Limits limits;
    limits.firstWaitMs = 50;
    // A stopped server may leave its open connection silent instead of closed.
    limits.network.stallMs = 3000;
    cMgrDownloader* manager = StartManager(limits);
    ASSERT_TRUE(WaitFor([&] { return manager->received > 4000000; }));
    first->Stop();
    ASSERT_TRUE(WaitForRunEnd(manager));

    ExpectEveryFileDownloaded(manager);
    EXPECT_EQ(manager->received, static_cast<int64_t>(large + 6 * 200000));
    EXPECT_EQ(manager->waitingForServer, 0);
    EXPECT_GE(Switches("cannot be reached"), 1u);
    // Bytes of the large file came from both, and the mirror went on where the first stopped.
    bool resumed = false;
    for (const auto& request : mirror->Requests()) {
        resumed |=
            request.path == "/big.bin" && !request.range.empty() && request.range != "bytes=0-";
    }
    EXPECT_TRUE(resumed);
}

// The first server's copies are wrong (other bytes of the right size, or another size): the
// mirror's are taken, whole, and the run completes without a warning.
TEST_F(MirrorHttpTest, WrongCopiesAreRefusedAndTheHonestServerServesThem) {
    AddSource("same-size.bin", Pattern(700000, 51));
    AddSource("other-size.bin", Pattern(300000, 52));
    AddSource("good.bin", Pattern(100000, 53));
    Publish();
    const std::string wrong = platform::fake::Root() + "wrong/";
    std::string changed = sources["same-size.bin"];
    changed[400000] = static_cast<char>(~changed[400000]);
    WriteFile(wrong + "same-size.bin", changed);
    WriteFile(wrong + "other-size.bin", sources["other-size.bin"] + "tail");
    WriteFile(wrong + "good.bin", sources["good.bin"]);
    first->ServeFolder(wrong);
    GiveAppAWindow();
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));

    ExpectEveryFileDownloaded(manager);
    EXPECT_EQ(manager->received, 700000 + 300000 + 100000);
    EXPECT_EQ(Switches("sent bytes that do not match the file's hash"), 1u);
    EXPECT_EQ(Switches("the file list gives 300000 bytes, the server's answer 300004 bytes"), 1u);
    // Each from the start at the mirror; the good one never went there.
    std::multiset<std::string> asked;
    for (const auto& request : mirror->Requests()) {
        asked.insert(request.path + " " + request.range);
    }
    EXPECT_EQ(asked,
              (std::multiset<std::string>{"/same-size.bin bytes=0-", "/other-size.bin bytes=0-"}));
}

}  // namespace
}  // namespace engine_test
