// cHttp over the in-memory client: the connection-attempt steps, resume, retries, early ends,
// stops, fatal errors and the checks of every answer before a byte is written.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "download/cResDownloader.h"
#include "engine_fixture.h"
#include "platform/fake_net/fake_net.h"
#include "platform/sha256.h"
#include "recording_transfer.h"

namespace engine_test {
namespace {

using platform::fake_net::Answer;
namespace fake_net = platform::fake_net;

constexpr const char* kUrl = "http://files.test/a.bin";
constexpr const char* kWholeFile =
    "Accept-Encoding:identity\r\nAccept-Ranges:bytes\r\nRange:bytes=0-\r\n";

class TransferTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        fake_net::Reset();
        path = download + "a.bin";
    }

    // Runs a transfer of kUrl into `path` on its own thread, serving the UI thread until it
    // ends. Rethrows a recorded process exit.
    void RunOnThread(RecordingTransfer& transfer) {
        ASSERT_TRUE(transfer.Start());
        try {
            platform::WaitOnUiThread([&] { return transfer.running == 0; });
            platform::fake::PumpUiThread();
        } catch (const platform::fake::ProcessExit&) {
            // The exiting thread is still unwinding; let it finish before anything joins it.
            while (transfer.running != 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            throw;
        }
        transfer.Stop();
    }

    std::string path;
};

TEST_F(TransferTest, FreshFileIsOneWholeFileRequest) {
    const std::string body = Pattern(300000, 1);
    fake_net::Serve(kUrl, body);
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    ASSERT_EQ(fake_net::Requests().size(), 1u);
    EXPECT_EQ(fake_net::Requests()[0].headers, kWholeFile);
    EXPECT_EQ(fake_net::Requests()[0].agent, "cFileDownloader");
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 0", "finish 0 300000"}));
    EXPECT_EQ(transfer.ReceivedTotal(), 300000);
    EXPECT_FALSE(std::filesystem::exists(work + kTransferLogName));
}

TEST_F(TransferTest, CompleteFileIsConfirmedWithoutReadingOrTouchingIt) {
    const std::string body = Pattern(5000, 2);
    fake_net::Serve(kUrl, body);
    WriteFile(path, body);
    const auto before = std::filesystem::last_write_time(path);
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 5000", "finish 5000 5000"}));
    EXPECT_EQ(transfer.ReceivedTotal(), 0);
    EXPECT_EQ(fake_net::Requests().size(), 1u);
    EXPECT_EQ(std::filesystem::last_write_time(path), before);
}

TEST_F(TransferTest, PartialFileIsResumedWithARange) {
    const std::string body = Pattern(5000, 3);
    fake_net::Serve(kUrl, body);
    WriteFile(path, body.substr(0, 1000));
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    const auto requests = fake_net::Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].headers, kWholeFile);
    EXPECT_EQ(requests[1].headers,
              "Accept-Encoding:identity\r\nAccept-Ranges:bytes\r\nRange:bytes=1000-\r\n");
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 1000", "finish 1000 5000"}));
    EXPECT_EQ(transfer.ReceivedTotal(), 4000);
}

TEST_F(TransferTest, EarlyEndReconnectsFromTheBytesWrittenAndLogsOnce) {
    const std::string body = Pattern(200000, 4);
    Answer cut;
    cut.cutAfter = 70000;
    fake_net::Serve(kUrl, body, {cut, Answer{}});
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    const auto requests = fake_net::Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].headers, kWholeFile);
    EXPECT_EQ(requests[2].headers,
              "Accept-Encoding:identity\r\nAccept-Ranges:bytes\r\nRange:bytes=70000-\r\n");
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 0", "finish 70000 200000"}));
    ASSERT_EQ(LogLines().size(), 1u);
    EXPECT_TRUE(IsLogLine(LogLines()[0], "cHttp::OnExecute :: network error (-92)"));
    EXPECT_EQ(fake_net::SessionsOpened(), 2);
}

