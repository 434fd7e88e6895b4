// The engine over the build's real HTTP client against the in-process test server: every file
// that ends up on disk is compared with its source byte for byte.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "download/cResDownloader.h"
#include "download/segmentPlan.h"
#include "download/verifiedRecord.h"
#include "engine_fixture.h"
#include "platform/files.h"
#include "tests/support/http_test_server.h"

namespace engine_test {
namespace {

using test_support::Behaviour;
using test_support::HttpTestServer;
using test_support::RawAnswerServer;

class EngineHttpTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // Over HTTP the engine runs as built: with the key, on signed manifests.
        UseManifestKey(BuiltInManifestKey());
        source = platform::fake::Root() + "source/";
        std::filesystem::create_directories(source);
        server = std::make_unique<HttpTestServer>();
        server->ServeFolder(source);
    }

    void TearDown() override {
        EngineTest::TearDown();
        server.reset();
    }

    // Puts a file under its UTF-8 name into the served folder and remembers its bytes.
    void AddSource(const std::string& name, std::string bytes) {
        const std::filesystem::path path = DiskPath(source, name);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        sources[name] = std::move(bytes);
    }

    // The publisher tool's manifest of the served folder, saved where the manager reads it.
    void PublishManifest(bool hashes = true, const std::string& mirror = "") {
        const std::string command = std::string(MAKE_MANIFEST) + " --url " + server->Url("/") +
                                    (hashes ? "" : " --no-hashes") +
                                    (mirror.empty() ? "" : " --mirror " + mirror) + " --output " +
                                    work + "file.json " + source;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        test_signing::SignFile(work + "file.json");
    }

    cMgrDownloader* RunToEnd() {
        cMgrDownloader* manager = StartManager();
        EXPECT_TRUE(WaitForRunEnd(manager));
        return manager;
    }

    void ExpectEveryFileDownloaded() {
        for (const auto& [name, bytes] : sources) {
            EXPECT_TRUE(SameBytes(ReadFile(download + name), bytes)) << name;
        }
    }

    // Ranges the server was asked for, per path.
    std::multiset<std::string> RangesAsked(const std::string& path) {
        std::multiset<std::string> ranges;
        for (const auto& request : server->Requests()) {
            if (request.path == path) {
                ranges.insert(request.range);
            }
        }
        return ranges;
    }

    std::set<std::string> PathsAsked() {
        std::set<std::string> paths;
        for (const auto& request : server->Requests()) {
            paths.insert(request.path);
        }
        return paths;
    }

    int64_t TotalSourceBytes() const {
        int64_t total = 0;
        for (const auto& entry : sources) {
            total += static_cast<int64_t>(entry.second.size());
        }
        return total;
    }

    std::string source;
    std::unique_ptr<HttpTestServer> server;
    std::map<std::string, std::string> sources;
};

TEST_F(EngineHttpTest, FreshDownloadOfNestedNames) {
    AddSource("setup.exe", Pattern(3 * 1024 * 1024 + 17, 1));
    AddSource("data/maps/a.bin", Pattern(700000, 2));
    AddSource("data/b.bin", Pattern(1, 3));
    AddSource("readme.txt", Pattern(4096, 4));
    PublishManifest();
    GiveAppAWindow();
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, TotalSourceBytes());
    EXPECT_EQ(manager->sessionReceived, TotalSourceBytes());
    EXPECT_STREQ(app->launchFileName, "setup.exe");
    EXPECT_TRUE(BoxTexts().empty());
    for (const auto& request : server->Requests()) {
        EXPECT_EQ(request.range, "bytes=0-");
        EXPECT_EQ(request.agent, "cFileDownloader");
        EXPECT_EQ(request.acceptEncoding, "identity");
    }
}

// Japanese names whose characters hold the byte 0x5C in code page 932 ("ソ", "表"), into a
// Japanese download folder: the publisher tool's names, the server's paths and the files on
// disk agree.
TEST_F(EngineHttpTest, JapaneseFolderAndNamesLandUnchanged) {
    AddSource("データ/残り.bin", Pattern(700001, 70));
    AddSource("ソフト/表.txt", Pattern(4097, 71));
    // The folder as the core takes paths: UTF-8 on Linux, code page 932 on Windows.
    const std::string folder = "ダウンロード/ソフト/";
    const std::filesystem::path onDisk = DiskPath(platform::fake::Root(), folder);
    std::filesystem::create_directories(onDisk);
    const std::optional<std::string> corePath =
        platform::PathFromUtf8(platform::fake::Native(folder));
    ASSERT_TRUE(corePath);
    download = platform::fake::Root() + *corePath;
    std::snprintf(app->downloadDirectory, sizeof app->downloadDirectory, "%s", download.c_str());
    PublishManifest();
    cMgrDownloader* manager = RunToEnd();

    for (const auto& [name, bytes] : sources) {
        std::ifstream in(DiskPath(platform::fake::Root(), folder + name), std::ios::binary);
        EXPECT_TRUE(SameBytes(std::string(std::istreambuf_iterator<char>(in), {}), bytes)) << name;
    }
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(PathsAsked(), (std::set<std::string>{"/データ/残り.bin", "/ソフト/表.txt"}));
    EXPECT_TRUE(BoxTexts().empty());
    // Nothing else was made beside them: no folder named by half a character.
    std::set<std::string> made;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(onDisk)) {
        const std::u8string name = entry.path().lexically_relative(onDisk).generic_u8string();
        made.insert(std::string(name.begin(), name.end()));
    }
    EXPECT_EQ(made,
              (std::set<std::string>{"データ", "データ/残り.bin", "ソフト", "ソフト/表.txt"}));
}

// One file against one way of serving it, from what is on disk before: it ends identical to the
// source, counted once, without a warning; the ranges asked (in any order) and the transfer
// log's lines show how it got there.
enum class OnDisk { kNothing, kItsStart, kOtherBytes };

struct OneFileCase {
    const char* name;
    int64_t size;
    OnDisk onDisk;
    int64_t onDiskSize;
    Behaviour behaviour;
    int64_t sessionReceived;          // -1: not checked
    std::vector<std::string> ranges;  // empty: not checked
    size_t logLines;                  // 0: not checked
    std::vector<std::string> log;     // the first lines' texts
};

void PrintTo(const OneFileCase& row, std::ostream* out) {
    *out << row.name;
}

constexpr int64_t kMiB = 1024 * 1024;

