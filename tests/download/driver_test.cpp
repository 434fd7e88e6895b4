// The headless engine driver as a process: after a fatal end of the engine it ends, with the
// engine's code, while other transfers still run or wait for the UI thread.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/fake/fake.h"
#include "tests/support/http_test_server.h"

namespace {

TEST(BenchDriver, EndsAfterAFatalEndWhileOtherTransfersRun) {
    platform::fake::Reset();
    test_support::HttpTestServer server;
    // Four chunked answers (no length) at once: each ends the engine with -11 after its
    // warning, and the ones after the first wait for a box that nobody shows any more.
    test_support::Behaviour chunked;
    chunked.chunked = true;
    std::string list;
    for (int i = 0; i < 4; ++i) {
        const std::string name = "chunked" + std::to_string(i) + ".bin";
        server.AddFile("/" + name, std::string(300000, 'x'));
        server.SetBehaviour("/" + name, chunked);
        list += std::string(i == 0 ? "" : ",") + "{\"Name\":\"" + name + "\",\"Size\":300000}";
    }
    server.AddFile("/file.json", "{\"TotalCount\":4,\"TotalSize\":1200000,\"URL\":\"" +
                                     server.Url("/") + "\",\"FileList\":[" + list + "]}");
    // The time-out guards against a hang; the driver ends in well under a second.
    const std::string root = platform::fake::Root();
    std::filesystem::create_directories(root + "download");
    const std::string command = "timeout -s KILL 60 " + std::string(BENCH_DRIVER) + " " +
                                server.Url("/") + " " + root + "download " + root + "work";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), -11 & 0xff);
    platform::fake::Shutdown();
}

}  // namespace
