// One HTTP request over WinINet (platform/net.h's Request): the exchange, the answer's
// headers and the body read a block at a time.
#include "platform/win32/wininet_request.h"

#include "platform/connection_slots.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

namespace platform::win32 {
namespace {

// The most one Read copies; the engine reads 1 MiB at a time.
constexpr int64_t kChunk = 1024 * 1024;
// Sends the GET to the server whatever a cache holds, keeps the answer out of the cache (it
// may be gigabytes), and never shows a dialog from a transfer's thread.
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                             INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                             INTERNET_FLAG_KEEP_CONNECTION;

// The errors of a server that was reached but with which no secure connection could be made:
// a certificate that is not trusted, not made out to the server's name, out of date or revoked,
// or a failed handshake.
// ERROR_INTERNET_SECURE_FAILURE, which MinGW-w64's headers lack.
constexpr DWORD kSecureFailure = 12175;

bool IsSecurityFailure(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
        case ERROR_INTERNET_SEC_INVALID_CERT:
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        case kSecureFailure:
            return true;
        default:
            return false;
    }
}

// Operations by the context WinINet hands back. Never destroyed: WinINet's threads may call
// back while the process exits.
struct Registry {
    std::mutex lock;
    std::map<const Operation*, std::shared_ptr<Operation>> live;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// Under the registry's lock: drops the operation once WinINet can no longer reach it.
void ForgetIfUnreachable(Registry& registry, const Operation& operation) {
    if (operation.ownerGone && !operation.opening && operation.handle == nullptr) {
        registry.live.erase(&operation);
    }
}

std::shared_ptr<Operation> Find(DWORD_PTR context) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    auto found = registry.live.find(reinterpret_cast<const Operation*>(context));
    return found == registry.live.end() ? nullptr : found->second;
}

// Lets go of the operation: closes its request handle (at once when the open has answered,
// else when it does).
void Abandon(const std::shared_ptr<Operation>& operation) {
    Registry& registry = TheRegistry();
    HINTERNET handle = nullptr;
    {
        std::lock_guard<std::mutex> hold(registry.lock);
        operation->ownerGone = true;
        handle = operation->handle;
        ForgetIfUnreachable(registry, *operation);
    }
    // The registry forgets it when WinINet reports the handle closed.
    if (handle != nullptr) {
        InternetCloseHandle(handle);
    }
}

// The caller's "Name:value\r\n" lines, plus the header that makes caches fetch anew (unless
// the caller sent its own); the reload flag adds the Pragma line.
std::string HeaderText(const char* headers) {
    std::string text = headers ? headers : "";
    if (!text.empty() && text.back() != '\n') {
        text += "\r\n";
    }
    std::string lower = "\n" + text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find("\ncache-control:") == std::string::npos) {
        text += "Cache-Control:no-cache\r\n";
    }
    return text;
}

}  // namespace

SessionState::SessionState(HINTERNET internetHandle, HANDLE closedEvent,
                           const net::Limits& sessionLimits)
    : internet(internetHandle), closed(closedEvent), limits(sessionLimits) {}

SessionState::~SessionState() {
    InternetCloseHandle(internet);
    CloseHandle(closed);
}

void SessionState::Close() {
    SetEvent(closed);
    WakeSlotWaiters();
}

Operation::Operation() : done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Operation::~Operation() {
    if (done != nullptr) {
        CloseHandle(done);
    }
}

