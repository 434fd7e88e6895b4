// One answer read through libcurl's multi interface, driven only by the reading thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/content_range.h"
#include "platform/curl/transfer_pool.h"
#include "platform/net.h"

namespace platform::curl {

class CurlRequest;

// What a session's requests share with it; lives as long as any of them.
struct SessionState {
    std::string agent;
    net::Limits limits;
    std::atomic<bool> closed{false};
    std::atomic<net::OpenFailure> lastFailure{net::OpenFailure::kUnreachable};
    std::mutex lock;
    std::set<CurlRequest*> live;  // under `lock`: the requests Close must wake

    // Marks the session closed and wakes every wait of its requests.
    void Close();
};

class CurlRequest : public net::Request {
public:
    // Sends the request and waits for the final answer's headers; null when there is none.
    static std::unique_ptr<CurlRequest> Open(std::shared_ptr<SessionState> session, const char* url,
                                             const char* headers);
    ~CurlRequest() override;

    int Status() const override { return status_; }
    std::string ContentLengthText() const override { return lengthText_; }
    std::string ContentEncodingText() const override { return encodingText_; }
    int64_t RangeStart() const override { return status_ == 206 ? range_.first : -1; }
    int64_t RangeEnd() const override { return status_ == 206 ? range_.last : -1; }
    int64_t RangeTotal() const override { return status_ == 206 ? range_.total : -1; }
    int64_t BytesAvailable() override;
    int64_t Read(char* buffer, int64_t size) override;

    // From any thread: makes a wait of the reading thread in libcurl return.
    void Wake();

private:
    CurlRequest(std::shared_ptr<SessionState> session, std::string server, TransferHandles handles);
    bool Start(const char* url, const char* headers);
    // Runs libcurl until `ready` holds, the transfer ends or the session is closed.
    template <typename Ready>
    void Drive(Ready ready);
    void Finish(CURLcode result);
    // Lets libcurl complete an answer whose whole body has been read, so its connection is kept.
    void FinishReceivedBody();

    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    void HeaderLine(const std::string& line);

    std::shared_ptr<SessionState> session_;
    std::string server_;
    TransferHandles handles_;
    curl_slist* headerList_ = nullptr;
    bool inMulti_ = false;
    bool holdsSlot_ = false;

    // Answer headers; reset by every status line (redirects, 1xx).
    bool headersFinal_ = false;
    bool redirecting_ = false;
    int status_ = 0;
    std::string lengthText_;
    std::string encodingText_;
    ContentRange range_;  // all -1 when absent or malformed

    bool done_ = false;
    CURLcode result_ = CURLE_OK;
    bool paused_ = false;  // by the body callback, while there was nowhere to put bytes
    // The caller's buffer during a Read; the body callback fills it first.
    char* target_ = nullptr;
    int64_t targetSize_ = 0;
    int64_t targetFilled_ = 0;
    // The rest of a piece of body that did not fit the caller's buffer (less than one receive
    // buffer); no byte is received while it is not drained.
    std::vector<char> overflow_;
    size_t overflowRead_ = 0;
};

}  // namespace platform::curl
