// The WinINet implementation of platform/net.h's sessions and connection limit.
#include <algorithm>

#include "platform/connection_slots.h"
#include "platform/win32/wininet_request.h"

namespace platform::win32 {
namespace {

class WinInetSession : public net::Session {
public:
    explicit WinInetSession(std::shared_ptr<SessionState> state) : state_(std::move(state)) {}
    // Releasing the session does not end its requests: they share its state, and with it the
    // internet handle that WinINet would close their handles with.
    ~WinInetSession() override = default;

    std::unique_ptr<net::Request> OpenUrl(const char* url, const char* headers) override {
        return WinInetRequest::Open(state_, url, headers);
    }
    net::OpenFailure LastOpenFailure() const override { return state_->lastFailure; }
    void Close() override { state_->Close(); }

private:
    std::shared_ptr<SessionState> state_;
};

}  // namespace
}  // namespace platform::win32

namespace platform::net {

std::shared_ptr<Session> OpenSession(const char* agent, const Limits& limits) {
    // Asynchronous, so that every wait can also wait for the session's close.
    HINTERNET internet = InternetOpenA(agent ? agent : "", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                       nullptr, INTERNET_FLAG_ASYNC);
    if (internet == nullptr) {
        return nullptr;
    }
    HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // The body is read as it was sent: offsets must match the file on the server.
    BOOL decode = FALSE;
    DWORD connectMs = limits.connectMs;
    DWORD stallMs = limits.stallMs;
    if (closed == nullptr ||
        InternetSetStatusCallbackA(internet, &win32::WinInetRequest::OnStatus) ==
            INTERNET_INVALID_STATUS_CALLBACK ||
        !InternetSetOptionA(internet, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof decode) ||
        !InternetSetOptionA(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs,
                            sizeof connectMs) ||
        !InternetSetOptionA(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs)) {
        InternetCloseHandle(internet);
        if (closed != nullptr) {
            CloseHandle(closed);
        }
        return nullptr;
    }
    auto state = std::make_shared<win32::SessionState>(internet, closed, limits);
    return std::make_shared<win32::WinInetSession>(std::move(state));
}

unsigned SetMaxConnectionsPerServer(unsigned limit) {
    // The process-wide options (null handle); HTTP/1.0 servers have their own. The client
    // keeps the limit itself as well, for the systems that do not.
    DWORD value = limit;
    if (!InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &value, sizeof value) ||
        !InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &value,
                            sizeof value)) {
        return 0;
    }
    DWORD perServer = 0;
    DWORD perOldServer = 0;
    DWORD size = sizeof perServer;
    if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &perServer, &size)) {
        return 0;
    }
    size = sizeof perOldServer;
    if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &perOldServer,
                              &size)) {
        return 0;
    }
    const unsigned inForce = std::min(perServer, perOldServer);
    SetSlotLimit(inForce);
    return inForce;
}

}  // namespace platform::net
