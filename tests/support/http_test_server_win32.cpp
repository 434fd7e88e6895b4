// The test server of the Windows build, on Winsock: one thread per connection, keep-alive; the
// answers are planned as for the cpp-httplib one (answer_planner.h) and framed here.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/answer_planner.h"
#include "tests/support/http_test_server.h"

namespace test_support {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 302:
            return "Found";
        case 404:
            return "Not Found";
        case 416:
            return "Range Not Satisfiable";
        default:
            return "Error";
    }
}

bool SendAll(SOCKET socket, const char* data, size_t size) {
    while (size > 0) {
        const int put = send(socket, data, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
        if (put <= 0) {
            return false;
        }
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

// A request target with its percent escapes decoded, as the Linux server records it: the
// UTF-8 bytes of the path.
std::string DecodedPath(const std::string& target) {
    std::string path;
    for (size_t i = 0; i < target.size(); ++i) {
        if (target[i] == '%' && i + 2 < target.size() &&
            std::isxdigit(static_cast<unsigned char>(target[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(target[i + 2]))) {
            path += static_cast<char>(std::stoi(target.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += target[i];
        }
    }
    return path;
}

struct ParsedRequest {
    std::string path;
    std::map<std::string, std::string> headers;  // names in lower case
    bool valid = false;
};

// Waits until `socket` can be read or `stopping` is set (Wine does not end a blocked receive
// when the socket is shut down from another thread); false when stopping.
bool WaitReadable(SOCKET socket, const std::atomic<bool>& stopping) {
    while (!stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        timeval wait{0, 20 * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) != 0) {
            return true;
        }
    }
    return false;
}

// Reads one request's head from `pending` plus the socket; false when the connection ended.
bool ReadRequest(SOCKET socket, const std::atomic<bool>& stopping, std::string& pending,
                 ParsedRequest& request) {
    size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
        if (!WaitReadable(socket, stopping)) {
            return false;
        }
        char buffer[4096];
        const int got = recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return false;
        }
        pending.append(buffer, static_cast<size_t>(got));
    }
    const std::string head = pending.substr(0, end);
    pending.erase(0, end + 4);
    size_t lineEnd = head.find("\r\n");
    const std::string first = head.substr(0, lineEnd);
    const size_t space = first.find(' ');
    const size_t space2 = first.find(' ', space + 1);
    if (space == std::string::npos || space2 == std::string::npos) {
        return true;
    }
    request.path = DecodedPath(first.substr(space + 1, space2 - space - 1));
    request.valid = true;
    while (lineEnd != std::string::npos) {
        const size_t begin = lineEnd + 2;
        lineEnd = head.find("\r\n", begin);
        const std::string line =
            head.substr(begin, lineEnd == std::string::npos ? std::string::npos : lineEnd - begin);
        const size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const size_t value = line.find_first_not_of(' ', colon + 1);
        request.headers[Lower(line.substr(0, colon))] =
            value == std::string::npos ? "" : line.substr(value);
    }
    return true;
}

}  // namespace

struct HttpTestServer::Listener {
    explicit Listener(ServedFiles& served) : files(served) {}

    ServedFiles& files;
    SOCKET listener = INVALID_SOCKET;
    std::thread acceptor;
    std::atomic<bool> stopping{false};
    std::mutex lock;
    std::vector<std::thread> connections;  // under `lock`
    std::set<SOCKET> open;                 // under `lock`

    void Accept() {
        while (WaitReadable(listener, stopping)) {
            sockaddr_in peer{};
            int size = sizeof peer;
            const SOCKET socket = accept(listener, reinterpret_cast<sockaddr*>(&peer), &size);
            if (socket == INVALID_SOCKET) {
                continue;
            }
            std::lock_guard<std::mutex> hold(lock);
            if (stopping) {
                closesocket(socket);
                return;
            }
            open.insert(socket);
            const int port = ntohs(peer.sin_port);
            connections.emplace_back([this, socket, port] { Serve(socket, port); });
        }
    }

    void Serve(SOCKET socket, int port) {
        std::string pending;
        for (;;) {
            ParsedRequest request;
            if (!ReadRequest(socket, stopping, pending, request) || !request.valid ||
                !Answer(socket, port, request) || Lower(request.headers["connection"]) == "close") {
                break;
            }
        }
        std::lock_guard<std::mutex> hold(lock);
        if (open.erase(socket) != 0) {
            closesocket(socket);
        }
    }

    // Answers one request as planned; false closes the connection.
    bool Answer(SOCKET socket, int port, ParsedRequest& request) {
        const ServedFiles::Answer answer =
            files.Receive({request.path, request.headers["range"], request.headers["user-agent"],
                           request.headers["accept-encoding"], port});
        const PlannedAnswer& plan = answer.plan;
        std::string head =
            "HTTP/1.1 " + std::to_string(plan.status) + " " + Reason(plan.status) + "\r\n";
        for (const auto& [name, value] : plan.headers) {
            head += name + ": " + value + "\r\n";
        }
        head += "Content-Type: " + plan.type + "\r\n";
        if (plan.chunked) {
            head += "Transfer-Encoding: chunked\r\n";
        } else {
            const size_t length = plan.text ? plan.text->size() : static_cast<size_t>(plan.length);
            head += "Content-Length: " + std::to_string(length) + "\r\n";
        }
        head += "\r\n";
        if (!SendAll(socket, head.data(), head.size())) {
            return false;
        }
        if (plan.text) {
            return SendAll(socket, plan.text->data(), plan.text->size());
        }
        const bool sent = SendBody(
            plan, *answer.content,
            [&](const std::string& piece) {
                if (!plan.chunked) {
                    return SendAll(socket, piece.data(), piece.size());
                }
                char size[32];
                std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                const std::string framed = size + piece + "\r\n";
                return SendAll(socket, framed.data(), framed.size());
            },
            stopping);
        return sent && (!plan.chunked || SendAll(socket, "0\r\n\r\n", 5));
    }
};

HttpTestServer::HttpTestServer(int port)
    : files_(std::make_unique<ServedFiles>()), listener_(std::make_unique<Listener>(*files_)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    Listener& s = *listener_;
    s.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    int size = sizeof address;
    if (s.listener == INVALID_SOCKET ||
        bind(s.listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(s.listener, SOMAXCONN) != 0 ||
        getsockname(s.listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::fprintf(stderr, "test server: port %d of 127.0.0.1 is taken\n", port);
        std::abort();
    }
    port_ = ntohs(address.sin_port);
    s.acceptor = std::thread([&s] { s.Accept(); });
}

HttpTestServer::~HttpTestServer() {
    Stop();
}

void HttpTestServer::Stop() {
    Listener& s = *listener_;
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (s.stopping) {
            return;
        }
        s.stopping = true;
    }
    s.acceptor.join();
    closesocket(s.listener);
    {
        std::lock_guard<std::mutex> hold(s.lock);
        for (SOCKET socket : s.open) {
            // Ends a send into a full buffer; the connection's thread closes the socket.
            shutdown(socket, SD_BOTH);
        }
        connections.swap(s.connections);
    }
    for (std::thread& connection : connections) {
        connection.join();
    }
}

}  // namespace test_support

namespace test_support {

RawAnswerServer::RawAnswerServer(std::string answer) : answer_(std::move(answer)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (listener == INVALID_SOCKET ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 16) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::fprintf(stderr, "RawAnswerServer: no loopback port\n");
        std::abort();
    }
    listener_ = static_cast<std::intptr_t>(listener);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

RawAnswerServer::~RawAnswerServer() {
    stopping_ = true;
    thread_.join();
    closesocket(static_cast<SOCKET>(listener_));
}

std::string RawAnswerServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RawAnswerServer::Serve() {
    const SOCKET listener = static_cast<SOCKET>(listener_);
    while (WaitReadable(listener, stopping_)) {
        const SOCKET connection = accept(listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET) {
            continue;
        }
        // The request's headers end with an empty line; nothing in them matters here.
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos &&
               WaitReadable(connection, stopping_)) {
            const int got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            request.append(buffer, static_cast<size_t>(got));
        }
        // Counted before the answer goes out: a client that has read it finds it counted.
        ++answered_;
        SendAll(connection, answer_.data(), answer_.size());
        shutdown(connection, SD_SEND);
        closesocket(connection);
    }
}

}  // namespace test_support
