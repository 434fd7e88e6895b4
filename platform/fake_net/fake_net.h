// Control panel of the in-memory HTTP client (dl_net_fake), which implements platform/net.h for
// deterministic tests of the transfer: each URL gets a body and a script of answers, and every
// request the client sends is recorded. All functions are thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::fake_net {

// How the server answers one OpenUrl of a URL.
struct Answer {
    // OpenUrl answers null (connection refused, unknown host).
    bool refuse = false;
    // OpenUrl answers null as for a server with which no secure connection can be made.
    bool insecure = false;
    // Status of the answer. A 2xx status honours a "Range:bytes=N-" header when `honourRange`
    // is set: 206 with the rest of the body and a Content-Range, 416 and no body when N is at or
    // past the end (an empty body answers N = 0 with an empty 200). Any other status sends the
    // whole body as is (an error page).
    int status = 200;
    bool honourRange = true;
    // A honoured range covers at most this many bytes, 1 or more (a server that caps ranges);
    // -1: no cap.
    int64_t rangeCap = -1;
    // The total a 206 states in its Content-Range: unset states the body's size, -1 "*".
    std::optional<int64_t> rangeTotal;
    // The first and last offsets a 206 states in its Content-Range, whatever it sends (a server
    // that lies about its range); unset states the offsets sent. -1 states no range at all.
    std::optional<int64_t> rangeFirst;
    std::optional<int64_t> rangeLast;
    // The Content-Length header: unset sends the length of what the answer carries, "" sends
    // none (a chunked answer), anything else is sent verbatim.
    std::optional<std::string> contentLength;
    // The Content-Encoding header sent verbatim; empty: none.
    std::string contentEncoding;
    // The body ends (reads answer 0) after this many bytes of this answer; -1: never.
    int64_t cutAfter = -1;
    // The body ends after half of what the answer announces (rounded down).
    bool cutAtHalf = false;
    // Once this many bytes of this answer have been read, the next `failReads` reads fail (-1).
    int64_t failAt = 0;
    int failReads = 0;
    // Once this many bytes of this answer have been read, reads block until the session is
    // closed or its stall limit has passed, then fail; -1: never.
    int64_t blockAt = -1;
    // Most bytes one read returns, and what BytesAvailable reports while the body flows.
    int64_t chunk = 64 * 1024;
};

// Serves `body` at `url` (the exact text passed to OpenUrl). Each OpenUrl of the URL takes the
// next answer of `answers`; the last one repeats. URLs never served answer 404.
void Serve(const std::string& url, std::string body, std::vector<Answer> answers = {Answer{}});

// What the client sent with one OpenUrl, in order of sending.
struct RequestRecord {
    std::string url;
    std::string headers;
    std::string agent;
};
std::vector<RequestRecord> Requests();

// OpenSession answers null while this is set.
void RefuseSessions(bool refuse);
// The limit SetMaxConnectionsPerServer answers (the asked one when unset; 0: cannot be set).
void SetConnectionLimitAnswer(std::optional<unsigned> limit);
// Calls of SetMaxConnectionsPerServer so far and the limit last asked (0 before any call).
int ConnectionLimitCalls();
unsigned LastConnectionLimitAsked();

int SessionsOpened();
// Sessions on which Close was called (each counted once).
int SessionsClosed();
// Sessions and requests not yet destroyed.
int SessionsAlive();
int RequestsAlive();

// Waits until `count` reads in total have blocked (see Answer::blockAt); false on timeout.
bool WaitForBlockedReads(int count, std::chrono::milliseconds timeout);

// Forgets every URL, record, counter and setting (the counts of live objects stay). Sessions
// and requests still alive keep working on what they were answered.
void Reset();

}  // namespace platform::fake_net
