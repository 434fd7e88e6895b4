// In-memory implementation of platform/net.h, driven by the scripts of fake_net.h.
#include "platform/fake_net/fake_net.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/net.h"

namespace platform::fake_net {
namespace {

struct Script {
    std::shared_ptr<const std::string> body;
    std::vector<Answer> answers;
    size_t next = 0;
};

// Everything the tests script and observe, behind one lock.
struct Server {
    std::mutex lock;
    std::condition_variable blockedChanged;
    std::map<std::string, Script> scripts;
    std::vector<RequestRecord> requests;
    bool refuseSessions = false;
    std::optional<unsigned> limitAnswer;
    int limitCalls = 0;
    unsigned lastLimitAsked = 0;
    int sessionsOpened = 0;
    int sessionsClosed = 0;
    int blockedReads = 0;
};

Server& TheServer() {
    static Server server;
    return server;
}

std::atomic<int> sessionsAlive{0};
std::atomic<int> requestsAlive{0};

// What a session's requests share: it outlives the session object while a request needs it.
struct SessionState {
    std::string agent;
    net::Limits limits;
    std::mutex lock;
    std::condition_variable closedChanged;
    bool closed = false;
};

bool IsRangeLine(const std::string& line, int64_t& start) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string name = line.substr(0, colon);
    name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name != "range") {
        return false;
    }
    size_t at = line.find_first_not_of(' ', colon + 1);
    if (at == std::string::npos || line.compare(at, 6, "bytes=") != 0) {
        return false;
    }
    at += 6;
    const size_t digitsEnd = line.find_first_not_of("0123456789", at);
    if (digitsEnd == at || digitsEnd == std::string::npos || line[digitsEnd] != '-') {
        return false;
    }
    start = std::stoll(line.substr(at, digitsEnd - at));
    return true;
}

// Start offset of the "Range:bytes=N-" line of `headers`, or -1 when there is none.
int64_t RequestedRangeStart(const std::string& headers) {
    size_t begin = 0;
    while (begin < headers.size()) {
        size_t end = headers.find("\r\n", begin);
        if (end == std::string::npos) {
            end = headers.size();
        }
        int64_t start = 0;
        if (IsRangeLine(headers.substr(begin, end - begin), start)) {
            return start;
        }
        begin = end + 2;
    }
    return -1;
}

class FakeRequest : public net::Request {
public:
    FakeRequest(std::shared_ptr<SessionState> session, std::shared_ptr<const std::string> body,
                const Answer& answer, int64_t rangeAsked)
        : session_(std::move(session)), body_(std::move(body)), answer_(answer) {
        ++requestsAlive;
        const int64_t size = static_cast<int64_t>(body_->size());
        status_ = answer.status;
        end_ = size;
        const bool success = answer.status >= 200 && answer.status < 300;
        if (success && answer.honourRange && rangeAsked >= 0) {
            if (size == 0 && rangeAsked == 0) {
                // An empty file answers a whole-file range with an empty 200, as nginx does.
            } else if (rangeAsked >= size) {
                status_ = 416;
                begin_ = end_ = 0;
            } else {
                status_ = 206;
                begin_ = rangeStart_ = rangeAsked;
                if (answer.rangeCap >= 0) {
                    end_ = std::min(end_, begin_ + answer.rangeCap);
                }
                rangeEnd_ = end_ - 1;
                rangeTotal_ = answer.rangeTotal ? *answer.rangeTotal : size;
            }
        }
        if (status_ == 206) {
            rangeStart_ = answer.rangeFirst.value_or(rangeStart_);
            rangeEnd_ = answer.rangeLast.value_or(rangeEnd_);
            rangeTotal_ = answer.rangeTotal.value_or(rangeTotal_);
        }
        lengthText_ = answer.contentLength ? *answer.contentLength : std::to_string(end_ - begin_);
        failsLeft_ = answer.failReads;
    }
    ~FakeRequest() override { --requestsAlive; }

    int Status() const override { return status_; }
    std::string ContentLengthText() const override { return lengthText_; }
    std::string ContentEncodingText() const override { return answer_.contentEncoding; }
    int64_t RangeStart() const override { return rangeStart_; }
    int64_t RangeEnd() const override { return rangeEnd_; }
    int64_t RangeTotal() const override { return rangeTotal_; }

    int64_t BytesAvailable() override {
        if (Closed() || Blocking() || Failing()) {
            return 0;
        }
        return std::min(Remaining(), answer_.chunk);
    }

    int64_t Read(char* buffer, int64_t size) override {
        if (Closed()) {
            return -1;
        }
        if (Blocking()) {
            BlockUntilClosed();
            return -1;
        }
        if (Failing()) {
            --failsLeft_;
            return -1;
        }
        const int64_t count = std::min({Remaining(), answer_.chunk, size});
        std::memcpy(buffer, body_->data() + begin_ + sent_, static_cast<size_t>(count));
        sent_ += count;
        return count;
    }

private:
    bool Closed() {
        std::lock_guard<std::mutex> hold(session_->lock);
        return session_->closed;
    }
    bool Blocking() const { return answer_.blockAt >= 0 && sent_ >= answer_.blockAt; }
    bool Failing() const { return failsLeft_ > 0 && sent_ >= answer_.failAt; }
    int64_t Remaining() const {
        int64_t left = end_ - begin_ - sent_;
        if (answer_.cutAfter >= 0) {
            left = std::min(left, answer_.cutAfter - sent_);
        }
        if (answer_.cutAtHalf) {
            left = std::min(left, (end_ - begin_) / 2 - sent_);
        }
        return std::max<int64_t>(left, 0);
    }
    void BlockUntilClosed() {
        {
            Server& server = TheServer();
            std::lock_guard<std::mutex> hold(server.lock);
            ++server.blockedReads;
            server.blockedChanged.notify_all();
        }
        // A stalled connection fails at the stall limit, as the real clients' do.
        std::unique_lock<std::mutex> hold(session_->lock);
        session_->closedChanged.wait_for(hold, std::chrono::milliseconds(session_->limits.stallMs),
                                         [this] { return session_->closed; });
    }