// clang-format off
const OneFileCase kOneFile[] = {
    {"PartialFileIsResumedFromItsSize", 2000000, OnDisk::kItsStart, 1000, {}, 1999000,
     {"bytes=0-", "bytes=1000-"},
     1, {"cMgrDownloader::OnStart 1000"}},
    {"CutMidBodyReconnectsOnce", 3000000, OnDisk::kNothing, 0, {.cutAfter = 1234567, .cutTimes = 1}, -1,
     {"bytes=0-", "bytes=0-", "bytes=1234567-"},
     1, {"cHttp::OnExecute :: network error (-92)"}},
    {"CappingServerDeliversPartByPart", 5000000, OnDisk::kNothing, 0, {.rangeCap = kMiB}, 5000000,
     {"bytes=0-", "bytes=0-", "bytes=0-", "bytes=0-", "bytes=0-",
      "bytes=1048576-", "bytes=2097152-", "bytes=3145728-", "bytes=4194304-"},
     4, {}},
    {"PartialFileAgainstACappingServer", 3000000, OnDisk::kItsStart, 1500000, {.rangeCap = kMiB}, 1500000,
     {"bytes=0-", "bytes=0-", "bytes=1500000-", "bytes=2548576-"},
     2, {"cMgrDownloader::OnStart 1500000", "cHttp::OnExecute :: network error (-92)"}},
    {"IgnoredRangeRewritesFromTheStart", 1500000, OnDisk::kOtherBytes, 70000, {.ignoreRange = true}, -1,
     {}, 0, {}},
    {"LongerLocalFileIsStartedOver", 300000, OnDisk::kOtherBytes, 900000, {}, -1,
     {}, 0, {}},
};
// clang-format on

class EngineOneFile : public EngineHttpTest, public ::testing::WithParamInterface<OneFileCase> {};

TEST_P(EngineOneFile, EndsIdenticalCountedOnce) {
    const OneFileCase& row = GetParam();
    AddSource("a.bin", Pattern(static_cast<size_t>(row.size), 60));
    PublishManifest();
    if (row.onDisk == OnDisk::kItsStart) {
        WriteFile(download + "a.bin", sources["a.bin"].substr(0, row.onDiskSize));
    } else if (row.onDisk == OnDisk::kOtherBytes) {
        WriteFile(download + "a.bin", Pattern(static_cast<size_t>(row.onDiskSize), 61));
    }
    server->SetBehaviour("/a.bin", row.behaviour);
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->received, row.size);
    EXPECT_EQ(manager->finished, 1);
    if (row.sessionReceived >= 0) {
        EXPECT_EQ(manager->sessionReceived, row.sessionReceived);
    }
    EXPECT_TRUE(BoxTexts().empty());
    if (!row.ranges.empty()) {
        EXPECT_EQ(RangesAsked("/a.bin"),
                  std::multiset<std::string>(row.ranges.begin(), row.ranges.end()));
    }
    if (row.logLines > 0) {
        const std::vector<std::string> lines = LogLines();
        ASSERT_EQ(lines.size(), row.logLines);
        for (size_t i = 0; i < row.log.size(); ++i) {
            EXPECT_TRUE(IsLogLine(lines[i], row.log[i])) << lines[i];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, EngineOneFile, ::testing::ValuesIn(kOneFile),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineHttpTest, CompleteFilesAreConfirmedWithOneRequestEach) {
    for (int i = 0; i < 5; ++i) {
        AddSource("f" + std::to_string(i) + ".bin", Pattern(100000 + i, 10 + i));
    }
    PublishManifest();
    for (const auto& [name, bytes] : sources) {
        WriteFile(download + name, bytes);
    }
    cMgrDownloader* manager = RunToEnd();

    EXPECT_EQ(server->Requests().size(), 5u);
    EXPECT_EQ(manager->received, TotalSourceBytes());
    EXPECT_EQ(manager->sessionReceived, 0);
    EXPECT_EQ(LogLines().size(), 5u);
    ExpectEveryFileDownloaded();
}

// Short limits: a file must get 16 KiB further within 1.5 s; attempts that get nowhere are
// repeated after 50 ms, then less and less often.
cHttp::Limits ShortLimits() {
    cHttp::Limits limits;
    limits.progressMs = 1500;
    limits.firstWaitMs = 50;
    limits.longestWaitMs = 400;
    return limits;
}

// A file whose server gets it nowhere is given up with a warning that names it, whatever the
// reconnections bring, and the other files go on: one that ends every answer at once, one that
// trickles a few bytes before each end (the bytes add up across reconnections, too few).
TEST_F(EngineHttpTest, FileThatGetsNowhereIsGivenUpAndTheOthersGoOn) {
    AddSource("good.bin", Pattern(300000, 7));
    AddSource("nothing.bin", Pattern(100000, 8));
    AddSource("trickle.bin", Pattern(100000, 9));
    PublishManifest();
    Behaviour nothing;
    nothing.cutAfter = 0;
    server->SetBehaviour("/nothing.bin", nothing);
    Behaviour trickle;
    trickle.cutAfter = 100;
    trickle.bytesPerSecond = 400;
    server->SetBehaviour("/trickle.bin", trickle);
    cMgrDownloader* manager = StartManager(ShortLimits());
    ASSERT_TRUE(WaitForRunEnd(manager));

    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_TRUE(SameBytes(ReadFile(download + "good.bin"), sources["good.bin"]));
    // One warning for each, in either order, then the run's one about the files missing.
    std::vector<std::string> boxes = BoxTexts();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes.back().rfind("cMgrDownloader::OnExecute :: download incomplete (-39)", 0), 0u);
    boxes.pop_back();
    EXPECT_NE(boxes[0].find("nothing.bin") == std::string::npos,
              boxes[1].find("nothing.bin") == std::string::npos);
    for (const std::string& box : boxes) {
        EXPECT_EQ(box.rfind("cHttp::OnExecute :: network error (-5)\n", 0), 0u) << box;
    }
    const std::string kept = ReadFile(download + "trickle.bin");
    EXPECT_TRUE(SameBytes(kept, sources["trickle.bin"].substr(0, kept.size())));
    EXPECT_GT(RangesAsked("/trickle.bin").size(), 2u);
}

