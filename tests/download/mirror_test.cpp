// cHttp with mirrors over the in-memory client: which failures of a server hand the file to the
// next one, what of the bytes on disk the next one goes on from, what the log says, and that
// the user hears of it only when every server failed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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
constexpr const char* kWholeFile =
    "Accept-Encoding:identity\r\nAccept-Ranges:bytes\r\nRange:bytes=0-\r\n";
constexpr const char* kFrom1000 =
    "Accept-Encoding:identity\r\nAccept-Ranges:bytes\r\nRange:bytes=1000-\r\n";

class MirrorTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        fake_net::Reset();
        path = download + "a.bin";
        body = Pattern(5000, 31);
        platform::Sha256 hash;
        hash.Update(body.data(), body.size());
        sha256 = hash.FinishHex();
    }

    // A transfer of the file from kFirst with kMirror behind it.
    std::unique_ptr<RecordingTransfer> Transfer() {
        auto transfer = std::make_unique<RecordingTransfer>(kFirst, path, true);
        transfer->mirrors = {kMirror};
        transfer->expectedSize = static_cast<int64_t>(body.size());
        transfer->sha256 = sha256;
        transfer->limits.progressMs = 300;
        return transfer;
    }

    void Run(RecordingTransfer& transfer) {
        ASSERT_TRUE(transfer.Start());
        platform::WaitOnUiThread([&] { return transfer.running == 0; });
        platform::fake::PumpUiThread();
        transfer.Stop();
    }

    // The headers of each request to `url`, in order.
    static std::vector<std::string> AskedOf(const std::string& url) {
        std::vector<std::string> asked;
        for (const auto& request : fake_net::Requests()) {
            if (request.url == url) {
                asked.push_back(request.headers);
            }
        }
        return asked;
    }

    // The log's lines after the build stamp.
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const std::string& line : LogLines()) {
            texts.push_back(line.substr(21, line.size() - 22));
        }
        return texts;
    }

    std::string path;
    std::string body;
    std::string sha256;
};

