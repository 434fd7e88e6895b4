// cHttp with a mirror over the in-memory client: which failures hand the file on, from which
// bytes the mirror goes on, what the log says, and that the user hears only of a total failure.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "platform/fake_net/fake_net.h"
#include "platform/sha256.h"
#include "recording_transfer.h"

namespace engine_test {
namespace {

using platform::fake_net::Answer;
namespace fake_net = platform::fake_net;

constexpr const char* kFirst = "http://first.test/a.bin";
constexpr const char* kMirror = "http://mirror.test/a.bin";

class MirrorTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        fake_net::Reset();
        path = download + "a.bin";
    }

    // Runs the file, 5000 bytes with its hash, from kFirst with kMirror behind it.
    void Run(RecordingTransfer& transfer) {
        platform::Sha256 hash;
        hash.Update(body.data(), body.size());
        transfer.mirrors = {kMirror};
        transfer.expectedSize = static_cast<int64_t>(body.size());
        transfer.sha256 = hash.FinishHex();
        transfer.limits.progressMs = 300;
        ASSERT_TRUE(transfer.Start());
        platform::WaitOnUiThread([&] { return transfer.running == 0; });
        platform::fake::PumpUiThread();
        transfer.Stop();
    }

    // The ranges asked of `url`, in order.
    static std::vector<std::string> RangesOf(const std::string& url) {
        std::vector<std::string> ranges;
        for (const auto& request : fake_net::Requests()) {
            if (request.url == url) {
                ranges.push_back(request.headers.substr(request.headers.rfind('=') + 1));
            }
        }
        return ranges;
    }

    std::string path;
    std::string body = Pattern(5000, 31);
};

// Each way the first server fails the file, with 1000 bytes of it on disk: the mirror completes
// it from those bytes, or from 0 when what the first server sent is suspect.
TEST_F(MirrorTest, EachKindOfFailureHandsTheFileToTheMirror) {
    struct Case {
        Answer answer;
        std::string firstBody;
        bool keepsBytes;
        const char* reason;
    };
    Answer refuse, unavailable, missing, nowhere, encoded, lyingRange;
    refuse.refuse = true;
    unavailable.status = 503;
    missing.status = 404;
    nowhere.honourRange = false;  // the same first bytes again and again
    nowhere.cutAfter = 1000;
    encoded.contentEncoding = "gzip";
    lyingRange.rangeFirst = 0;
    std::string changed = body;
    changed[3000] = static_cast<char>(~changed[3000]);
    for (const Case& c : std::vector<Case>{
             {refuse, body, true, " cannot be reached"},
             {unavailable, body, true, " failed (answered 503)"},
             {missing, body, true, " failed (answered 404)"},
             {nowhere, body, true, " failed (got nowhere)"},
             {encoded, body, true, " failed (the server sends it encoded"},
             {lyingRange, body, true, " failed (answered a range wrongly)"},
             {Answer{}, body + "x", false, " failed (the file list gives 5000 bytes"},
             {Answer{}, changed, false, " failed (sent bytes that do not match the file's hash)"},
         }) {
        SCOPED_TRACE(c.reason);
        fake_net::Reset();
        std::filesystem::remove(work + kTransferLogName);
        WriteFile(path, body.substr(0, 1000));
        fake_net::Serve(kFirst, c.firstBody, {c.answer});
        fake_net::Serve(kMirror, body);
        RecordingTransfer transfer(kFirst, path, true);
        Run(transfer);

        EXPECT_TRUE(SameBytes(ReadFile(path), body));
        EXPECT_TRUE(BoxTexts().empty());
        const std::string from = c.keepsBytes ? "1000" : "0";
        EXPECT_EQ(transfer.Hooks().back(), "finish " + from + " 5000");
        const std::vector<std::string> asked{"0-\r\n", "1000-\r\n"};
        EXPECT_EQ(RangesOf(kMirror),
                  std::vector<std::string>(asked.begin(), asked.begin() + (c.keepsBytes ? 2 : 1)));
        const std::string log = ReadFile(work + kTransferLogName);
        EXPECT_NE(log.find("\"" + path + "\": " + kFirst + c.reason), std::string::npos) << log;
        EXPECT_NE(log.find(std::string(", going on at ") + kMirror), std::string::npos) << log;
        EXPECT_NE(log.find("\"" + path + "\" from " + kMirror + " at byte " + from + "\r\n"),
                  std::string::npos)
            << log;
    }
}

// Every server failing the file: one warning, the last one's. A copy that does not match is
// fetched once more from the last server before it is refused and removed.
TEST_F(MirrorTest, EveryServerFailingIsOneWarning) {
    Answer unavailable, missing;
    unavailable.status = 503;
    missing.status = 404;
    std::string changed = body;
    changed[10] = static_cast<char>(~changed[10]);
    struct Case {
        Answer first, mirror;
        std::string served, warning;
        size_t askedOfMirror;
    };
    for (const Case& c : std::vector<Case>{
             {unavailable, missing, body, "cHttp::OnExecute :: http status error 404 (-6)", 1},
             {Answer{}, Answer{}, changed, "cHttp::OnExecute :: content hash error (-38) " + path,
              2}}) {
        fake_net::Reset();
        const size_t boxes = BoxTexts().size();
        fake_net::Serve(kFirst, c.served, {c.first});
        fake_net::Serve(kMirror, c.served, {c.mirror});
        RecordingTransfer transfer(kFirst, path, true);
        Run(transfer);

        ASSERT_EQ(BoxTexts().size(), boxes + 1);
        EXPECT_EQ(BoxTexts().back(), c.warning);
        EXPECT_EQ(RangesOf(kFirst).size(), 1u);
        EXPECT_EQ(RangesOf(kMirror).size(), c.askedOfMirror);
        const std::vector<std::string> hooks = transfer.Hooks();
        EXPECT_TRUE(hooks.empty() || hooks.back().rfind("finish", 0) != 0) << hooks.back();
    }
}

// The outage wait is the whole set's: a server that cannot be reached passes the file on at
// once; only when none can be reached does the transfer wait, then begin with the first again.
TEST_F(MirrorTest, OutageWaitBeginsOnlyWhenNoServerCanBeReached) {
    Answer refuse;
    refuse.refuse = true;
    fake_net::Serve(kFirst, body, {refuse});
    fake_net::Serve(kMirror, body, {refuse, Answer{}});
    RecordingTransfer transfer(kFirst, path, true);
    transfer.limits.firstWaitMs = 100;
    const auto begin = std::chrono::steady_clock::now();
    Run(transfer);

    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(100));
    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(transfer.Hooks(),
              (std::vector<std::string>{"wait", "answered", "start 0", "finish 0 5000"}));
    EXPECT_EQ(RangesOf(kFirst).size(), 2u);
    EXPECT_EQ(RangesOf(kMirror).size(), 2u);
}

}  // namespace
}  // namespace engine_test
