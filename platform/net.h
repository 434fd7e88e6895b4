// Pull-style HTTP client, shaped by what one resumable transfer needs: open a session, open a
// URL with extra headers, look at the answer's status and length, then pull the body in
// chunks. libcurl implements it on Linux, WinINet on Windows, an in-memory fake in tests
// (chosen at link time).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform::net {

// One answer being read. Used by one thread at a time (the transfer's).
class Request {
public:
    virtual ~Request() = default;
    // HTTP status code of the answer (200, 206, 404, ...).
    virtual int Status() const = 0;
    // The Content-Length header as the server sent it, or empty when it sent none.
    virtual std::string ContentLengthText() const = 0;
    // The Content-Encoding header as the server sent it (several joined with ", "), or empty
    // when it sent none. The client never decodes: the body is read as it was sent.
    virtual std::string ContentEncodingText() const = 0;
    // First byte offset of a 206 answer's Content-Range, or -1 when there is none.
    virtual int64_t RangeStart() const = 0;
    // Last byte offset of a 206 answer's Content-Range, or -1 when there is none.
    virtual int64_t RangeEnd() const = 0;
    // Whole-file size of a 206 answer's Content-Range ("bytes a-b/TOTAL"), or -1 when there is
    // none or the server wrote "*". A server may cover less than asked for: the span
    // RangeStart..RangeEnd is what this answer carries.
    virtual int64_t RangeTotal() const = 0;
    // Bytes that a Read can return at once without waiting.
    virtual int64_t BytesAvailable() = 0;
    // Blocks until at least one byte or the end of the body arrives. Returns the bytes
    // copied (at most `size`), 0 at the end of the body, -1 when the session was closed or the
    // read failed (a timeout). A connection that the server closes before the end of the body
    // also reads as the end (0), as WinINet reports it: the caller compares what it got with
    // the length. After the end or a close every later Read answers the same.
    virtual int64_t Read(char* buffer, int64_t size) = 0;
};

// Why an open answered no request: the server could not be reached, or it was reached but no
// secure connection could be made with it (its certificate is not trusted or not made out to
// its name, or the secure handshake failed).
enum class OpenFailure { kUnreachable, kInsecure };

// One client session (agent string, connections). Requests keep what they need of their
// session alive, so a session may be released while a request still exists.
class Session {
public:
    virtual ~Session() = default;
    // Sends a GET for `url` with `headers` ("Name:value\r\n" lines), bypassing caches, and
    // waits for the headers of the final answer (redirects are followed). Null when no answer
    // could be had (refused, unknown host, session closed). Any status is an answer: the
    // caller reads it and decides.
    virtual std::unique_ptr<Request> OpenUrl(const char* url, const char* headers) = 0;
    // Why the last OpenUrl of this session answered null; kUnreachable where the client cannot
    // tell.
    virtual OpenFailure LastOpenFailure() const { return OpenFailure::kUnreachable; }
    // Safe from any thread, at any time, any number of times: every read blocked in one of
    // this session's requests fails at once, and later calls fail too.
    virtual void Close() = 0;
};

// How long a session's requests wait for the network before they fail.
struct Limits {
    // To connect to the server and have the answer's headers.
    uint32_t connectMs = 30 * 1000;
    // A read that gets no byte for this long fails (-1), as a connection that stalls.
    uint32_t stallMs = 60 * 1000;
};

// Null when no session can be opened.
std::shared_ptr<Session> OpenSession(const char* agent, const Limits& limits = Limits{});

// Sets the per-server connection limit of the process and answers the limit now in force
// (0 when it cannot be set).
unsigned SetMaxConnectionsPerServer(unsigned limit);

}  // namespace platform::net
