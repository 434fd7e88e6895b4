// The headless engine driver as a process: after a fatal end of the engine it ends, with the
// engine's code, while other transfers still run or wait for the UI thread.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake/fake.h"
#include "tests/support/http_test_server.h"

extern char** environ;

namespace {

using test_support::HttpTestServer;

// A loopback address where nothing listens: a port the system just handed out and took back.
std::string UnreachableUrl() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    close(probe);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
}

TEST(BenchDriver, EndsAfterAFatalEndWhileOtherTransfersRun) {
    platform::fake::Reset();
    const std::string root = platform::fake::Root();
    HttpTestServer server;
    // Four files on a server that cannot be reached: each transfer ends the engine with -11
    // once the outage limit has passed, at about the same time, and the ones after the first
    // wait for a box that nobody shows any more.
    std::string list;
    for (int i = 0; i < 4; ++i) {
        list += std::string(list.empty() ? "" : ",") + "{\"Name\":\"file" + std::to_string(i) +
                ".bin\",\"Size\":1000}";
    }
    server.AddFile("/file.json", "{\"TotalCount\":4,\"TotalSize\":4000,\"URL\":\"" +
                                     UnreachableUrl() + "\",\"FileList\":[" + list + "]}");
    const std::string url = server.Url("/");
    const std::string folder = root + "download";
    const std::string work = root + "driver-work";
    std::filesystem::create_directories(folder);
    const char* argv[] = {BENCH_DRIVER, url.c_str(), folder.c_str(), work.c_str(), nullptr};
    setenv("BENCH_DRIVER_OUTAGE_MS", "300", 1);
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, BENCH_DRIVER, nullptr, nullptr, const_cast<char**>(argv), environ);
    unsetenv("BENCH_DRIVER_OUTAGE_MS");
    ASSERT_EQ(spawned, 0);
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