// Servers that answer but bring the file no further (the same bytes again, or half of what they
// announce, which converges on a last byte that never comes): the file is given up with a
// warning that names it, instead of ending the program.
TEST_F(TransferTest, AnswersThatGetNowhereGiveTheFileUp) {
    const std::string body = Pattern(100000, 5);
    Answer again;
    again.honourRange = false;
    again.cutAfter = 1000;
    Answer half;
    half.cutAtHalf = true;
    for (const Answer& answer : {again, half}) {
        fake_net::Serve(kUrl, body, {answer});
        RecordingTransfer transfer(kUrl, path, true);
        transfer.limits.progressMs = 300;
        RunOnThread(transfer);

        EXPECT_FALSE(platform::fake::ExitCode());
        EXPECT_TRUE(transfer.failed);
        EXPECT_EQ(BoxTexts().back().rfind(
                      "cHttp::OnExecute :: network error (-5)\n\"" + path + "\": ", 0),
                  0u);
        for (const std::string& hook : transfer.Hooks()) {
            EXPECT_NE(hook.rfind("finish", 0), 0u) << hook;
        }
        const std::string kept = ReadFile(path);
        EXPECT_TRUE(SameBytes(kept, body.substr(0, kept.size())));
    }
    EXPECT_EQ(BoxTexts().size(), 2u);
}

// A server reached without a secure connection (an untrusted certificate, a wrong name) is told
// as such, not as one that cannot be reached.
TEST_F(TransferTest, ServerAwayLongerThanTheOutageLimitEndsTheProgram) {
    if (!platform::fake::kWorkerExitUnwinds) {
        GTEST_SKIP() << "a fatal end on a worker thread cannot be simulated here";
    }
    struct Case {
        bool insecure;
        std::string text;
    };
    for (const Case& c :
         {Case{false,
               "Currently you are not able to reach the server.\nPlease check your network "
               "and retry again."},
          Case{true,
               "Currently you are not able to reach the server securely: its certificate is "
               "not trusted or not made out to its name.\nPlease check your network and "
               "retry again."}}) {
        platform::fake::Reset();
        Answer refuse;
        refuse.refuse = !c.insecure;
        refuse.insecure = c.insecure;
        fake_net::Serve(kUrl, "x", {refuse});
        RecordingTransfer transfer(kUrl, path, true);
        transfer.limits.outageMs = 200;
        transfer.limits.firstWaitMs = 20;
        transfer.limits.longestWaitMs = 1000;
        const size_t asked = fake_net::Requests().size();
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_THROW(RunOnThread(transfer), platform::fake::ProcessExit);

        EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(200));
        EXPECT_EQ(platform::fake::ExitCode(), -11);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.text});
        EXPECT_EQ(transfer.Hooks(), std::vector<std::string>{"wait"});
        // After 20, 40, 80 and the rest of 200 ms.
        EXPECT_LE(fake_net::Requests().size() - asked, 5u);
    }
}

TEST_F(TransferTest, StopWhileWaitingForTheServerReturnsAtOnce) {
    Answer refuse;
    refuse.refuse = true;
    fake_net::Serve(kUrl, "x", {refuse});
    RecordingTransfer transfer(kUrl, path, true);
    transfer.limits.firstWaitMs = 60000;
    ASSERT_TRUE(transfer.Start());
    ASSERT_TRUE(WaitFor([&] { return !transfer.Hooks().empty(); }));

    const auto begin = std::chrono::steady_clock::now();
    transfer.StopTransfer();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"wait", "answered"}));
    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_TRUE(BoxTexts().empty());
}