void CALLBACK WinInetRequest::OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status,
                                       LPVOID info, DWORD /*infoLength*/) {
    if (status != INTERNET_STATUS_REQUEST_COMPLETE && status != INTERNET_STATUS_HANDLE_CLOSING) {
        return;
    }
    const std::shared_ptr<Operation> operation = Find(context);
    if (!operation) {
        return;
    }
    Registry& registry = TheRegistry();
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        // WinINet also reports internal handles under the same context: only the request's
        // own closing means that nothing writes into the operation any more.
        std::lock_guard<std::mutex> hold(registry.lock);
        if (handle == operation->handle && operation->ownerGone) {
            operation->handle = nullptr;
            ForgetIfUnreachable(registry, *operation);
        }
        return;
    }
    const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
    HINTERNET orphan = nullptr;
    {
        std::lock_guard<std::mutex> hold(registry.lock);
        // dwResult is the handle of an open and the success flag (or count) of other
        // operations; dwError only means something when dwResult is 0.
        operation->error = result->dwResult == 0 ? result->dwError : 0;
        if (operation->opening) {
            operation->opening = false;
            if (operation->error == 0 && result->dwResult != 0) {
                operation->handle = reinterpret_cast<HINTERNET>(result->dwResult);
            } else if (operation->error == 0) {
                operation->error = ERROR_INTERNET_INTERNAL_ERROR;
            }
            if (operation->ownerGone) {
                // Opened after the waiting thread gave up.
                orphan = operation->handle;
            }
            ForgetIfUnreachable(registry, *operation);
        }
    }
    if (orphan != nullptr) {
        InternetCloseHandle(orphan);
    }
    SetEvent(operation->done);
}

std::unique_ptr<WinInetRequest> WinInetRequest::Open(std::shared_ptr<SessionState> session,
                                                     const char* url, const char* headers) {
    // WinINet under Wine never completes an asynchronous open of a URL it cannot parse.
    std::string server = ServerOf(url);
    if (server.empty() || session->IsClosed()) {
        return nullptr;
    }
    auto operation = std::make_shared<Operation>();
    if (operation->done == nullptr ||
        !AcquireSlot(server, [&session] { return session->IsClosed(); })) {
        return nullptr;
    }
    // Given back when the open fails, else by the request.
    struct Slot {
        std::string server;
        bool held = true;
        ~Slot() {
            if (held) {
                ReleaseSlot(server);
            }
        }
    } slot{server};
    Registry& registry = TheRegistry();
    {
        std::lock_guard<std::mutex> hold(registry.lock);
        operation->opening = true;
        registry.live[operation.get()] = operation;
    }
    const std::string text = HeaderText(headers);
    HINTERNET handle =
        InternetOpenUrlA(session->internet, url, text.c_str(), static_cast<DWORD>(text.size()),
                         kOpenFlags, reinterpret_cast<DWORD_PTR>(operation.get()));
    const DWORD error = handle == nullptr ? GetLastError() : 0;
    if (handle != nullptr || error != ERROR_IO_PENDING) {
        // Answered at once: no completion follows.
        std::lock_guard<std::mutex> hold(registry.lock);
        operation->opening = false;
        operation->handle = handle;
    } else {
        // Connecting and the answer's headers, each within its limit, whether or not the
        // system keeps to the timeouts it was given.
        const HANDLE waits[] = {operation->done, session->closed};
        const DWORD woken = WaitForMultipleObjects(
            2, waits, FALSE, session->limits.connectMs + session->limits.stallMs);
        if (woken != WAIT_OBJECT_0) {
            Abandon(operation);
            return nullptr;
        }
        std::lock_guard<std::mutex> hold(registry.lock);
        handle = operation->handle;
    }
    if (handle == nullptr || session->IsClosed()) {
        DWORD failure = error;
        if (error == ERROR_IO_PENDING) {
            std::lock_guard<std::mutex> hold(registry.lock);
            failure = operation->error;
        }
        session->lastFailure = IsSecurityFailure(failure) ? net::OpenFailure::kInsecure
                                                          : net::OpenFailure::kUnreachable;
        Abandon(operation);
        return nullptr;
    }
    slot.held = false;
    std::unique_ptr<WinInetRequest> request(
        new WinInetRequest(std::move(session), std::move(operation), handle, std::move(server)));
    request->ReadHeaders();
    return request;
}

WinInetRequest::WinInetRequest(std::shared_ptr<SessionState> session,
                               std::shared_ptr<Operation> operation, HINTERNET handle,
                               std::string server)
    : session_(std::move(session)),
      operation_(std::move(operation)),
      handle_(handle),
      server_(std::move(server)) {}

WinInetRequest::~WinInetRequest() {
    Abandon(operation_);
    GiveBackSlot();
}

void WinInetRequest::GiveBackSlot() {
    if (holdsSlot_) {
        holdsSlot_ = false;
        ReleaseSlot(server_);
    }
}

