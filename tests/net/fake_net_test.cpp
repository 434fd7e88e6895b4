// The in-memory client answers the way the engine tests rely on: ranges, scripted cuts, failed
// and blocked reads, and a close from another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/fake_net/fake_net.h"
#include "platform/net.h"

namespace fake = platform::fake_net;
namespace net = platform::net;

namespace {

constexpr const char* kUrl = "http://files.test/a.bin";

std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>(i * 7 + 3);
    }
    return body;
}

// Reads until the end or a failure; `failed` tells which.
std::string ReadAll(net::Request& request, bool& failed) {
    std::string got;
    char buffer[4096];
    failed = false;
    for (;;) {
        const int64_t count = request.Read(buffer, sizeof buffer);
        if (count < 0) {
            failed = true;
            return got;
        }
        if (count == 0) {
            return got;
        }
        got.append(buffer, static_cast<size_t>(count));
    }
}

class FakeNet : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
};

TEST_F(FakeNet, HonouredRangeAnswersTheRestWithContentRange) {
    const std::string body = Body(10000);
    fake::Serve(kUrl, body);
    auto session = net::OpenSession("agent-x");
    ASSERT_TRUE(session);
    auto whole = session->OpenUrl(kUrl, "Accept-Ranges:bytes\r\nRange:bytes=0-\r\n");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->Status(), 206);
    EXPECT_EQ(whole->RangeStart(), 0);
    EXPECT_EQ(whole->ContentLengthText(), "10000");

    auto rest = session->OpenUrl(kUrl, "Accept-Ranges:bytes\r\nRange:bytes=4000-\r\n");
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->Status(), 206);
    EXPECT_EQ(rest->RangeStart(), 4000);
    EXPECT_EQ(rest->ContentLengthText(), "6000");
    EXPECT_EQ(rest->RangeEnd(), 9999);
    EXPECT_EQ(rest->RangeTotal(), 10000);
    bool failed = true;
    EXPECT_EQ(ReadAll(*rest, failed), body.substr(4000));
    EXPECT_FALSE(failed);

    const auto requests = fake::Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].url, kUrl);
    EXPECT_EQ(requests[1].headers, "Accept-Ranges:bytes\r\nRange:bytes=4000-\r\n");
    EXPECT_EQ(requests[1].agent, "agent-x");
}

TEST_F(FakeNet, CappedRangeCoversAtMostTheCapAndStatesTheWholeSize) {
    const std::string body = Body(10000);
    fake::Answer capped;
    capped.rangeCap = 3000;
    fake::Serve(kUrl, body, {capped});
    auto session = net::OpenSession("a");
    for (int64_t start : {0, 4000, 8000}) {
        auto request =
            session->OpenUrl(kUrl, ("Range:bytes=" + std::to_string(start) + "-\r\n").c_str());
        ASSERT_TRUE(request);
        const int64_t covered = std::min<int64_t>(3000, 10000 - start);
        EXPECT_EQ(request->Status(), 206);
        EXPECT_EQ(request->RangeStart(), start);
        EXPECT_EQ(request->RangeEnd(), start + covered - 1);
        EXPECT_EQ(request->RangeTotal(), 10000);
        EXPECT_EQ(request->ContentLengthText(), std::to_string(covered));
        bool failed = true;
        EXPECT_EQ(ReadAll(*request, failed), body.substr(start, covered));
        EXPECT_FALSE(failed);
    }
}