// A file server that goes away in the middle of a file and comes back a while later: the
// transfer waits for it (the manager counts it as waiting), then resumes from the bytes on disk.
TEST_F(EngineHttpTest, ServerDownForAWhileIsWaitedForAndTheFileResumed) {
#ifdef _WIN32
    // Under Wine the stopped test server is not always seen as gone, its port as closed, within
    // the test's wait (it passed in some runs and not in others); the rules are the core's.
    GTEST_SKIP() << "a stopped server is not told apart in time under Wine";
#endif
    AddSource("a.bin", Pattern(3000000, 81));
    PublishManifest();
    Behaviour slow;
    slow.bytesPerSecond = 1000000;
    server->SetBehaviour("/a.bin", slow);
    cHttp::Limits limits = ShortLimits();
    // A stopped server may leave its open connection silent instead of closed (the Windows test
    // server under Wine): the stall limit notices it.
    limits.network.stallMs = 3000;
    cMgrDownloader* manager = StartManager(limits);
    ASSERT_TRUE(WaitFor([&] { return manager->received > 300000; }));
    const int port = server->Port();
    server.reset();
    ASSERT_TRUE(WaitFor([&] { return manager->waitingForServer == 1; }));
    // Down for longer than the give-up time: while the server cannot be reached it does not run.
    WaitFor([] { return false; }, std::chrono::milliseconds(2500));
    EXPECT_EQ(manager->waitingForServer, 1);
    EXPECT_EQ(manager->running, 1);

    server = std::make_unique<HttpTestServer>(port);
    server->ServeFolder(source);
    ASSERT_TRUE(WaitForRunEnd(manager));
    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->waitingForServer, 0);
    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_NE(*RangesAsked("/a.bin").rbegin(), "bytes=0-");  // resumed
}

TEST_F(EngineHttpTest, PauseJoinsEveryTransferAndALaterStartResumes) {
    for (int i = 0; i < 4; ++i) {
        AddSource("f" + std::to_string(i) + ".bin", Pattern(3000000, 20 + i));
        Behaviour stall;
        stall.stall = true;
        stall.stallAfter = 500000;
        server->SetBehaviour("/f" + std::to_string(i) + ".bin", stall);
    }
    PublishManifest();
    GiveAppAWindow();
    cMgrDownloader* running = StartManager();
    // Every transfer has written what the server sends before it stalls.
    ASSERT_TRUE(WaitFor([&] { return running->received == 4 * 500000; }));

    const auto begin = std::chrono::steady_clock::now();
    app->StopDownload();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
    EXPECT_TRUE(platform::fake::SentMessages().empty());
    int64_t kept = 0;
    for (const auto& [name, bytes] : sources) {
        const std::string onDisk = ReadFile(download + name);
        EXPECT_TRUE(SameBytes(onDisk, bytes.substr(0, onDisk.size()))) << name;
        kept += static_cast<int64_t>(onDisk.size());
    }

    for (const auto& entry : sources) {
        server->SetBehaviour("/" + entry.first, Behaviour{});
    }
    cMgrDownloader* manager = RunToEnd();
    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, TotalSourceBytes());
    EXPECT_EQ(manager->sessionReceived, TotalSourceBytes() - kept);
    EXPECT_EQ(platform::fake::SentMessages().size(), 1u);
}

TEST_F(EngineHttpTest, SixFilesWithALimitOfFour) {
    for (int i = 0; i < 6; ++i) {
        AddSource("f" + std::to_string(i) + ".bin", Pattern(200000, 30 + i));
        Behaviour stall;
        stall.stall = true;
        stall.stallAfter = 1000;
        server->SetBehaviour("/f" + std::to_string(i) + ".bin", stall);
    }
    PublishManifest();
    cMgrDownloader* running = StartManager();
    // The first four have their bytes before the stall, and none has ended to free a slot.
    ASSERT_TRUE(WaitFor([&] { return running->received == 4 * 1000; }));
    EXPECT_EQ(PathsAsked(), (std::set<std::string>{"/f0.bin", "/f1.bin", "/f2.bin", "/f3.bin"}));
    app->StopDownload();

    for (const auto& entry : sources) {
        server->SetBehaviour("/" + entry.first, Behaviour{});
    }
    RunToEnd();
    ExpectEveryFileDownloaded();
}

TEST_F(EngineHttpTest, ErrorPagesAreNeverStoredAndTheRestStillDownloads) {
    AddSource("good.bin", Pattern(50000, 40));
    AddSource("missing.bin", Pattern(50000, 41));
    AddSource("broken.bin", Pattern(50000, 42));
    PublishManifest();
    Behaviour notFound;
    notFound.errorStatus = 404;
    server->SetBehaviour("/missing.bin", notFound);
    Behaviour serverError;
    serverError.errorStatus = 500;
    server->SetBehaviour("/broken.bin", serverError);
    WriteFile(download + "broken.bin", sources["broken.bin"].substr(0, 100));
    cMgrDownloader* manager = RunToEnd();

    EXPECT_TRUE(SameBytes(ReadFile(download + "good.bin"), sources["good.bin"]));
    EXPECT_FALSE(std::filesystem::exists(download + "missing.bin"));
    EXPECT_TRUE(SameBytes(ReadFile(download + "broken.bin"), sources["broken.bin"].substr(0, 100)));
    const auto boxes = BoxTexts();
    EXPECT_EQ(std::set<std::string>(boxes.begin(), boxes.end()),
              (std::set<std::string>{"cHttp::OnExecute :: http status error 404 (-6)",
                                     "cHttp::OnExecute :: http status error 500 (-6)",
                                     IncompleteWarning(2, 3, {"broken.bin", "missing.bin"})}));
    EXPECT_EQ(manager->finished, 0);
}

// Whether the server answers the range of an empty file with an empty 200 or with 416.
TEST_F(EngineHttpTest, EmptyFileOnTheServerIsAnEmptyFile) {
    AddSource("empty.bin", "");
    AddSource("unsatisfiable.bin", "");
    AddSource("other.bin", Pattern(1000, 46));
    PublishManifest();
    Behaviour caddy;
    caddy.emptyRangeUnsatisfiable = true;
    server->SetBehaviour("/unsatisfiable.bin", caddy);
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_TRUE(std::filesystem::exists(download + "empty.bin"));
    EXPECT_TRUE(std::filesystem::exists(download + "unsatisfiable.bin"));
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_EQ(manager->finished, 1);
}

TEST_F(EngineHttpTest, NamesLeavingTheFolderAreRefusedBeforeAnythingIsFetched) {
    AddSource("a.bin", Pattern(1000, 47));
    for (const char* name : {"../outside.bin", "..\\\\outside.bin", "/tmp/outside.bin",
                             "C:/outside.bin", "sub/../../outside.bin"}) {
        WriteManifest(ManifestText(server->Url("/"), {{"a.bin", 1000}, {name, 10}}));
        cMgrDownloader* manager = RunToEnd();
        EXPECT_EQ(manager->finished, 0) << name;
        EXPECT_NE(BoxTexts().back().find("outside.bin"), std::string::npos) << name;
    }
    EXPECT_TRUE(server->Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(platform::fake::Root() + "outside.bin"));
    EXPECT_FALSE(std::filesystem::exists(download + "a.bin"));
}

