// What the test servers answer, decided once for both (cpp-httplib on Linux, Winsock on
// Windows): the served files and their behaviours, the log of requests, and for each request
// the planned answer (status, headers, which bytes, how they go out). A server only reads
// requests and puts the plan on the wire.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/http_test_server.h"

namespace test_support {

inline constexpr const char* kBinaryType = "application/octet-stream";

// The bytes one path serves: held in memory or read from a file on each request.
struct ServedContent {
    std::shared_ptr<const std::string> memory;
    std::filesystem::path file;
    int64_t size = 0;

    bool Read(int64_t offset, size_t count, std::string& out) const;
};

struct PlannedAnswer {
    int status = 200;
    std::string type = kBinaryType;  // Content-Type
    // Location, Content-Range, Content-Encoding; the framing (Content-Length or chunks) is the
    // server's.
    std::vector<std::pair<std::string, std::string>> headers;
    // A body given whole (pages, redirects, replaced bodies); otherwise `length` bytes of the
    // content from `first`.
    std::optional<std::string> text;
    int64_t first = 0;
    int64_t length = 0;
    bool chunked = false;               // no Content-Length: chunks until the end
    bool encode = false;                // the stand-in for an encoded form
    int64_t closeAfter = -1;            // body bytes before the connection is cut; -1: none
    std::optional<int64_t> stallAfter;  // body bytes before nothing more is sent
    int64_t bytesPerSecond = 0;         // 0: as fast as the connection takes them
};

// The answer to a request for content of `size` bytes (none: no such file) with the header
// values `range` and `acceptEncoding`; `cut`: this answer is one that `behaviour` cuts.
PlannedAnswer PlanAnswer(const Behaviour& behaviour, bool cut, std::optional<int64_t> size,
                         const std::string& range, const std::string& acceptEncoding);

// Sends the planned content bytes in pieces through `write` (which frames them), paced, cut
// and stalled as planned; a stall lasts until `stopping`, and nothing goes out after it. False
// when the connection is to close: cut, stalled, stopped, unreadable or not written.
bool SendBody(const PlannedAnswer& plan, const ServedContent& content,
              const std::function<bool(const std::string& piece)>& write,
              const std::atomic<bool>& stopping);

// The files, the behaviours and the log one server shares between its connections.
class ServedFiles {
public:
    struct Answer {
        PlannedAnswer plan;
        std::shared_ptr<const ServedContent> content;
    };

    void Add(const std::string& path, std::string body);
    void ServeFolder(const std::string& folder);
    void SetBehaviour(const std::string& path, const Behaviour& behaviour);
    std::vector<ReceivedRequest> Requests() const;
    size_t ConnectionsSeen() const;

    // Logs `request` and plans its answer.
    Answer Receive(const ReceivedRequest& request);

private:
    // Under lock_.
    std::shared_ptr<const ServedContent> Find(const std::string& path) const;

    mutable std::mutex lock_;
    std::map<std::string, std::shared_ptr<const ServedContent>> paths_;
    std::map<std::string, Behaviour> behaviours_;
    std::map<std::string, int> cutsDone_;
    std::string folder_;
    std::vector<ReceivedRequest> requests_;
    std::set<int> ports_;
};

}  // namespace test_support