int64_t WinInetRequest::End(int64_t result) {
    if (result == 0) {
        ended_ = true;
    } else {
        failed_ = true;
    }
    // Nothing more comes over the connection: another request may have it.
    GiveBackSlot();
    return result;
}

std::string WinInetRequest::Header(DWORD query, DWORD index) const {
    std::vector<char> buffer(256);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD at = index;
        if (HttpQueryInfoA(handle_, query, buffer.data(), &size, &at)) {
            return std::string(buffer.data(), size);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size()) {
            return "";
        }
        buffer.resize(size);
    }
}

void WinInetRequest::ReadHeaders() {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (HttpQueryInfoA(handle_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr)) {
        status_ = static_cast<int>(status);
    }
    lengthText_ = Header(HTTP_QUERY_CONTENT_LENGTH);
    for (DWORD index = 0;; ++index) {
        const std::string value = Header(HTTP_QUERY_CONTENT_ENCODING, index);
        if (value.empty()) {
            break;
        }
        encodingText_ += (encodingText_.empty() ? "" : ", ") + value;
    }
    const std::string range = Header(HTTP_QUERY_CONTENT_RANGE);
    if (!range.empty()) {
        ParseContentRange(range, range_);
    }
}

bool WinInetRequest::QueryAvailable(DWORD& available) {
    if (pending_) {
        return false;
    }
    ResetEvent(operation_->done);
    operation_->available = 0;
    if (InternetQueryDataAvailable(handle_, &operation_->available, 0, 0)) {
        available = operation_->available;
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
        pending_ = true;
        return false;
    }
    std::lock_guard<std::mutex> hold(TheRegistry().lock);
    operation_->error = error;
    SetEvent(operation_->done);
    pending_ = true;
    return false;
}

WinInetRequest::Wait WinInetRequest::WaitForOperation() {
    const HANDLE waits[] = {operation_->done, session_->closed};
    switch (WaitForMultipleObjects(2, waits, FALSE, session_->limits.stallMs)) {
        case WAIT_OBJECT_0:
            pending_ = false;
            return Wait::kDone;
        case WAIT_TIMEOUT:
            return Wait::kTimedOut;
        default:
            return Wait::kClosed;
    }
}

int64_t WinInetRequest::BytesAvailable() {
    if (session_->IsClosed() || ended_ || failed_) {
        return 0;
    }
    if (pending_) {
        if (WaitForSingleObject(operation_->done, 0) != WAIT_OBJECT_0) {
            return 0;
        }
        // Completed: the next query answers from what it brought in.
        pending_ = false;
    }
    DWORD available = 0;
    return QueryAvailable(available) ? available : 0;
}

int64_t WinInetRequest::Read(char* buffer, int64_t size) {
    if (session_->IsClosed() || failed_) {
        return End(-1);
    }
    if (ended_ || size <= 0) {
        return 0;
    }
    DWORD available = 0;
    while (!QueryAvailable(available)) {
        const Wait woken = WaitForOperation();
        if (woken != Wait::kDone) {
            return End(-1);
        }
        DWORD error = 0;
        {
            std::lock_guard<std::mutex> hold(TheRegistry().lock);
            error = operation_->error;
        }
        if (error == ERROR_INTERNET_TIMEOUT) {
            return End(-1);
        }
        if (error != 0) {
            // The server closed the connection: the caller compares what it got with the
            // length.
            return End(0);
        }
    }
    if (available == 0) {
        return End(0);
    }
    // What is available is read without waiting; a read that goes pending all the same is
    // waited for like a query.
    const DWORD wanted = static_cast<DWORD>(std::min<int64_t>({size, available, kChunk}));
    std::vector<char>& chunk = operation_->chunk;
    if (chunk.size() < wanted) {
        chunk.resize(wanted);
    }
    ResetEvent(operation_->done);
    operation_->read = 0;
    if (!InternetReadFile(handle_, chunk.data(), wanted, &operation_->read)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            return End(-1);
        }
        pending_ = true;
        if (WaitForOperation() != Wait::kDone) {
            return End(-1);
        }
    }
    const DWORD got = std::min(operation_->read, wanted);
    if (got == 0) {
        return End(0);
    }
    std::copy(chunk.data(), chunk.data() + got, buffer);
    return got;
}

}  // namespace platform::win32
