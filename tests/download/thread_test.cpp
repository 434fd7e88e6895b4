// cThread: the running/stopped flags, Stop's idempotence and its wait on the UI thread.
#include "download/cThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/fake/fake.h"
#include "platform/ui.h"

namespace {

class Worker : public cThread {
public:
    explicit Worker(std::function<void(Worker&)> work) : cThread("cMgrDownloader"), body(work) {}
    ~Worker() override { Stop(); }
    std::atomic<int> runs{0};

protected:
    void OnExecute() override {
        ++runs;
        body(*this);
    }

private:
    std::function<void(Worker&)> body;
};

class ThreadTest : public ::testing::Test {
protected:
    void SetUp() override { platform::fake::Reset(); }
};

TEST_F(ThreadTest, ConstructionCopiesTheNameAndIsIdle) {
    Worker worker([](Worker&) {});
    EXPECT_STREQ(worker.name, "cMgrDownloader");
    EXPECT_EQ(worker.running, 0);
    EXPECT_EQ(worker.stopped, 0);
}

TEST_F(ThreadTest, StopOnANeverStartedObjectMarksItStopped) {
    Worker worker([](Worker&) {});
    worker.Stop();
    EXPECT_EQ(worker.stopped, 1);
    EXPECT_EQ(worker.runs, 0);
}

TEST_F(ThreadTest, BodyThatReturnsAtOnceClearsRunningBeforeAnyStop) {
    Worker worker([](Worker&) {});
    ASSERT_TRUE(worker.Start());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (worker.running != 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(worker.running, 0);
    EXPECT_EQ(worker.stopped, 0);
    EXPECT_EQ(worker.runs, 1);
}

TEST_F(ThreadTest, StopClearsRunningWaitsForTheBodyAndIsIdempotent) {
    std::atomic<bool> sawStop{false};
    Worker worker([&](Worker& self) {
        while (self.running) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sawStop = true;
    });
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(worker.running, 1);
    worker.Stop();
    EXPECT_TRUE(sawStop);
    EXPECT_EQ(worker.stopped, 1);
    worker.Stop();
    EXPECT_EQ(worker.runs, 1);
}

// A body that needs the UI thread (a warning box, the completion message) while the UI thread
// stops it: the stop keeps serving the request, so both finish.
TEST_F(ThreadTest, StopOnTheUiThreadServesTheBodysUiRequests) {
    std::atomic<bool> served{false};
    std::atomic<bool> asking{false};
    Worker worker([&](Worker&) {
        asking = true;
        platform::InvokeOnUiThread([&] { served = true; });
    });
    ASSERT_TRUE(worker.Start());
    while (!asking) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.Stop();
    EXPECT_TRUE(served);
    EXPECT_EQ(worker.running, 0);
}

TEST_F(ThreadTest, DestroyingAFinishedObjectDoesNotBlock) {
    auto worker = std::make_unique<Worker>([](Worker&) {});
    ASSERT_TRUE(worker->Start());
    while (worker->running) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto begin = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
}

}  // namespace
