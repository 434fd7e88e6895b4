// In-process HTTP/1.1 file server on 127.0.0.1 for tests of the real client: byte ranges as
// nginx answers them, plus per-path misbehaviour (cut connections, ignored or capped ranges,
// error pages, stalls, no length, redirects) and a log of what it received. What it answers is
// decided in answer_planner.h, the same on every system.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

class ServedFiles;

// How the server answers one path. The default serves the file correctly.
struct Behaviour {
    // Closes the connection after this many body bytes of an answer; -1: never. Applies to the
    // first `cutTimes` answers of the path (-1: to every answer).
    int64_t cutAfter = -1;
    int cutTimes = -1;
    // Answers a range request with 200 and the whole body.
    bool ignoreRange = false;
    // An empty file answers "bytes=0-" with 416, as Caddy does, not with an empty 200.
    bool emptyRangeUnsatisfiable = false;
    // Answers a range request with at most this many bytes (1 or more): a 206 whose
    // Content-Range states the part sent and the whole size; -1: no cap.
    int64_t rangeCap = -1;
    // Answers with this status (404, 500, ...) and a small HTML page instead of the file.
    int errorStatus = 0;
    // Sends the headers and `stallAfter` body bytes, then sends nothing more until the server
    // stops (the connection is then closed).
    bool stall = false;
    int64_t stallAfter = 0;
    // Sends the whole file chunked, without a Content-Length (ranges are not honoured).
    bool chunked = false;
    // Answers 302 with this Location (a path of this server or an absolute URL).
    std::string redirectTo{};
    // Sends the file under this Content-Encoding ("gzip", ...): a stand-in for its encoded
    // form, as many bytes, none of them the file's own at their offset. With
    // `encodeOnlyWhenAccepted`, only to a client whose Accept-Encoding admits it ("*" or the
    // name itself), as a server that honours the header does.
    std::string contentEncoding{};
    bool encodeOnlyWhenAccepted = false;
    // Answers 200 with this body instead of the file, whatever was asked (an error page sent
    // as a success, or an empty answer of a faulty proxy).
    std::optional<std::string> replaceBody{};
    // A 206's Content-Range states "*" instead of the whole size.
    bool hideTotal = false;
    // Answers 206 with this Content-Range, verbatim, and the whole file as the body.
    std::string contentRange{};
    // Sends the body of each answer at about this many bytes per second; 0: as fast as it can.
    int64_t bytesPerSecond = 0;
};

// One request as the server received it.
struct ReceivedRequest {
    std::string path;
    std::string range;  // the Range header, empty when none
    std::string agent;  // the User-Agent header
    std::string acceptEncoding;
    int remotePort = 0;  // tells the TCP connections apart
};

class HttpTestServer {
public:
    // Listens on `port` of 127.0.0.1 (0: a free one) and serves until destroyed; aborts the
    // test program when the port is taken.
    explicit HttpTestServer(int port = 0);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path` (which starts with "/").
    std::string Url(const std::string& path) const;

    // Serves `body` at `path`.
    void AddFile(const std::string& path, std::string body);
    // Serves the files under `folder` at their relative paths (read from disk on each request;
    // for files too big to hold in memory). Files added with AddFile take precedence.
    void ServeFolder(const std::string& folder);
    void SetBehaviour(const std::string& path, const Behaviour& behaviour);

    std::vector<ReceivedRequest> Requests() const;
    // TCP connections that carried at least one request.
    size_t ConnectionsSeen() const;

    // Ends stalls, closes every connection and stops listening. Idempotent.
    void Stop();

private:
    // What the system's own server keeps: cpp-httplib on Linux, Winsock threads on Windows.
    struct Listener;

    std::unique_ptr<ServedFiles> files_;
    std::unique_ptr<Listener> listener_;
    int port_ = 0;
};

// A server on a free port of 127.0.0.1 that answers every request with the same bytes, as
// given (status line, headers and body), then closes the connection: for answers that no
// server library would send, such as a Content-Length too long for 64 bits.
class RawAnswerServer {
public:
    explicit RawAnswerServer(std::string answer);
    ~RawAnswerServer();
    RawAnswerServer(const RawAnswerServer&) = delete;
    RawAnswerServer& operator=(const RawAnswerServer&) = delete;

    std::string Url(const std::string& path) const;
    int RequestsAnswered() const { return answered_; }

private:
    void Serve();

    std::string answer_;
    std::intptr_t listener_ = -1;  // a socket of either system
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

}  // namespace test_support