// Each way the first server can fail the file, with the first 1000 bytes already on disk: the
// mirror completes it, from those bytes unless what the first server sent is suspect.
TEST_F(MirrorTest, EachKindOfFailureHandsTheFileToTheMirror) {
    struct Case {
        const char* kind;
        Answer answer;
        std::string firstBody;  // what the first server holds
        bool keepsBytes;
        const char* reason;  // in the log's line of the switch
    };
    Answer refuse;
    refuse.refuse = true;
    Answer unavailable;
    unavailable.status = 503;
    Answer missing;
    missing.status = 404;
    Answer nowhere;  // the same first bytes again and again
    nowhere.honourRange = false;
    nowhere.cutAfter = 1000;
    Answer encoded;
    encoded.contentEncoding = "gzip";
    Answer lyingRange;
    lyingRange.rangeFirst = 0;
    std::string changed = body;
    changed[3000] = static_cast<char>(~changed[3000]);
    const std::vector<Case> cases{
        {"unreachable", refuse, body, true, "cannot be reached"},
        {"5xx", unavailable, body, true, "answered 503"},
        {"missing", missing, body, true, "answered 404"},
        {"gets nowhere", nowhere, body, true, "got nowhere"},
        {"encoded", encoded, body, true, "sends it encoded"},
        {"wrong range", lyingRange, body, true, "answered a range wrongly"},
        {"other size", Answer{}, body + "x", false, "the file list gives 5000 bytes"},
        {"other bytes", Answer{}, changed, false, "do not match the file's hash"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        fake_net::Reset();
        std::filesystem::remove(work + kTransferLogName);
        const size_t boxes = BoxTexts().size();
        WriteFile(path, body.substr(0, 1000));
        fake_net::Serve(kFirst, c.firstBody, {c.answer});
        fake_net::Serve(kMirror, body);
        const auto transfer = Transfer();
        Run(*transfer);

        EXPECT_TRUE(SameBytes(ReadFile(path), body));
        EXPECT_FALSE(transfer->failed);
        EXPECT_EQ(BoxTexts().size(), boxes);
        EXPECT_EQ(transfer->Hooks().back(),
                  "finish " + std::string(c.keepsBytes ? "1000" : "0") + " 5000");
        const std::vector<std::string> asked = c.keepsBytes
                                                   ? std::vector<std::string>{kWholeFile, kFrom1000}
                                                   : std::vector<std::string>{kWholeFile};
        EXPECT_EQ(AskedOf(kMirror), asked);
        const std::vector<std::string> log = LogTexts();
        ASSERT_FALSE(log.empty());
        const std::string switched = "cHttp::OnExecute :: \"" + path + "\": " + kFirst + " ";
        const auto at = std::find_if(log.begin(), log.end(), [&](const std::string& line) {
            return line.rfind(switched, 0) == 0;
        });
        ASSERT_NE(at, log.end());
        EXPECT_NE(at->find(c.reason), std::string::npos) << *at;
        EXPECT_NE(at->find(std::string(", going on at ") + kMirror), std::string::npos) << *at;
        EXPECT_EQ(log.back(), "cHttp::OnExecute :: \"" + path + "\" from " + kMirror + " at byte " +
                                  (c.keepsBytes ? "1000" : "0"));
    }
}

// Both servers fail: one warning, the last server's, and the file has failed.
TEST_F(MirrorTest, EveryServerFailingIsOneWarning) {
    Answer unavailable;
    unavailable.status = 503;
    Answer missing;
    missing.status = 404;
    fake_net::Serve(kFirst, body, {unavailable});
    fake_net::Serve(kMirror, body, {missing});
    const auto transfer = Transfer();
    Run(*transfer);

    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"cHttp::OnExecute :: http status error 404 (-6)"});
    EXPECT_EQ(AskedOf(kFirst).size(), 1u);
    EXPECT_EQ(AskedOf(kMirror).size(), 1u);
    for (const std::string& hook : transfer->Hooks()) {
        EXPECT_NE(hook.rfind("finish", 0), 0u) << hook;
    }
}

// The outage wait is the whole set's: a server that cannot be reached passes the file on at once,
// and only when none can be reached does the transfer wait, then begin again with the first.
TEST_F(MirrorTest, OutageWaitBeginsOnlyWhenNoServerCanBeReached) {
    Answer refuse;
    refuse.refuse = true;
    fake_net::Serve(kFirst, body, {refuse});
    fake_net::Serve(kMirror, body, {refuse, Answer{}});
    const auto transfer = Transfer();
    transfer->limits.firstWaitMs = 100;
    const auto begin = std::chrono::steady_clock::now();
    Run(*transfer);

    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(100));
    EXPECT_TRUE(SameBytes(ReadFile(path), body));
    EXPECT_EQ(transfer->Hooks(),
              (std::vector<std::string>{"wait", "answered", "start 0", "finish 0 5000"}));
    EXPECT_EQ(AskedOf(kFirst).size(), 2u);
    EXPECT_EQ(AskedOf(kMirror).size(), 2u);
    EXPECT_TRUE(BoxTexts().empty());
}

// A copy that does not match is refused at every server it comes from; with each server's copy
// wrong, the file is fetched once more from the last, then refused and removed.
TEST_F(MirrorTest, WrongCopiesEverywhereAreRefused) {
    std::string changed = body;
    changed[10] = static_cast<char>(~changed[10]);
    fake_net::Serve(kFirst, changed);
    fake_net::Serve(kMirror, changed);
    const auto transfer = Transfer();
    Run(*transfer);

    EXPECT_TRUE(transfer->failed);
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"cHttp::OnExecute :: content hash error (-38) " + path});
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(AskedOf(kFirst).size(), 1u);
    EXPECT_EQ(AskedOf(kMirror).size(), 2u);
}

}  // namespace
}  // namespace engine_test