// After a content mismatch the file is fetched again from 0: getting further counts from there,
// so nine early ends in the new copy, each one further than the last, do not end the program.
TEST_F(TransferTest, ProgressOfACopyStartedOverCountsFromItsStart) {
    const std::string body = Pattern(5000, 7);
    platform::Sha256 hash;
    hash.Update(body.data(), body.size());
    Answer cut;
    cut.cutAfter = 500;
    // The damaged file's rest, the new copy's first part, then eight attempts of a length
    // query and a range cut after 500 bytes, then the rest.
    Answer rest;
    rest.chunk = 100;  // read in parts, so the first copy gets as far as 4900 before its end
    std::vector<Answer> answers{Answer{}, rest, cut};
    for (int attempt = 0; attempt < 8; ++attempt) {
        answers.push_back(Answer{});
        answers.push_back(cut);
    }
    answers.push_back(Answer{});
    fake_net::Serve(kUrl, body, answers);
    WriteFile(path, std::string(1000, 'x'));
    RecordingTransfer transfer(kUrl, path, true);
    transfer.sha256 = hash.FinishHex();
    RunOnThread(transfer);

    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(LogLines().size(), 9u);
}

TEST_F(TransferTest, AChunkBetweenEarlyEndsResetsTheCount) {
    const std::string body = Pattern(1000, 6);
    Answer none;
    none.cutAfter = 0;
    Answer some;
    some.cutAfter = 10;
    std::vector<Answer> answers(8, none);
    answers.push_back(some);
    answers.insert(answers.end(), 7, none);
    answers.push_back(Answer{});
    fake_net::Serve(kUrl, body, answers);
    // Without resume every attempt is one request, so the script maps to attempts one to one:
    // 8 ends, a chunk and its end (the count is back to 1), 7 ends, then the whole body.
    RecordingTransfer transfer(kUrl, path, false);
    RunOnThread(transfer);

    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(LogLines().size(), 16u);
}

TEST_F(TransferTest, FailedReadsAreRetriedInPlace) {
    const std::string body = Pattern(100000, 7);
    Answer flaky;
    flaky.failAt = 30000;
    flaky.failReads = 9;
    fake_net::Serve(kUrl, body, {flaky});
    RecordingTransfer transfer(kUrl, path, true);
    const auto begin = std::chrono::steady_clock::now();
    RunOnThread(transfer);

    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(9 * 30));
    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(fake_net::Requests().size(), 1u);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(TransferTest, TenFailedReadsReconnectWithoutAWarning) {
    const std::string body = Pattern(100000, 8);
    Answer broken;
    broken.failAt = 30000;
    broken.failReads = 10;
    fake_net::Serve(kUrl, body, {broken, Answer{}});
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(LogLines().size(), 1u);
}

TEST_F(TransferTest, StopWhileAReadIsBlockedReturnsAtOnceWithoutFinish) {
    const std::string body = Pattern(500000, 9);
    Answer stall;
    stall.blockAt = 100000;
    fake_net::Serve(kUrl, body, {stall});
    RecordingTransfer transfer(kUrl, path, true);
    ASSERT_TRUE(transfer.Start());
    ASSERT_TRUE(fake_net::WaitForBlockedReads(1, std::chrono::seconds(10)));

    const auto begin = std::chrono::steady_clock::now();
    transfer.StopTransfer();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
    // Started, maybe rewritten from 0 where the range was ignored, never finished.
    const std::vector<std::string> hooks = transfer.Hooks();
    ASSERT_FALSE(hooks.empty());
    EXPECT_EQ(hooks[0], "start 0");
    for (const std::string& hook : hooks) {
        EXPECT_EQ(hook.rfind("finish", 0), std::string::npos);
    }
    const std::string kept = ReadFile(path);
    EXPECT_GE(kept.size(), 100000u);
    EXPECT_TRUE(SameBytes(kept, body.substr(0, kept.size())));
    EXPECT_EQ(fake_net::SessionsClosed(), fake_net::SessionsOpened());
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(TransferTest, StopBetweenReadsWritesTheChunkAndFinishes) {
    const std::string body = Pattern(300000, 10);
    Answer small;
    small.chunk = 1000;
    fake_net::Serve(kUrl, body, {small});
    RecordingTransfer transfer(kUrl, path, true);
    transfer.stopAfterFirstChunk = true;
    RunOnThread(transfer);

    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 0", "finish 0 1000"}));
    EXPECT_TRUE(SameBytes(ReadFile(path), body.substr(0, 1000)));
}

TEST_F(TransferTest, MissingLengthWhileRunningEndsTheProgramWithTheNetworkText) {
    if (!platform::fake::kWorkerExitUnwinds) {
        GTEST_SKIP() << "a fatal end on a worker thread cannot be simulated here";
    }
    Answer chunked;
    chunked.contentLength = "";
    fake_net::Serve(kUrl, Pattern(1000, 11), {chunked});
    RecordingTransfer transfer(kUrl, path, true);
    EXPECT_THROW(RunOnThread(transfer), platform::fake::ProcessExit);

    EXPECT_EQ(platform::fake::ExitCode(), -11);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "Currently you are not able to reach the server.\nPlease check your "
                              "network and retry again."});
    EXPECT_FALSE(std::filesystem::exists(path));
}