// A file sent chunked (no Content-Length) is taken against its listed size; a body cut short is
// continued (this server ignores ranges then: the file is rewritten from 0).
TEST_F(EngineHttpTest, ChunkedAnswersAreTakenAgainstTheListedSize) {
    AddSource("a.bin", Pattern(1000, 48));
    AddSource("b.bin", Pattern(700000, 49));
    PublishManifest();
    Behaviour chunked;
    chunked.chunked = true;
    server->SetBehaviour("/a.bin", chunked);
    chunked.cutAfter = 300000;
    chunked.cutTimes = 1;
    server->SetBehaviour("/b.bin", chunked);
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(manager->finished, 1);
}

TEST_F(EngineHttpTest, RedirectsAreFollowed) {
    UseManifestKey({});  // a hand-written list, without hashes
    AddSource("a.bin", Pattern(100000, 49));
    AddSource("moved/a.bin", sources["a.bin"]);
    PublishManifest();
    sources.erase("moved/a.bin");
    WriteManifest(ManifestText(server->Url("/"), {{"a.bin", 100000}}));
    Behaviour redirect;
    redirect.redirectTo = "/moved/a.bin";
    server->SetBehaviour("/a.bin", redirect);
    RunToEnd();
    ExpectEveryFileDownloaded();
}

TEST_F(EngineHttpTest, StopWhileReadsAreBlockedReturnsAtOnce) {
    AddSource("a.bin", Pattern(2000000, 50));
    PublishManifest();
    Behaviour stall;
    stall.stall = true;
    stall.stallAfter = 100000;
    server->SetBehaviour("/a.bin", stall);
    cMgrDownloader* running = StartManager();
    ASSERT_TRUE(WaitFor([&] { return running->received == 100000; }));

    const auto begin = std::chrono::steady_clock::now();
    app->StopDownload();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
    const std::string kept = ReadFile(download + "a.bin");
    EXPECT_TRUE(SameBytes(kept, sources["a.bin"].substr(0, kept.size())));
}

TEST_F(EngineHttpTest, ManyStartsAndStopsWhileTransfersRun) {
    for (int i = 0; i < 6; ++i) {
        AddSource("f" + std::to_string(i) + ".bin", Pattern(4000000, 60 + i));
    }
    PublishManifest();
    GiveAppAWindow();
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        StartManager();
        WaitFor([] { return false; }, std::chrono::milliseconds(random() % 120));
        app->StopDownload();
        for (const auto& [name, bytes] : sources) {
            const std::string onDisk = ReadFile(download + name);
            ASSERT_TRUE(SameBytes(onDisk, bytes.substr(0, onDisk.size()))) << name;
        }
    }
    cMgrDownloader* manager = RunToEnd();
    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, TotalSourceBytes());
    EXPECT_TRUE(BoxTexts().empty());
}

// An encoded body is not the file's bytes: refused, whatever is on disk, and the rest goes on.
TEST_F(EngineHttpTest, EncodedAnswerIsRefusedAndTheFileOnDiskStaysAsItWas) {
    AddSource("fresh.bin", Pattern(50000, 70));
    AddSource("partial.bin", Pattern(50000, 71));
    AddSource("good.bin", Pattern(50000, 72));
    PublishManifest();
    Behaviour gzip;
    gzip.contentEncoding = "gzip";
    server->SetBehaviour("/fresh.bin", gzip);
    server->SetBehaviour("/partial.bin", gzip);
    WriteFile(download + "partial.bin", sources["partial.bin"].substr(0, 1000));
    cMgrDownloader* manager = RunToEnd();

    EXPECT_FALSE(std::filesystem::exists(download + "fresh.bin"));
    EXPECT_TRUE(
        SameBytes(ReadFile(download + "partial.bin"), sources["partial.bin"].substr(0, 1000)));
    EXPECT_TRUE(SameBytes(ReadFile(download + "good.bin"), sources["good.bin"]));
    const auto boxes = BoxTexts();
    const std::string why = "\": the server sends it encoded (gzip), not as the file's own bytes";
    EXPECT_EQ(std::set<std::string>(boxes.begin(), boxes.end()),
              (std::set<std::string>{
                  "cHttp::OnExecute :: content encoding error (-15)\n\"fresh.bin" + why,
                  "cHttp::OnExecute :: content encoding error (-15)\n\"partial.bin" + why,
                  IncompleteWarning(2, 3, {"fresh.bin", "partial.bin"})}));
    EXPECT_EQ(manager->finished, 0);
}

// A server that compresses for clients that accept it sends this client the file as it is.
TEST_F(EngineHttpTest, ServerThatEncodesWhatTheClientAcceptsSendsTheFileAsItIs) {
    AddSource("a.bin", Pattern(300000, 73));
    PublishManifest();
    Behaviour negotiating;
    negotiating.contentEncoding = "gzip";
    negotiating.encodeOnlyWhenAccepted = true;
    server->SetBehaviour("/a.bin", negotiating);
    WriteFile(download + "a.bin", sources["a.bin"].substr(0, 1000));
    RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(RangesAsked("/a.bin"), (std::multiset<std::string>{"bytes=0-", "bytes=1000-"}));
    for (const auto& request : server->Requests()) {
        EXPECT_EQ(request.acceptEncoding, "identity");
    }
}

