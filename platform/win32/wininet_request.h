// One answer read through asynchronous WinINet. Every wait of the reading thread is a wait on
// the operation's completion together with the session's close event, so that a close ends it
// at once whether or not the system cancels the operation itself (Wine does not unblock a
// synchronous read when its handle is closed from another thread).
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wininet.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/content_range.h"
#include "platform/net.h"

namespace platform::win32 {

// What a session's requests share with it; lives as long as any of them.
struct SessionState {
    SessionState(HINTERNET internet, HANDLE closedEvent, const net::Limits& limits);
    ~SessionState();
    SessionState(const SessionState&) = delete;
    SessionState& operator=(const SessionState&) = delete;

    // Marks the session closed and ends every wait of its requests.
    void Close();
    bool IsClosed() const { return WaitForSingleObject(closed, 0) == WAIT_OBJECT_0; }

    // The internet handle: WinINet closes every request handle with it, so it stays open
    // until the last request is gone.
    const HINTERNET internet;
    // Why the last open answered no request.
    std::atomic<net::OpenFailure> lastFailure{net::OpenFailure::kUnreachable};
    // Manual-reset, set once by Close.
    const HANDLE closed;
    const net::Limits limits;
};

// What WinINet's status callback reaches through a request's context (the Operation's
// address, looked up in a registry so that a late callback never reaches a freed one). It
// outlives the Request while WinINet may still write into it: until the request handle is
// reported closed (an abandoned query of the bytes available still writes `available`), or
// until an abandoned open has completed and its handle has been closed.
struct Operation {
    Operation();
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Manual-reset: set when a pending operation completes.
    const HANDLE done;
    // The fields below are under the registry's lock, except `available`, `read` and `chunk`,
    // which WinINet writes while the reading thread waits on `done`.
    HINTERNET handle = nullptr;  // the request handle, once the open has answered
    bool opening = false;        // an open has not completed yet
    bool ownerGone = false;      // no Request uses it any more
    DWORD error = 0;             // of the last completed operation
    DWORD available = 0;
    DWORD read = 0;
    // Reads land here, not in the caller's buffer, which an abandoned read must not reach.
    std::vector<char> chunk;
};

class WinInetRequest : public net::Request {
public:
    // Sends the request and waits for the final answer's headers; null when there is none.
    static std::unique_ptr<WinInetRequest> Open(std::shared_ptr<SessionState> session,
                                                const char* url, const char* headers);
    ~WinInetRequest() override;

    int Status() const override { return status_; }
    std::string ContentLengthText() const override { return lengthText_; }
    std::string ContentEncodingText() const override { return encodingText_; }
    int64_t RangeStart() const override { return status_ == 206 ? range_.first : -1; }
    int64_t RangeEnd() const override { return status_ == 206 ? range_.last : -1; }
    int64_t RangeTotal() const override { return status_ == 206 ? range_.total : -1; }
    int64_t BytesAvailable() override;
    int64_t Read(char* buffer, int64_t size) override;

    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                  DWORD infoLength);

private:
    enum class Wait { kDone, kClosed, kTimedOut };

    WinInetRequest(std::shared_ptr<SessionState> session, std::shared_ptr<Operation> operation,
                   HINTERNET handle, std::string server);
    // Ends the body with `result` (0: its end, -1: a failure) and answers it.
    int64_t End(int64_t result);
    void GiveBackSlot();
    void ReadHeaders();
    std::string Header(DWORD query, DWORD index = 0) const;
    // Waits for the pending operation, the session's close or the session's stall limit.
    Wait WaitForOperation();
    // Starts a query of the bytes available unless one is pending; true when it answered
    // (into `available`) without waiting.
    bool QueryAvailable(DWORD& available);

    std::shared_ptr<SessionState> session_;
    std::shared_ptr<Operation> operation_;
    HINTERNET handle_;
    std::string server_;  // its connection slot's key
    bool holdsSlot_ = true;
    bool pending_ = false;  // a query of the bytes available has not completed yet
    bool ended_ = false;
    bool failed_ = false;

    int status_ = 0;
    std::string lengthText_;
    std::string encodingText_;
    ContentRange range_;  // all -1 when absent or malformed
};

}  // namespace platform::win32