TEST_F(FakeNet, ScriptedRangeTotalIsStatedAsIs) {
    fake::Answer other;
    other.rangeTotal = 12345;
    fake::Serve(kUrl, Body(100), {other});
    auto request = net::OpenSession("a")->OpenUrl(kUrl, "Range:bytes=10-\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->RangeStart(), 10);
    EXPECT_EQ(request->RangeTotal(), 12345);
}

// A lying server: the stated Content-Range is the script's, the bytes sent are what they are.
TEST_F(FakeNet, ScriptedRangeOffsetsAreStatedWhateverIsSent) {
    fake::Answer lying;
    lying.status = 206;
    lying.honourRange = false;
    lying.rangeFirst = 0;
    lying.rangeLast = 99;
    lying.rangeTotal = -1;
    fake::Answer unstated;
    unstated.rangeFirst = -1;
    unstated.rangeLast = -1;
    unstated.rangeTotal = -1;
    fake::Serve(kUrl, Body(50), {lying, unstated});
    auto session = net::OpenSession("a");
    auto request = session->OpenUrl(kUrl, "Range:bytes=10-\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Status(), 206);
    EXPECT_EQ(request->RangeStart(), 0);
    EXPECT_EQ(request->RangeEnd(), 99);
    EXPECT_EQ(request->RangeTotal(), -1);
    bool failed = false;
    EXPECT_EQ(ReadAll(*request, failed), Body(50));
    request = session->OpenUrl(kUrl, "Range:bytes=10-\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Status(), 206);
    EXPECT_EQ(request->RangeStart(), -1);
    EXPECT_EQ(request->RangeEnd(), -1);
    EXPECT_EQ(ReadAll(*request, failed), Body(50).substr(10));
}

TEST_F(FakeNet, WholeAnswerHasNoRange) {
    fake::Serve(kUrl, Body(100));
    auto request = net::OpenSession("a")->OpenUrl(kUrl, "");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Status(), 200);
    EXPECT_EQ(request->RangeStart(), -1);
    EXPECT_EQ(request->RangeEnd(), -1);
    EXPECT_EQ(request->RangeTotal(), -1);
}

TEST_F(FakeNet, RangePastTheEndIs416WithoutBody) {
    fake::Serve(kUrl, Body(100));
    auto request = net::OpenSession("a")->OpenUrl(kUrl, "Range:bytes=100-\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Status(), 416);
    EXPECT_EQ(request->RangeStart(), -1);
    bool failed = true;
    EXPECT_EQ(ReadAll(*request, failed), "");
}

TEST_F(FakeNet, IgnoredRangeAndErrorPagesSendTheWholeBody) {
    const std::string body = Body(3000);
    fake::Answer ignore;
    ignore.honourRange = false;
    fake::Serve(kUrl, body, {ignore});
    auto session = net::OpenSession("a");
    auto request = session->OpenUrl(kUrl, "Range:bytes=1000-\r\n");
    EXPECT_EQ(request->Status(), 200);
    EXPECT_EQ(request->RangeStart(), -1);
    EXPECT_EQ(request->ContentLengthText(), "3000");
    bool failed = true;
    EXPECT_EQ(ReadAll(*request, failed), body);

    fake::Answer error;
    error.status = 500;
    fake::Serve(kUrl, "<html>oops</html>", {error});
    request = session->OpenUrl(kUrl, "Range:bytes=5-\r\n");
    EXPECT_EQ(request->Status(), 500);
    EXPECT_EQ(ReadAll(*request, failed), "<html>oops</html>");

    request = session->OpenUrl("http://files.test/missing", "Range:bytes=0-\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Status(), 404);
}

TEST_F(FakeNet, ScriptedAnswersAreTakenInOrderAndTheLastRepeats) {
    const std::string body = Body(5000);
    fake::Answer cut;
    cut.cutAfter = 1234;
    fake::Answer noLength;
    noLength.contentLength = "";
    fake::Answer refused;
    refused.refuse = true;
    fake::Serve(kUrl, body, {cut, refused, noLength});
    auto session = net::OpenSession("a");

    auto first = session->OpenUrl(kUrl, "Range:bytes=0-\r\n");
    EXPECT_EQ(first->ContentLengthText(), "5000");
    bool failed = true;
    EXPECT_EQ(ReadAll(*first, failed), body.substr(0, 1234));
    EXPECT_FALSE(failed);
    EXPECT_EQ(session->OpenUrl(kUrl, "Range:bytes=1234-\r\n"), nullptr);
    for (int i = 0; i < 2; ++i) {
        auto later = session->OpenUrl(kUrl, "Range:bytes=1234-\r\n");
        ASSERT_TRUE(later);
        EXPECT_EQ(later->ContentLengthText(), "");
        EXPECT_EQ(ReadAll(*later, failed), body.substr(1234));
    }
    EXPECT_EQ(fake::Requests().size(), 4u);
}

TEST_F(FakeNet, FailedReadsComeAtTheirOffsetThenDataFlowsOn) {
    const std::string body = Body(1000);
    fake::Answer flaky;
    flaky.chunk = 100;
    flaky.failAt = 300;
    flaky.failReads = 2;
    fake::Serve(kUrl, body, {flaky});
    auto request = net::OpenSession("a")->OpenUrl(kUrl, "");
    EXPECT_EQ(request->Status(), 200);
    char buffer[1000];
    int64_t got = 0;
    for (int i = 0; i < 3; ++i) {
        got += request->Read(buffer + got, 1000);
    }
    EXPECT_EQ(got, 300);
    EXPECT_EQ(request->BytesAvailable(), 0);
    EXPECT_EQ(request->Read(buffer, 1000), -1);
    EXPECT_EQ(request->Read(buffer, 1000), -1);
    EXPECT_EQ(request->BytesAvailable(), 100);
    EXPECT_EQ(request->Read(buffer + got, 1000), 100);
    EXPECT_EQ(std::string(buffer, 400), body.substr(0, 400));
}

TEST_F(FakeNet, CloseFromAnotherThreadFailsABlockedReadAndLaterCalls) {
    fake::Answer stall;
    stall.blockAt = 10;
    stall.chunk = 10;
    fake::Serve(kUrl, Body(100), {stall});
    auto session = net::OpenSession("a");
    auto request = session->OpenUrl(kUrl, "");
    char buffer[100];
    ASSERT_EQ(request->Read(buffer, 100), 10);

    int64_t blockedResult = 0;
    std::thread reader([&] { blockedResult = request->Read(buffer, 100); });
    ASSERT_TRUE(fake::WaitForBlockedReads(1, std::chrono::seconds(5)));
    session->Close();
    session->Close();
    reader.join();
    EXPECT_EQ(blockedResult, -1);
    EXPECT_EQ(request->Read(buffer, 100), -1);
    EXPECT_EQ(session->OpenUrl(kUrl, ""), nullptr);
    EXPECT_EQ(fake::SessionsOpened(), 1);
    EXPECT_EQ(fake::SessionsClosed(), 1);
}

TEST_F(FakeNet, RequestKeepsItsSessionAliveAfterRelease) {
    fake::Serve(kUrl, Body(50));
    const int sessionsBefore = fake::SessionsAlive();
    auto session = net::OpenSession("a");
    auto request = session->OpenUrl(kUrl, "");
    session->Close();
    session.reset();
    EXPECT_EQ(fake::SessionsAlive(), sessionsBefore);
    char buffer[64];
    EXPECT_EQ(request->Read(buffer, 64), -1);
    request.reset();
    EXPECT_EQ(fake::RequestsAlive(), 0);
}

TEST_F(FakeNet, SessionsCanBeRefusedAndTheLimitAnswerScripted) {
    fake::RefuseSessions(true);
    EXPECT_EQ(net::OpenSession("a"), nullptr);
    EXPECT_EQ(fake::SessionsOpened(), 0);
    EXPECT_EQ(net::SetMaxConnectionsPerServer(4), 4u);
    fake::SetConnectionLimitAnswer(0u);
    EXPECT_EQ(net::SetMaxConnectionsPerServer(4), 0u);
    EXPECT_EQ(fake::ConnectionLimitCalls(), 2);
    EXPECT_EQ(fake::LastConnectionLimitAsked(), 4u);
}

}  // namespace