// Every answer must agree with the listed size before a byte is written: a file whose answer
// does not is refused with a warning that names it, and what is on disk stays as it was.
TEST_F(EngineHttpTest, AnswersThatDisagreeWithTheListedSizeAreRefusedUntouched) {
    UseManifestKey({});  // a hand-written list, without hashes
    struct Case {
        std::string name;
        Behaviour behaviour;
        size_t onDisk;     // bytes of the file on disk before the run
        int64_t listed;    // the manifest's size; the server holds 40000 bytes
        int64_t answered;  // the size the server's answer states
    };
    Behaviour page;
    page.replaceBody = "<html><body>Service unavailable</body></html>";
    Behaviour emptied;
    emptied.replaceBody = "";
    const std::vector<Case> cases = {
        {"page.bin", page, 0, 40000,
         static_cast<int64_t>(page.replaceBody->size())},  // an error page sent as a 200
        {"emptied.bin", emptied, 30000, 40000, 0},         // a faulty proxy's empty 200
        {"other.bin", Behaviour{}, 0, 40001, 40000},       // a 206 of another size
        {"resumed.bin", Behaviour{}, 1000, 39999, 40000},  // the same, over a partial file
    };
    std::vector<std::pair<std::string, size_t>> listed;
    for (const Case& c : cases) {
        AddSource(c.name, Pattern(40000, static_cast<unsigned>(c.name.size())));
        server->SetBehaviour("/" + c.name, c.behaviour);
        if (c.onDisk > 0) {
            WriteFile(download + c.name, sources[c.name].substr(0, c.onDisk));
        }
        listed.emplace_back(c.name, static_cast<size_t>(c.listed));
    }
    WriteManifest(ManifestText(server->Url("/"), listed));
    cMgrDownloader* manager = RunToEnd();

    std::set<std::string> expected;
    for (const Case& c : cases) {
        if (c.onDisk == 0) {
            EXPECT_FALSE(std::filesystem::exists(download + c.name)) << c.name;
        } else {
            EXPECT_TRUE(SameBytes(ReadFile(download + c.name), sources[c.name].substr(0, c.onDisk)))
                << c.name;
        }
        expected.insert("cHttp::OnExecute :: size error (-14)\n\"" + c.name +
                        "\": the file list gives " + std::to_string(c.listed) +
                        " bytes, the server's answer " + std::to_string(c.answered) + " bytes");
    }
    std::vector<std::string> named;
    for (size_t i = 0; i < cMgrDownloader::kFailuresNamed; ++i) {
        named.push_back(cases[i].name);
    }
    expected.insert(
        IncompleteWarning(static_cast<int>(cases.size()), static_cast<int>(cases.size()), named));
    const auto boxes = BoxTexts();
    EXPECT_EQ(std::set<std::string>(boxes.begin(), boxes.end()), expected);
    EXPECT_EQ(boxes.size(), cases.size() + 1);
    EXPECT_EQ(manager->finished, 0);
}

// A server that states no total ("bytes 0-99999/*") and caps its parts: the listed size is the
// total, and the file is fetched part by part to its end.
TEST_F(EngineHttpTest, PartsWithAnUnknownTotalAreContinuedToTheListedSize) {
    AddSource("a.bin", Pattern(250000, 74));
    PublishManifest();
    Behaviour unknownTotal;
    unknownTotal.hideTotal = true;
    unknownTotal.rangeCap = 100000;
    server->SetBehaviour("/a.bin", unknownTotal);
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->received, 250000);
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(RangesAsked("/a.bin"),
              (std::multiset<std::string>{"bytes=0-", "bytes=0-", "bytes=100000-", "bytes=0-",
                                          "bytes=200000-"}));
}

TEST_F(EngineHttpTest, ContentRangeEndingAtTheLargestOffsetIsRefused) {
    AddSource("a.bin", Pattern(1000, 75));
    PublishManifest();
    Behaviour huge;
    huge.contentRange = "bytes 0-9223372036854775807/*";
    server->SetBehaviour("/a.bin", huge);
    RunToEnd();

    EXPECT_FALSE(std::filesystem::exists(download + "a.bin"));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"cHttp::OnExecute :: range error (-7)",
                                                    IncompleteWarning(1, 1, {"a.bin"})}));
}

// A length too long for 64 bits is no length: never read as its first digits.
TEST_F(EngineHttpTest, ContentLengthBeyond64BitsIsRefusedNotCut) {
    RawAnswerServer raw(
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
        "Content-Length: 92233720368547758070\r\n\r\n" +
        std::string(1000, 'x'));
    std::filesystem::current_path(work);
    cResDownloader fetch;
    EXPECT_EQ(fetch.FetchManifest(raw.Url("/file.json").c_str()), 0);

    EXPECT_FALSE(std::filesystem::exists(work + "file.json"));
    EXPECT_FALSE(std::filesystem::exists(work + "file.json.part"));
    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{
                  "cHttp::OnExecute :: size error (-14)\n\"file.json.part\": the server's "
                  "answer states a length that is no 64-bit size "
                  "(92233720368547758070)"});
    EXPECT_EQ(raw.RequestsAnswered(), 1);
}

#ifndef _WIN32
// Bytes handed to a file that never reach it (the disk is full when they are written out) are
// reported at once, not measured again as if they were there and fetched over and over.
TEST_F(EngineHttpTest, BytesThatNeverReachTheDiskAreReportedAtOnce) {
    AddSource("a.bin", Pattern(3000, 76));
    PublishManifest();
    Behaviour cut;
    cut.cutAfter = 1000;
    cut.cutTimes = 3;
    server->SetBehaviour("/a.bin", cut);
    // A full disk: no file may grow (a link to /dev/full would be refused as a link). The
    // limit is the process's, so it holds only while the run goes.
    struct rlimit before {};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto ignored = signal(SIGXFSZ, SIG_IGN);
    struct rlimit full = before;
    full.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    RunToEnd();
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, ignored);

    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"cHttp::OnExecute :: file write error (-33)",
                                                    IncompleteWarning(1, 1, {"a.bin"})}));
    EXPECT_EQ(RangesAsked("/a.bin").size(), 1u);
    EXPECT_TRUE(LogLines().empty());
}
#endif

// The signed path over HTTP: the manifest and its signature fetched and checked, a changed
// manifest refused wherever it was changed.
TEST_F(EngineHttpTest, SignedManifestFetchOverHttp) {
    AddSource("a.bin", Pattern(10, 51));
    PublishManifest();
    server->AddFile("/file.json", ReadFile(work + "file.json"));
    server->AddFile("/file.json.sig", ReadFile(work + "file.json.sig"));
    std::filesystem::remove(work + "file.json");
    std::filesystem::current_path(work);
    cResDownloader fetch;
    const int64_t written = fetch.FetchManifest(server->Url("/file.json").c_str());
    EXPECT_GT(written, 0);
    EXPECT_EQ(written, static_cast<int64_t>(ReadFile(work + "file.json").size()));
    EXPECT_EQ(server->Requests().back().agent, "cResDownloader");
    EXPECT_EQ(server->Requests().back().path, "/file.json.sig");
    const std::string taken = ReadFile(work + "file.json");

    // Rewritten on the way with its signature left as it was: refused, and the manifest taken
    // before stays as it was.
    std::string tampered = taken;
    tampered[tampered.find("a.bin")] = 'b';
    server->AddFile("/file.json", tampered);
    cResDownloader again;
    EXPECT_EQ(again.FetchManifest(server->Url("/file.json").c_str()), 0);
    EXPECT_EQ(again.problem, "is not signed by the publisher (wrong signature)");
    EXPECT_TRUE(SameBytes(ReadFile(work + "file.json"), taken));
    EXPECT_FALSE(std::filesystem::exists(work + "file.json.part"));

    // Changed in the work folder after its check: the manager checks what it reads.
    WriteFile(work + "file.json", tampered);
    cMgrDownloader* manager = RunToEnd();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"cMgrDownloader::DoDownloadFile :: file.json "
                                                   "error (-35) is not signed by the publisher "
                                                   "(wrong signature)"});
    EXPECT_EQ(manager->finished, 0);
    EXPECT_FALSE(std::filesystem::exists(download + "b.bin"));
}