// An answer without a length (chunked) that goes past the listed size is not the listed file.
TEST_F(TransferTest, AnswerWithoutALengthPastTheListedSizeIsRefused) {
    Answer chunked;
    chunked.contentLength = "";
    chunked.honourRange = false;
    fake_net::Serve(kUrl, Pattern(200000, 14), {chunked});
    RecordingTransfer transfer(kUrl, path, true);
    transfer.expectedSize = 199000;
    RunOnThread(transfer);

    EXPECT_TRUE(transfer.failed);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 0", "rewind 0"}));
    ASSERT_EQ(BoxTexts().size(), 1u);
    EXPECT_NE(BoxTexts()[0].find("size error (-14)"), std::string::npos) << BoxTexts()[0];
}

TEST_F(TransferTest, NoSessionEndsQuietlyWithoutHooks) {
    fake_net::Serve(kUrl, "x");
    fake_net::RefuseSessions(true);
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(transfer.Hooks().empty());
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(TransferTest, MoreThanABufferAvailableAtFirstEndsTheProgram) {
    if (!platform::fake::kWorkerExitUnwinds) {
        GTEST_SKIP() << "a fatal end on a worker thread cannot be simulated here";
    }
    Answer big;
    big.chunk = 2 * cHttp::kBufferSize;
    fake_net::Serve(kUrl, Pattern(3 * cHttp::kBufferSize, 12), {big});
    RecordingTransfer transfer(kUrl, path, true);
    EXPECT_THROW(RunOnThread(transfer), platform::fake::ProcessExit);
    EXPECT_EQ(platform::fake::ExitCode(), -4);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"cHttp::OnExecute :: network error (-4)"});
}

TEST_F(TransferTest, UnopenableFileWarnsAndEndsWithoutFinish) {
    fake_net::Serve(kUrl, Pattern(1000, 13));
    RecordingTransfer transfer(kUrl, download + "missing/a.bin", true);
    RunOnThread(transfer);

    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"cHttp::OnExecute :: file open error (-31)"});
    EXPECT_EQ(transfer.Hooks(), std::vector<std::string>{"start 0"});
}

// An answer that is not the file is never written, whatever its length.
TEST_F(TransferTest, ErrorPageIsNotStoredAndTheWarningNamesTheStatus) {
    for (int status : {404, 500}) {
        fake_net::Reset();
        Answer error;
        error.status = status;
        fake_net::Serve(kUrl, "<html><body>" + std::to_string(status) + "</body></html>", {error});
        RecordingTransfer transfer(kUrl, path, true);
        RunOnThread(transfer);

        EXPECT_FALSE(std::filesystem::exists(path)) << status;
        EXPECT_TRUE(transfer.Hooks().empty()) << status;
        EXPECT_EQ(BoxTexts().back(),
                  "cHttp::OnExecute :: http status error " + std::to_string(status) + " (-6)");
    }
    EXPECT_FALSE(platform::fake::ExitCode());
}

