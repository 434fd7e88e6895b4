// The headless engine driver as a process: it ends after a run, also after a fatal end of the
// engine (with the engine's code) while other transfers still run or wait for the UI thread.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/fake/fake.h"
#include "platform/sha256.h"
#include "tests/support/http_test_server.h"
#include "tests/support/test_signing.h"

namespace {

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
    test_support::HttpTestServer server;
    // Four files on a server that cannot be reached: each transfer ends the engine with -11
    // once the outage limit has passed, at about the same time, and the ones after the first
    // wait for a box that nobody shows any more.
    std::string list;
    for (int i = 0; i < 4; ++i) {
        list += std::string(i == 0 ? "" : ",") + "{\"Name\":\"file" + std::to_string(i) +
                ".bin\",\"Size\":1000,\"SHA256\":\"" + std::string(64, 'a') + "\"}";
    }
    const std::string manifest = "{\"TotalCount\":4,\"TotalSize\":4000,\"URL\":\"" +
                                 UnreachableUrl() + "\",\"FileList\":[" + list + "]}";
    server.AddFile("/file.json", manifest);
    server.AddFile("/file.json.sig", test_signing::Sign(manifest));
    // The time-out guards against a hang; the driver ends in well under a second.
    const std::string root = platform::fake::Root();
    std::filesystem::create_directories(root + "download");
    const std::string command = "BENCH_DRIVER_OUTAGE_MS=300 timeout -s KILL 60 " +
                                std::string(BENCH_DRIVER) + " " + server.Url("/") + " " + root +
                                "download " + root + "work";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), -11 & 0xff);
    platform::fake::Shutdown();
}

// A file sent chunked (no length, no ranges) arrives whole, and the driver ends.
TEST(BenchDriver, EndsAfterAChunkedFile) {
    platform::fake::Reset();
    test_support::HttpTestServer server;
    const std::string body(300000, 'c');
    platform::Sha256 hash;
    hash.Update(body.data(), body.size());
    const std::string manifest =
        "{\"TotalCount\":1,\"TotalSize\":300000,\"URL\":\"" + server.Url("/") +
        "\",\"FileList\":[{\"Name\":\"c.bin\",\"Size\":" + "300000,\"SHA256\":\"" +
        hash.FinishHex() + "\"}]}";
    server.AddFile("/file.json", manifest);
    server.AddFile("/file.json.sig", test_signing::Sign(manifest));
    server.AddFile("/c.bin", body);
    test_support::Behaviour chunked;
    chunked.chunked = true;
    server.SetBehaviour("/c.bin", chunked);
    const std::string root = platform::fake::Root();
    std::filesystem::create_directories(root + "download");
    const std::string command = "timeout -s KILL 60 " + std::string(BENCH_DRIVER) + " " +
                                server.Url("/") + " " + root + "download";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::ostringstream arrived;
    arrived << std::ifstream(root + "download/c.bin", std::ios::binary).rdbuf();
    EXPECT_TRUE(arrived.str() == body) << arrived.str().size() << " bytes";
    platform::fake::Shutdown();
}

}  // namespace