// A second server with the same files: when the first stops in the middle of the run (while a
// large file is fetched in segments), every transfer goes on at the mirror from its bytes on disk.
TEST_F(EngineHttpTest, MirrorTakesOverFromAServerStoppedMidRun) {
    AddSource("big.bin", Pattern(2 * SegmentPlan::kMinSegment, 41));
    for (int i = 0; i < 6; ++i) {
        AddSource("small" + std::to_string(i) + ".bin", Pattern(200000, 42 + i));
    }
    HttpTestServer mirror;
    mirror.ServeFolder(source);
    PublishManifest(true, mirror.Url("/"));
    Behaviour slow;
    slow.bytesPerSecond = 2000000;
    server->SetBehaviour("/big.bin", slow);
    cHttp::Limits limits;
    limits.network.stallMs = 3000;  // a stopped server's connection may stay silent
    cMgrDownloader* manager = StartManager(limits);
    ASSERT_TRUE(WaitFor([&] { return manager->received > 4000000; }));
    server->Stop();
    ASSERT_TRUE(WaitForRunEnd(manager));

    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, TotalSourceBytes());
    EXPECT_TRUE(BoxTexts().empty());
    const std::string log = ReadFile(work + kTransferLogName);
    // Why the first server failed depends on how its end shows: refused, cut or silent.
    EXPECT_NE(log.find(", going on at " + mirror.Url("/big.bin")), std::string::npos) << log;
    bool resumed = false;
    for (const auto& request : mirror.Requests()) {
        resumed |= request.path == "/big.bin" && request.range != "bytes=0-";
    }
    EXPECT_TRUE(resumed);
}

// The first server's copies are wrong (other bytes of the listed size, another size): each is
// refused and fetched whole from the mirror, without a warning.
TEST_F(EngineHttpTest, MirrorServesWhatTheFirstServerHasWrong) {
    AddSource("good.bin", Pattern(100000, 53));
    AddSource("other-size.bin", Pattern(300000, 52));
    AddSource("same-size.bin", Pattern(700000, 51));
    HttpTestServer mirror;
    mirror.ServeFolder(source);
    PublishManifest(true, mirror.Url("/"));
    std::string changed = sources["same-size.bin"];
    changed[400000] = static_cast<char>(~changed[400000]);
    WriteFile(source + "same-size.bin", changed);
    WriteFile(source + "other-size.bin", sources["other-size.bin"] + "tail");
    mirror.AddFile("/same-size.bin", sources["same-size.bin"]);
    mirror.AddFile("/other-size.bin", sources["other-size.bin"]);
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_TRUE(BoxTexts().empty());
    const std::string log = ReadFile(work + kTransferLogName);
    EXPECT_NE(log.find("failed (sent bytes that do not match the file's hash)"), std::string::npos);
    EXPECT_NE(log.find("failed (the file list gives 300000 bytes, the server's answer 300004"),
              std::string::npos);
    std::multiset<std::string> asked;
    for (const auto& request : mirror.Requests()) {
        asked.insert(request.path + " " + request.range);
    }
    EXPECT_EQ(asked,
              (std::multiset<std::string>{"/other-size.bin bytes=0-", "/same-size.bin bytes=0-"}));
}

// Content hashes: the publisher's SHA-256 of every file, checked by the engine.
class EngineHashTest : public EngineHttpTest {
protected:
    // Changes bytes of a file in place (its size stays), as a disk error or a hand would.
    static void Damage(const std::string& path, size_t at, const std::string& bytes) {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(at));
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    size_t Asked(const std::string& path) { return RangesAsked(path).size(); }
};

TEST_F(EngineHashTest, DamagedDownloadIsRepairedByTheNextStart) {
    AddSource("setup.exe", Pattern(2500000, 70));
    AddSource("data/a.bin", Pattern(700000, 71));
    AddSource("data/b.bin", Pattern(3000, 72));
    PublishManifest();
    GiveAppAWindow();
    cMgrDownloader* manager = RunToEnd();
    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_TRUE(BoxTexts().empty());

    // A power cut left zeros at the end of one file, a disk error changed a byte of another.
    const std::string tail(100000, '\0');
    Damage(download + "setup.exe", 2500000 - tail.size(), tail);
    Damage(download + "data/a.bin", 12345, std::string(1, ~sources["data/a.bin"][12345]));
    manager = RunToEnd();
    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, TotalSourceBytes());
    EXPECT_EQ(manager->sessionReceived, 2500000 + 700000);
    EXPECT_TRUE(BoxTexts().empty());
    // One request to confirm the length, one to fetch the file again.
    EXPECT_EQ(Asked("/setup.exe"), 3u);
    EXPECT_EQ(Asked("/data/a.bin"), 3u);
    EXPECT_EQ(Asked("/data/b.bin"), 2u);
}

TEST_F(EngineHashTest, ServersCopyThatDoesNotMatchIsFetchedTwiceThenRefused) {
    AddSource("a.bin", Pattern(900000, 73));
    AddSource("b.bin", Pattern(5000, 74));
    PublishManifest();
    // The server's copy changes after publishing: same size, other bytes.
    std::string changed = sources["a.bin"];
    changed[450000] = static_cast<char>(~changed[450000]);
    WriteFile(source + "a.bin", changed);
    GiveAppAWindow();
    cMgrDownloader* manager = RunToEnd();

    ASSERT_EQ(BoxTexts(),
              (std::vector<std::string>{"cHttp::OnExecute :: content hash error (-38) a.bin",
                                        IncompleteWarning(1, 2, {"a.bin"})}));
    EXPECT_FALSE(std::filesystem::exists(download + "a.bin"));
    EXPECT_TRUE(SameBytes(ReadFile(download + "b.bin"), sources["b.bin"]));
    EXPECT_EQ(RangesAsked("/a.bin"), (std::multiset<std::string>{"bytes=0-", "bytes=0-"}));
    EXPECT_EQ(manager->finished, 0);
    EXPECT_EQ(manager->received, 5000);
    EXPECT_EQ(platform::fake::MessageBoxes()[0].owner, app->MainWindowHandle());
}