    std::shared_ptr<SessionState> session_;
    std::shared_ptr<const std::string> body_;
    Answer answer_;
    int status_ = 200;
    std::string lengthText_;
    int64_t rangeStart_ = -1;
    int64_t rangeEnd_ = -1;
    int64_t rangeTotal_ = -1;
    int64_t begin_ = 0;
    int64_t end_ = 0;
    int64_t sent_ = 0;
    int failsLeft_ = 0;
};

class FakeSession : public net::Session {
public:
    FakeSession(const char* agent, const net::Limits& limits)
        : state_(std::make_shared<SessionState>()) {
        state_->agent = agent ? agent : "";
        state_->limits = limits;
        ++sessionsAlive;
    }
    ~FakeSession() override { --sessionsAlive; }

    std::unique_ptr<net::Request> OpenUrl(const char* url, const char* headers) override {
        {
            std::lock_guard<std::mutex> hold(state_->lock);
            if (state_->closed) {
                return nullptr;
            }
        }
        const std::string headerText = headers ? headers : "";
        Server& server = TheServer();
        std::lock_guard<std::mutex> hold(server.lock);
        server.requests.push_back({url, headerText, state_->agent});
        auto found = server.scripts.find(url);
        if (found == server.scripts.end()) {
            Answer notFound;
            notFound.status = 404;
            return std::make_unique<FakeRequest>(
                state_, std::make_shared<const std::string>("<html>404 Not Found</html>"), notFound,
                -1);
        }
        Script& script = found->second;
        const Answer answer = script.answers[std::min(script.next, script.answers.size() - 1)];
        ++script.next;
        if (answer.refuse || answer.insecure) {
            lastFailure_ =
                answer.insecure ? net::OpenFailure::kInsecure : net::OpenFailure::kUnreachable;
            return nullptr;
        }
        return std::make_unique<FakeRequest>(state_, script.body, answer,
                                             RequestedRangeStart(headerText));
    }

    net::OpenFailure LastOpenFailure() const override { return lastFailure_; }

    void Close() override {
        {
            std::lock_guard<std::mutex> hold(state_->lock);
            if (state_->closed) {
                return;
            }
            state_->closed = true;
            state_->closedChanged.notify_all();
        }
        Server& server = TheServer();
        std::lock_guard<std::mutex> hold(server.lock);
        ++server.sessionsClosed;
    }

private:
    std::shared_ptr<SessionState> state_;
    std::atomic<net::OpenFailure> lastFailure_{net::OpenFailure::kUnreachable};
};

}  // namespace

void Serve(const std::string& url, std::string body, std::vector<Answer> answers) {
    if (answers.empty()) {
        answers.emplace_back();
    }
    Server& server = TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    server.scripts[url] = {std::make_shared<const std::string>(std::move(body)), std::move(answers),
                           0};
}

std::vector<RequestRecord> Requests() {
    Server& server = TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    return server.requests;
}

void RefuseSessions(bool refuse) {
    Server& server = TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    server.refuseSessions = refuse;
}

void SetConnectionLimitAnswer(std::optional<unsigned> limit) {
    Server& server = TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    server.limitAnswer = limit;
}

int ConnectionLimitCalls() {
    Server& server = TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    return server.limitCalls;
}

unsigned LastConnectionLimitAsked() {
    Server& server = TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    return server.lastLimitAsked;
}

int SessionsOpened() {
    Server& server = TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    return server.sessionsOpened;
}

int SessionsClosed() {
    Server& server = TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    return server.sessionsClosed;
}

int SessionsAlive() {
    return sessionsAlive;
}
int RequestsAlive() {
    return requestsAlive;
}

bool WaitForBlockedReads(int count, std::chrono::milliseconds timeout) {
    Server& server = TheServer();
    std::unique_lock<std::mutex> hold(server.lock);
    return server.blockedChanged.wait_for(hold, timeout,
                                          [&] { return server.blockedReads >= count; });
}

void Reset() {
    Server& server = TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    server.scripts.clear();
    server.requests.clear();
    server.refuseSessions = false;
    server.limitAnswer.reset();
    server.limitCalls = 0;
    server.lastLimitAsked = 0;
    server.sessionsOpened = 0;
    server.sessionsClosed = 0;
    server.blockedReads = 0;
}

}  // namespace platform::fake_net

namespace platform::net {

std::shared_ptr<Session> OpenSession(const char* agent, const Limits& limits) {
    fake_net::Server& server = fake_net::TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    if (server.refuseSessions) {
        return nullptr;
    }
    ++server.sessionsOpened;
    return std::make_shared<fake_net::FakeSession>(agent, limits);
}

unsigned SetMaxConnectionsPerServer(unsigned limit) {
    fake_net::Server& server = fake_net::TheServer();
    std::lock_guard<std::mutex> hold(server.lock);
    ++server.limitCalls;
    server.lastLimitAsked = limit;
    return server.limitAnswer ? *server.limitAnswer : limit;
}

}  // namespace platform::net