TEST_F(TransferTest, ErrorAnswerToTheRangeLeavesThePartialFileAsItWas) {
    const std::string body = Pattern(5000, 14);
    Answer error;
    error.status = 503;
    fake_net::Serve(kUrl, body, {Answer{}, error});
    WriteFile(path, body.substr(0, 1000));
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body.substr(0, 1000)));
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"cHttp::OnExecute :: http status error 503 (-6)"});
    EXPECT_TRUE(transfer.Hooks().empty());
}

TEST_F(TransferTest, IgnoredRangeRewritesTheFileFromTheStart) {
    const std::string body = Pattern(5000, 15);
    Answer whole;
    whole.honourRange = false;
    fake_net::Serve(kUrl, body, {whole});
    WriteFile(path, std::string(1000, 'x'));
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 0", "finish 0 5000"}));
    EXPECT_EQ(transfer.ReceivedTotal(), 5000);
}

TEST_F(TransferTest, IgnoredRangeOnAReconnectionRewindsTheCountedBytes) {
    const std::string body = Pattern(200000, 16);
    Answer cut;
    cut.cutAfter = 50000;
    Answer whole;
    whole.honourRange = false;
    fake_net::Serve(kUrl, body, {cut, whole});
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(transfer.Hooks(),
              (std::vector<std::string>{"start 0", "rewind 0", "finish 0 200000"}));
}

TEST_F(TransferTest, RangeAnswerOfTheWrongLengthIsRefused) {
    const std::string body = Pattern(5000, 17);
    Answer wrongLength;
    wrongLength.contentLength = "10";
    fake_net::Serve(kUrl, body, {Answer{}, wrongLength});
    WriteFile(path, body.substr(0, 1000));
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body.substr(0, 1000)));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"cHttp::OnExecute :: range error (-7)"});
}

TEST_F(TransferTest, LongerLocalFileIsStartedOver) {
    const std::string body = Pattern(3000, 18);
    fake_net::Serve(kUrl, body);
    WriteFile(path, Pattern(8000, 19));
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 0", "finish 0 3000"}));
    EXPECT_EQ(fake_net::Requests().size(), 1u);
}

TEST_F(TransferTest, EmptyFileOnTheServerIsAnEmptyFile) {
    fake_net::Serve(kUrl, "");
    WriteFile(path, "stale");
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_FALSE(platform::fake::ExitCode());
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 0", "finish 0 0"}));
}

TEST_F(TransferTest, BytesBeyondTheAnnouncedLengthAreNotStored) {
    const std::string body = Pattern(5000, 20);
    Answer lying;
    lying.honourRange = false;
    lying.contentLength = "4000";
    fake_net::Serve(kUrl, body, {lying});
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body.substr(0, 4000)));
}

// A partial answer's Content-Range names the whole file's size; its length is only the part.
TEST_F(TransferTest, CappedRangesAreFetchedPartByPartIntoTheWholeFile) {
    const std::string body = Pattern(250000, 22);
    Answer capped;
    capped.rangeCap = 60000;
    fake_net::Serve(kUrl, body, {capped});
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(transfer.ReceivedTotal(), 250000);
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 0", "finish 240000 250000"}));
    // Each continuation asks for the whole file's size again, then for the rest.
    const auto requests = fake_net::Requests();
    ASSERT_EQ(requests.size(), 9u);
    for (int part = 1; part < 5; ++part) {
        EXPECT_EQ(requests[2 * part - 1].headers, kWholeFile);
        EXPECT_EQ(requests[2 * part].headers,
                  "Accept-Encoding:identity\r\nAccept-Ranges:bytes\r\nRange:bytes=" +
                      std::to_string(part * 60000) + "-\r\n");
    }
    EXPECT_EQ(LogLines().size(), 4u);
}