TEST_F(EngineHashTest, PartialFilesResumeAndTheirBytesOnDiskAreChecked) {
    AddSource("good.bin", Pattern(2000000, 76));
    AddSource("bad.bin", Pattern(2000000, 77));
    AddSource("cut.bin", Pattern(3000000, 78));
    PublishManifest();
    WriteFile(download + "good.bin", sources["good.bin"].substr(0, 800000));
    // The part on disk is not the file's beginning: found at the end, fetched again whole.
    WriteFile(download + "bad.bin", Pattern(800000, 99));
    Behaviour cut;
    cut.cutAfter = 1234567;
    cut.cutTimes = 1;
    server->SetBehaviour("/cut.bin", cut);
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(manager->received, TotalSourceBytes());
    EXPECT_EQ(RangesAsked("/good.bin"), (std::multiset<std::string>{"bytes=0-", "bytes=800000-"}));
    EXPECT_EQ(RangesAsked("/bad.bin"),
              (std::multiset<std::string>{"bytes=0-", "bytes=800000-", "bytes=0-"}));
    // A connection cut mid-body continues the digest where it was: no second fetch.
    EXPECT_EQ(RangesAsked("/cut.bin"),
              (std::multiset<std::string>{"bytes=0-", "bytes=0-", "bytes=1234567-"}));
}

// The record of verified files spares a later Start from reading complete files again: a file
// recorded with its size and modification time is trusted while both stay as they were.
TEST_F(EngineHashTest, CompleteFilesRecordedAsVerifiedAreNotReadAgain) {
    AddSource("a.bin", Pattern(1000000, 79));
    PublishManifest();
    // The first start finds the file complete, reads it and records it. The library sets times
    // in whole seconds on Windows, whose files keep finer ones: the file starts at a time the
    // library can set back exactly after the damage.
    WriteFile(download + "a.bin", sources["a.bin"]);
    std::filesystem::last_write_time(download + "a.bin",
                                     std::filesystem::last_write_time(download + "a.bin"));
    RunToEnd();
    EXPECT_EQ(Asked("/a.bin"), 1u);
    ExpectEveryFileDownloaded();
    const std::string record = ReadFile(work + kVerifiedRecordName);
    EXPECT_NE(record.find(download + "a.bin"), std::string::npos);
    EXPECT_NE(record.find(std::to_string(1000000)), std::string::npos);

    // Damage that leaves size and time as recorded is not looked for...
    const auto time = std::filesystem::last_write_time(download + "a.bin");
    Damage(download + "a.bin", 10, "XYZ");
    std::filesystem::last_write_time(download + "a.bin", time);
    RunToEnd();
    EXPECT_EQ(Asked("/a.bin"), 2u);
    EXPECT_NE(ReadFile(download + "a.bin"), sources["a.bin"]);

    // ...but without the record the file is read, found damaged and fetched again.
    std::filesystem::remove(work + kVerifiedRecordName);
    RunToEnd();
    ExpectEveryFileDownloaded();
    EXPECT_EQ(Asked("/a.bin"), 4u);
    EXPECT_NE(ReadFile(work + kVerifiedRecordName).find(download + "a.bin"), std::string::npos);
}

// In a build without a key: a signed manifest has a hash for every entry.
TEST_F(EngineHashTest, EntriesWithoutAHashAreNotChecked) {
    UseManifestKey({});
    AddSource("a.bin", Pattern(300000, 80));
    PublishManifest(false);
    RunToEnd();
    ExpectEveryFileDownloaded();
    Damage(download + "a.bin", 10, "XYZ");
    RunToEnd();
    EXPECT_EQ(Asked("/a.bin"), 2u);
    EXPECT_NE(ReadFile(download + "a.bin"), sources["a.bin"]);
    EXPECT_FALSE(std::filesystem::exists(work + kVerifiedRecordName));
}

// A stop may come while a complete file is read back: the file stays as it is, and the next
// Start only has to confirm it.
TEST_F(EngineHashTest, PauseDuringTheCheckOfACompleteFileKeepsIt) {
    AddSource("a.bin", Pattern(64 * 1024 * 1024, 81));
    PublishManifest();
    WriteFile(download + "a.bin", sources["a.bin"]);
    StartManager();
    ASSERT_TRUE(WaitFor([&] { return Asked("/a.bin") == 1; }));
    app->StopDownload();
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(SameBytes(ReadFile(download + "a.bin"), sources["a.bin"]));
    cMgrDownloader* manager = RunToEnd();
    EXPECT_EQ(Asked("/a.bin"), 2u);
    EXPECT_EQ(manager->sessionReceived, 0);
    ExpectEveryFileDownloaded();
}

// Large files in segments: a file of at least two smallest segments, running while no other
// file waits, is shared by the free connections.
class EngineSegmentTest : public EngineHttpTest {
protected:
    static constexpr int64_t kLarge = 5 * SegmentPlan::kMinSegment;

    void AddLargeSource(int64_t bytesPerSecond, bool ignoreRange = false) {
        AddSource("big.bin", Pattern(kLarge, 90));
        Behaviour behaviour;
        behaviour.bytesPerSecond = bytesPerSecond;
        behaviour.ignoreRange = ignoreRange;
        server->SetBehaviour("/big.bin", behaviour);
    }

    // Offsets the file was asked from.
    std::set<int64_t> RangeStarts() {
        std::set<int64_t> starts;
        for (const std::string& range : RangesAsked("/big.bin")) {
            starts.insert(std::stoll(range.substr(std::string("bytes=").size())));
        }
        return starts;
    }

    // The work folder's records of segmented files.
    std::vector<std::string> Records() {
        std::vector<std::string> found;
        for (const auto& item : std::filesystem::directory_iterator(work)) {
            if (item.path().filename().string().rfind("segments-", 0) == 0) {
                found.push_back(item.path().string());
            }
        }
        return found;
    }

    // The gaps a record lists; every other byte of the file on disk must be the source's.
    std::vector<std::pair<int64_t, int64_t>> ExpectRecordHoldsOnlyBytesOnDisk() {
        const std::vector<std::string> records = Records();
        EXPECT_EQ(records.size(), 1u);
        std::vector<std::pair<int64_t, int64_t>> gaps;
        if (records.size() != 1) {
            return gaps;
        }
        std::istringstream in(ReadFile(records[0]));
        std::string tag;
        int64_t length = 0;
        EXPECT_TRUE(in >> tag >> length && length == kLarge);
        for (int64_t from, to; in >> from >> to;) {
            gaps.emplace_back(from, to);
        }
        std::string onDisk = ReadFile(download + "big.bin");
        onDisk.resize(kLarge, '\0');
        std::string expected = sources["big.bin"];
        for (const auto& [from, to] : gaps) {
            std::fill(onDisk.begin() + from, onDisk.begin() + to, '\0');
            std::fill(expected.begin() + from, expected.begin() + to, '\0');
        }
        EXPECT_TRUE(SameBytes(onDisk, expected));
        return gaps;
    }
};

