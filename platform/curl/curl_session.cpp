// The libcurl implementation of platform/net.h's sessions and connection limit.
#include "platform/curl/curl_request.h"

namespace platform::curl {
namespace {

class CurlSession : public net::Session {
public:
    CurlSession(const char* agent, const net::Limits& limits)
        : state_(std::make_shared<SessionState>()) {
        state_->agent = agent ? agent : "";
        state_->limits = limits;
    }
    // Releasing the session does not end its requests: they share its state.
    ~CurlSession() override = default;

    std::unique_ptr<net::Request> OpenUrl(const char* url, const char* headers) override {
        return CurlRequest::Open(state_, url, headers);
    }
    net::OpenFailure LastOpenFailure() const override { return state_->lastFailure; }
    void Close() override { state_->Close(); }

private:
    std::shared_ptr<SessionState> state_;
};

}  // namespace
}  // namespace platform::curl

namespace platform::net {

std::shared_ptr<Session> OpenSession(const char* agent, const Limits& limits) {
    curl::EnsureLibraryReady();
    return std::make_shared<curl::CurlSession>(agent, limits);
}

unsigned SetMaxConnectionsPerServer(unsigned limit) {
    SetSlotLimit(limit);
    return limit;
}

}  // namespace platform::net
