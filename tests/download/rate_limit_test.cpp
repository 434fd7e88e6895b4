// The shared rate limit: its arithmetic on a clock of the test's own, and a run of the manager
// whose transfers keep to it together and are freed at once when it is lifted.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "download/rateLimit.h"
#include "engine_fixture.h"
#include "platform/fake_net/fake_net.h"

namespace engine_test {
namespace {

namespace fake_net = platform::fake_net;

constexpr int64_t kMiB = 1 << 20;

class ClockedLimit {
public:
    ClockedLimit() : limit([this] { return now; }) {}
    void Advance(int64_t ms) { now += ms * 1000; }
    int64_t now = 5000000;
    RateLimit limit;
};

TEST(RateLimitTest, WaitsFollowTheBytesTakenAndTheRateInForce) {
    struct Step {
        const char* what;
        int64_t setRate;  // -1: unchanged
        int64_t take;
        int64_t advanceMs;
        uint32_t delay;
        int64_t turnSize;  // of a 1 MiB buffer
    };
    ClockedLimit clocked;
    for (const Step& step : {
             Step{"no limit, no turns", -1, 100 * kMiB, 0, 0, 0},
             Step{"a limit starts with an empty bucket", kMiB, 0, 0, 0, kMiB / 20},
             Step{"a second's budget owed", -1, kMiB, 0, 1000, kMiB / 20},
             Step{"half of it earned back", -1, 0, 500, 500, kMiB / 20},
             Step{"all of it", -1, 0, 500, 0, kMiB / 20},
             Step{"a long pause fills the bucket to a tenth only", -1, 0, 60000, 0, kMiB / 20},
             Step{"the tenth is used", -1, kMiB / 10, 0, 0, kMiB / 20},
             Step{"one byte more is owed", -1, 1, 0, 1, kMiB / 20},
             Step{"a debt goes with a new rate", 2 * kMiB, 0, 0, 0, 2 * kMiB / 20},
             Step{"owed at the new rate", -1, kMiB, 0, 500, 2 * kMiB / 20},
             Step{"lifted: no wait at once", 0, 0, 0, 0, 0},
             Step{"a small limit takes turns of 16 KiB", 100 * 1024, 0, 0, 0, 16 * 1024},
             Step{"a large one, of whole buffers", 100 * kMiB, 0, 0, 0, kMiB},
         }) {
        if (step.setRate >= 0) {
            clocked.limit.SetRate(step.setRate);
        }
        clocked.limit.Take(step.take);
        clocked.Advance(step.advanceMs);
        EXPECT_EQ(clocked.limit.Delay(), step.delay) << step.what;
        EXPECT_EQ(clocked.limit.TurnSize(kMiB), step.turnSize) << step.what;
    }
}

TEST(RateLimitTest, ReadersTakingTurnsShareTheRate) {
    // Four readers that read whenever the bucket lets them, as transfers do, for a minute.
    ClockedLimit clocked;
    clocked.limit.SetRate(5 * kMiB);
    int64_t taken = 0;
    const int64_t end = clocked.now + 60 * 1000000;
    while (clocked.now < end) {
        for (int reader = 0; reader < 4; ++reader) {
            if (clocked.limit.Delay() == 0) {
                const int64_t size = clocked.limit.TurnSize(kMiB);
                clocked.limit.Take(size);
                taken += size;
            }
        }
        clocked.Advance(std::max<uint32_t>(clocked.limit.Delay(), 1));
    }
    // Within one turn of each reader and the bucket's tenth.
    EXPECT_NEAR(static_cast<double>(taken), 60.0 * 5 * kMiB, 4 * (5 * kMiB / 20) + 5 * kMiB / 10);
}

TEST(RateLimitTest, ASleeperIsFreedByALiftedLimitAndEndedByAStopAtOnce) {
    for (const bool lift : {true, false}) {
        SCOPED_TRACE(lift ? "lifted" : "stopped");
        RateLimit limit;
        limit.SetRate(1024);
        limit.Take(kMiB);  // owes 17 minutes
        std::atomic<bool> stopped{false};
        std::atomic<int> turn{-1};
        const auto start = std::chrono::steady_clock::now();
        std::thread sleeper([&] { turn = limit.AwaitTurn([&] { return stopped.load(); }); });
        if (lift) {
            limit.SetRate(0);
        } else {
            stopped = true;
            limit.Wake();
        }
        sleeper.join();
        EXPECT_EQ(turn, lift ? 1 : 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
}

class RateLimitRunTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        fake_net::Reset();
    }
    void TearDown() override {
        DownloadRateLimit().SetRate(0);
        EngineTest::TearDown();
    }
    void ServeFiles(int count, size_t size) {
        std::vector<std::pair<std::string, size_t>> listed;
        for (int i = 0; i < count; ++i) {
            const std::string name = "f" + std::to_string(i) + ".bin";
            bodies.push_back(Pattern(size, 300 + i));
            fake_net::Serve(std::string(kBase) + name, bodies.back());
            listed.emplace_back(name, size);
        }
        WriteManifest(ManifestText(kBase, listed));
    }
    static constexpr const char* kBase = "http://files.test/limit/";
    std::vector<std::string> bodies;
};

TEST_F(RateLimitRunTest, TransfersKeepToTheLimitTogetherAndAreFreedWhenItIsLifted) {
    // Four files of 1 MiB at 256 KiB a second would take 16 s: lifted after a while, the run
    // ends in a fraction of that. The bounds are far from any machine's timing.
    ServeFiles(4, kMiB);
    DownloadRateLimit().SetRate(256 * 1024);
    const auto start = std::chrono::steady_clock::now();
    cMgrDownloader* manager = StartManager();
    WaitFor([] { return false; }, std::chrono::milliseconds(1000));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // What four transfers may read before the first wait, and the rate since.
    EXPECT_LE(manager->received,
              4 * 16 * 1024 + static_cast<int64_t>(seconds * 256 * 1024) + 256 * 1024 / 10);
    EXPECT_GT(manager->received, 0);
    DownloadRateLimit().SetRate(0);
    ASSERT_TRUE(WaitFor([manager] { return manager->running == 0; }, std::chrono::seconds(8)));
    EXPECT_EQ(manager->finished, 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(SameBytes(ReadFile(download + "f" + std::to_string(i) + ".bin"), bodies[i]));
    }
}

TEST_F(RateLimitRunTest, ARunTakesAtLeastWhatTheLimitAllows) {
    // 2 MiB at 2 MiB a second: never done in less than the budget less the first reads.
    ServeFiles(4, kMiB / 2);
    DownloadRateLimit().SetRate(2 * kMiB);
    const auto start = std::chrono::steady_clock::now();
    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_GE(seconds, (2.0 * kMiB - 4 * (2 * kMiB / 20)) / (2 * kMiB) - 0.05);
}

}  // namespace
}  // namespace engine_test
