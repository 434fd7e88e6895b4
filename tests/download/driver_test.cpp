// The headless engine driver as a process: after a fatal end of the engine it ends, with the
// engine's code, while other transfers still run or wait for the UI thread.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake/fake.h"
#include "tests/support/http_test_server.h"

extern char** environ;

namespace {

using test_support::Behaviour;
using test_support::HttpTestServer;

TEST(BenchDriver, EndsAfterAFatalEndWhileOtherTransfersRun) {
    platform::fake::Reset();
    const std::string root = platform::fake::Root();
    HttpTestServer server;
    // Four chunked answers (no length) at once: each ends the engine with -11 after its
    // warning, and the ones after the first wait for a box that nobody shows any more.
    const std::string body(300000, 'x');
    Behaviour chunked;
    chunked.chunked = true;
    std::string list;
    for (int i = 0; i < 4; ++i) {
        const std::string name = "chunked" + std::to_string(i) + ".bin";
        server.AddFile("/" + name, body);
        server.SetBehaviour("/" + name, chunked);
        list += std::string(list.empty() ? "" : ",") + "{\"Name\":\"" + name +
                "\",\"Size\":" + std::to_string(body.size()) + "}";
    }
    server.AddFile("/file.json", "{\"TotalCount\":4,\"TotalSize\":1200000,\"URL\":\"" +
                                     server.Url("/") + "\",\"FileList\":[" + list + "]}");

    const std::string url = server.Url("/");
    const std::string folder = root + "download";
    const std::string work = root + "driver-work";
    std::filesystem::create_directories(folder);
    const char* argv[] = {BENCH_DRIVER, url.c_str(), folder.c_str(), work.c_str(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(
        posix_spawn(&child, BENCH_DRIVER, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    // A guard against a hang, not a measure: the driver ends in well under a second.
    int status = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > giveUp) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            FAIL() << "the driver did not end";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), -11 & 0xff);
    platform::fake::Shutdown();
}

}  // namespace