// More parts than the early-end limit: each part that delivers bytes starts the count anew.
TEST_F(TransferTest, ManyCappedPartsDoNotReachTheEarlyEndLimit) {
    const std::string body = Pattern(30000, 23);
    Answer capped;
    capped.rangeCap = 1000;
    fake_net::Serve(kUrl, body, {capped});
    RecordingTransfer transfer(kUrl, path, false);
    RunOnThread(transfer);

    EXPECT_FALSE(platform::fake::ExitCode());
    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    // Even without resume a capped part is continued, never fetched again from 0.
    EXPECT_EQ(transfer.ReceivedTotal(), 30000);
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 0", "finish 29000 30000"}));
}

TEST_F(TransferTest, PartialFileIsResumedAgainstACappingServer) {
    const std::string body = Pattern(100000, 24);
    Answer capped;
    capped.rangeCap = 30000;
    fake_net::Serve(kUrl, body, {capped});
    WriteFile(path, body.substr(0, 25000));
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(transfer.ReceivedTotal(), 75000);
    EXPECT_EQ(transfer.Hooks(), (std::vector<std::string>{"start 25000", "finish 85000 100000"}));
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(TransferTest, PartialAnswerWhoseLengthIsNotItsRangeIsRefused) {
    const std::string body = Pattern(5000, 25);
    Answer lying;
    lying.contentLength = "4000";
    fake_net::Serve(kUrl, body, {lying});
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(transfer.Hooks().empty());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"cHttp::OnExecute :: range error (-7)"});
}

// The rest of another version of the file must not be appended to this one's start.
TEST_F(TransferTest, ResumedAnswerOfAnotherTotalIsRefusedWithoutWriting) {
    const std::string body = Pattern(5000, 26);
    Answer other;
    other.rangeTotal = 6000;
    fake_net::Serve(kUrl, body, {Answer{}, other});
    WriteFile(path, body.substr(0, 1000));
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body.substr(0, 1000)));
    EXPECT_TRUE(transfer.Hooks().empty());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"cHttp::OnExecute :: range error (-7)"});
}

TEST_F(TransferTest, ResumedAnswerLongerThanTheRestIsRefused) {
    const std::string body = Pattern(5000, 27);
    Answer tooLong;
    tooLong.contentLength = "4001";
    fake_net::Serve(kUrl, body, {Answer{}, tooLong});
    WriteFile(path, body.substr(0, 1000));
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_TRUE(SameBytes(ReadFile(path), body.substr(0, 1000)));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"cHttp::OnExecute :: range error (-7)"});
}

// A length too long for 64 bits is refused, never read as its first digits.
TEST_F(TransferTest, LengthBeyond64BitsIsRefused) {
    Answer huge;
    huge.contentLength = "92233720368547758070";
    fake_net::Serve(kUrl, Pattern(1000, 28), {huge});
    RecordingTransfer transfer(kUrl, path, true);
    RunOnThread(transfer);

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(transfer.Hooks().empty());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              "cHttp::OnExecute :: size error (-14)\n\"" + path +
                              "\": the server's answer states a length that is no 64-bit size "
                              "(92233720368547758070)"});
    EXPECT_EQ(fake_net::Requests().size(), 1u);
}

