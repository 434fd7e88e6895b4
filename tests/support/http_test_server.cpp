#include "tests/support/http_test_server.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/answer_planner.h"

namespace test_support {

struct HttpTestServer::Listener {
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> stopping{false};
};

namespace {

// Puts the plan on the wire; cpp-httplib adds Content-Length or the chunks' framing.
void Put(const ServedFiles::Answer& answer, const std::atomic<bool>& stopping,
         httplib::Response& response) {
    const PlannedAnswer& plan = answer.plan;
    response.status = plan.status;
    for (const auto& [name, value] : plan.headers) {
        response.set_header(name, value);
    }
    if (plan.text) {
        response.set_content(*plan.text, plan.type);
        return;
    }
    auto content = answer.content;
    // One call writes the whole body; false closes the connection.
    auto send = [plan, content, &stopping](httplib::DataSink& sink) {
        return SendBody(
            plan, *content,
            [&sink](const std::string& piece) { return sink.write(piece.data(), piece.size()); },
            stopping);
    };
    if (plan.chunked) {
        response.set_chunked_content_provider(plan.type, [send](size_t, httplib::DataSink& sink) {
            if (!send(sink)) {
                return false;
            }
            sink.done();
            return true;
        });
        return;
    }
    response.set_content_provider(
        static_cast<size_t>(plan.length), plan.type,
        [send](size_t, size_t, httplib::DataSink& sink) { return send(sink); });
}

}  // namespace

HttpTestServer::HttpTestServer(int port)
    : files_(std::make_unique<ServedFiles>()), listener_(std::make_unique<Listener>()) {
    httplib::Server& server = listener_->server;
    // Enough workers for stalled answers and many parallel clients.
    server.new_task_queue = [] { return new httplib::ThreadPool(24); };
    server.set_keep_alive_max_count(1000);
    // An idle kept-alive connection holds a worker this long; keeps Stop() quick.
    server.set_keep_alive_timeout(1);
    server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        // The request object is the server's own, not const: the plan decides the ranges, so
        // cpp-httplib applies none of its own.
        const_cast<httplib::Request&>(request).ranges.clear();
        Put(files_->Receive({request.path, request.get_header_value("Range"),
                             request.get_header_value("User-Agent"),
                             request.get_header_value("Accept-Encoding"), request.remote_port}),
            listener_->stopping, response);
    });
    if (port == 0) {
        port_ = server.bind_to_any_port("127.0.0.1");
    } else if (server.bind_to_port("127.0.0.1", port)) {
        port_ = port;
    } else {
        std::fprintf(stderr, "test server: port %d of 127.0.0.1 is taken\n", port);
        std::abort();
    }
    listener_->thread = std::thread([&server] { server.listen_after_bind(); });
    while (!server.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

HttpTestServer::~HttpTestServer() {
    Stop();
}

void HttpTestServer::Stop() {
    listener_->stopping = true;
    if (listener_->thread.joinable()) {
        listener_->server.stop();
        listener_->thread.join();
    }
}

}  // namespace test_support

namespace test_support {

RawAnswerServer::RawAnswerServer(std::string answer) : answer_(std::move(answer)) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    listener_ = listener;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 16) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("RawAnswerServer: no loopback port");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

RawAnswerServer::~RawAnswerServer() {
    stopping_ = true;
    // Ends a waiting accept.
    shutdown(static_cast<int>(listener_), SHUT_RDWR);
    thread_.join();
    close(static_cast<int>(listener_));
}

std::string RawAnswerServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RawAnswerServer::Serve() {
    while (!stopping_) {
        const int connection = accept4(static_cast<int>(listener_), nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        // The request's headers end with an empty line; nothing in them matters here.
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            request.append(buffer, static_cast<size_t>(got));
        }
        // Counted before the answer goes out: a client that has read it finds it counted.
        ++answered_;
        size_t sent = 0;
        while (sent < answer_.size()) {
            const ssize_t put =
                send(connection, answer_.data() + sent, answer_.size() - sent, MSG_NOSIGNAL);
            if (put <= 0) {
                break;
            }
            sent += static_cast<size_t>(put);
        }
        close(connection);
    }
}

}  // namespace test_support