TEST_F(EngineSegmentTest, SplitFileEndsIdenticalAndCountedOnce) {
    AddLargeSource(16 * 1024 * 1024);
    AddSource("small.txt", Pattern(1000, 91));
    PublishManifest();
    GiveAppAWindow();
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, TotalSourceBytes());
    EXPECT_EQ(manager->sessionReceived, TotalSourceBytes());
    // The first transfer's start and the three halves split off for the free connections.
    EXPECT_EQ(RangeStarts().size(), 4u);
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(Records().empty());
}

TEST_F(EngineSegmentTest, PauseMidSegmentsRecordsOnlyBytesOnDiskAndStartFetchesTheGaps) {
    AddLargeSource(4 * 1024 * 1024);
    PublishManifest();
    GiveAppAWindow();
    cMgrDownloader* running = StartManager();
    ASSERT_TRUE(WaitFor([&] {
        return RangeStarts().size() == 4 && running->received >= 2 * SegmentPlan::kMinSegment;
    }));
    app->StopDownload();
    const std::vector<std::pair<int64_t, int64_t>> gaps = ExpectRecordHoldsOnlyBytesOnDisk();
    int64_t missing = 0;
    for (const auto& [from, to] : gaps) {
        missing += to - from;
    }
    EXPECT_GE(gaps.size(), 4u);
    EXPECT_LT(missing, kLarge);

    server->SetBehaviour("/big.bin", Behaviour{});
    cMgrDownloader* manager = RunToEnd();
    ExpectEveryFileDownloaded();
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(manager->received, kLarge);
    EXPECT_EQ(manager->sessionReceived, missing);
    EXPECT_TRUE(Records().empty());
}

TEST_F(EngineSegmentTest, ServerIgnoringRangesKeepsOneConnection) {
    AddLargeSource(32 * 1024 * 1024, true);
    PublishManifest();
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_EQ(RangesAsked("/big.bin"), (std::multiset<std::string>{"bytes=0-"}));
    EXPECT_EQ(manager->received, kLarge);
}

TEST_F(EngineSegmentTest, SplitCopyThatDoesNotMatchIsFetchedTwiceThenRefused) {
    AddLargeSource(32 * 1024 * 1024);
    PublishManifest();
    std::string changed = sources["big.bin"];
    changed[kLarge - 10] = static_cast<char>(~changed[kLarge - 10]);
    WriteFile(source + "big.bin", changed);
    cMgrDownloader* manager = RunToEnd();

    // Both copies were split; the bytes of every transfer are taken back, none counted twice.
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"cHttp::OnExecute :: content hash error (-38) big.bin",
                                        IncompleteWarning(1, 1, {"big.bin"})}));
    EXPECT_GT(RangesAsked("/big.bin").size(), 2u * 4);
    EXPECT_EQ(manager->received, 0);
    EXPECT_FALSE(std::filesystem::exists(download + "big.bin"));
    EXPECT_TRUE(Records().empty());
}

// A split copy that does not match, from a server with a wrong one: the mirror's comes whole,
// from one transfer, so that no part of it comes from the first server again.
TEST_F(EngineSegmentTest, SplitWrongCopyComesWholeFromTheMirror) {
    AddLargeSource(32 * 1024 * 1024);
    HttpTestServer mirror;
    PublishManifest(true, mirror.Url("/"));
    mirror.AddFile("/big.bin", sources["big.bin"]);
    std::string changed = sources["big.bin"];
    changed[kLarge - 10] = static_cast<char>(~changed[kLarge - 10]);
    WriteFile(source + "big.bin", changed);
    cMgrDownloader* manager = RunToEnd();

    ExpectEveryFileDownloaded();
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(manager->received, kLarge);
    EXPECT_EQ(mirror.Requests().size(), 1u);
    EXPECT_TRUE(Records().empty());
}

// A record is trusted only when it fits the file: else the file starts over.
TEST_F(EngineSegmentTest, RecordOfAnEarlierStartIsResumedOnlyWhenItFits) {
    constexpr int64_t kFrom = 3 * SegmentPlan::kMinSegment;
    constexpr int64_t kTo = kFrom + 4 * 1024 * 1024;
    const struct {
        const char* name;
        int64_t listedLength;
        int64_t sizeOnDisk;
        int64_t gapFrom;  // the record's one gap
        int64_t gapTo;
        bool resumed;
    } cases[] = {
        {"fits", kLarge, kLarge, kFrom, kTo, true},
        {"another length", kLarge + 1, kLarge, kFrom, kTo, false},
        {"claims bytes past the file's end", kLarge, kFrom + 1, kFrom, kTo, false},
        {"claims no byte", kLarge, kLarge, 0, kLarge, false},
    };
    // Unhashed, so that the record's name needs no hash: a build without a key takes that.
    UseManifestKey({});
    AddLargeSource(0);
    PublishManifest(false);
    char name[48];
    std::snprintf(name, sizeof name, "segments-%016" PRIx64 ".txt",
                  VerifiedRecord::HashOf(download + "big.bin", ""));
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        std::string holed = sources["big.bin"];
        std::fill(holed.begin() + kFrom, holed.begin() + kTo, '\0');
        holed.resize(static_cast<size_t>(row.sizeOnDisk));
        WriteFile(download + "big.bin", holed);
        WriteFile(work + name, "segments " + std::to_string(row.listedLength) + "\n" +
                                   std::to_string(row.gapFrom) + " " + std::to_string(row.gapTo) +
                                   "\n");
        const size_t asked = server->Requests().size();
        cMgrDownloader* manager = RunToEnd();

        ExpectEveryFileDownloaded();
        EXPECT_EQ(manager->sessionReceived, row.resumed ? kTo - kFrom : kLarge);
        if (row.resumed) {
            // The gap alone, after the request that checks the file.
            const std::vector<test_support::ReceivedRequest> requests = server->Requests();
            ASSERT_EQ(requests.size() - asked, 2u);
            EXPECT_EQ(requests.back().range, "bytes=" + std::to_string(kFrom) + "-");
        }
        EXPECT_TRUE(Records().empty());
    }
}

}  // namespace
}  // namespace engine_test