// The answer to the range must agree with the listed size as well: a whole-file 200 of another
// length, or a 206 of another total, leaves the partial file as it was.
TEST_F(TransferTest, ResumedAnswerDisagreeingWithTheListedSizeLeavesThePartialFile) {
    Answer shortWhole;
    shortWhole.honourRange = false;
    shortWhole.contentLength = "48";
    Answer otherTotal;
    otherTotal.rangeTotal = 6000;
    for (const auto& [resumed, stated] : {std::pair{shortWhole, 48}, std::pair{otherTotal, 6000}}) {
        fake_net::Reset();
        const std::string body = Pattern(5000, 29);
        fake_net::Serve(kUrl, body, {Answer{}, resumed});
        WriteFile(path, body.substr(0, 1000));
        RecordingTransfer transfer(kUrl, path, true);
        transfer.expectedSize = 5000;
        RunOnThread(transfer);

        EXPECT_TRUE(SameBytes(ReadFile(path), body.substr(0, 1000))) << stated;
        EXPECT_TRUE(transfer.Hooks().empty()) << stated;
        EXPECT_EQ(BoxTexts().back(),
                  "cHttp::OnExecute :: size error (-14)\n\"" + path +
                      "\": the file list gives 5000 bytes, the server's answer " +
                      std::to_string(stated) + " bytes");
    }
}

TEST_F(TransferTest, ManifestFetchRewritesFromScratchAndAnswersTheBytes) {
    const std::string manifest =
        "{\"TotalCount\": 0, \"TotalSize\": 0, \"URL\": \"http://files.test/\"}";
    fake_net::Serve("http://files.test/file.json", manifest);
    WriteFile(download + "file.json", Pattern(100, 21));
    std::filesystem::current_path(download);
    cResDownloader fetch;
    EXPECT_EQ(fetch.FetchManifest("http://files.test/file.json"),
              static_cast<int64_t>(manifest.size()));
    EXPECT_TRUE(SameBytes(ReadFile(download + "file.json"), manifest));
    EXPECT_EQ(fake_net::Requests()[0].headers, kWholeFile);
    EXPECT_EQ(fake_net::Requests()[0].agent, "cResDownloader");
    EXPECT_EQ(fetch.running, 0);
}

TEST_F(TransferTest, ManifestFetchOfAnErrorPageAnswersZero) {
    Answer missing;
    missing.status = 404;
    fake_net::Serve("http://files.test/file.json", "<html>gone</html>", {missing});
    std::filesystem::current_path(download);
    cResDownloader fetch;
    EXPECT_EQ(fetch.FetchManifest("http://files.test/file.json"), 0);
    EXPECT_FALSE(std::filesystem::exists(download + "file.json"));
}

// A manifest whose reads keep failing (a stalled server) is given up at once, with the
// warning, rather than asked for again and again.
TEST_F(TransferTest, ManifestFetchGivesUpWhenReadsKeepFailing) {
    Answer failing;
    failing.failAt = 10;
    failing.failReads = 1000;
    failing.chunk = 10;
    fake_net::Serve("http://files.test/file.json", std::string(100, 'x'), {failing});
    std::filesystem::current_path(download);
    cResDownloader fetch;
    EXPECT_EQ(fetch.FetchManifest("http://files.test/file.json"), 0);
    EXPECT_EQ(fake_net::Requests().size(), 1u);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"cHttp::OnExecute :: network error (-5)"});
}

// Every test starts as a new process would, with the process-wide limit unset.
TEST_F(TransferTest, ConnectionLimitIsSetOnceBeforeTheFirstTransfer) {
    RecordingTransfer first(kUrl, path, true);
    RecordingTransfer second(kUrl, path, true);
    EXPECT_EQ(cHttp::GetMaxConnections(), 4u);
    EXPECT_EQ(fake_net::ConnectionLimitCalls(), 1);
    EXPECT_EQ(fake_net::LastConnectionLimitAsked(), 4u);
}

TEST_F(TransferTest, RefusedConnectionLimitEndsTheProgram) {
    fake_net::SetConnectionLimitAnswer(0);
    EXPECT_THROW(RecordingTransfer(kUrl, path, true), platform::fake::ProcessExit);
    EXPECT_EQ(platform::fake::ExitCode(), -13);
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{
                  "cHttp::GetMaxConnections :: network error(-13) - connection setting"});
}

}  // namespace
}  // namespace engine_test
