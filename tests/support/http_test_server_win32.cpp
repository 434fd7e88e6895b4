// The test server of the Windows build, on Winsock: the same answers as the cpp-httplib one
// (byte ranges as nginx answers them and the per-path misbehaviour), one thread per connection,
// keep-alive.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/http_test_server.h"

namespace test_support {
namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr const char* kBinary = "application/octet-stream";

std::string Page(int status) {
    return "<html><body><h1>" + std::to_string(status) + "</h1></body></html>\n";
}

void StandInForEncoded(std::string& bytes) {
    for (char& c : bytes) {
        c = static_cast<char>(c ^ 0x5A);
    }
}

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

// "bytes=a-" or "bytes=a-b": the first and last offsets (last -1 when open); false otherwise.
bool ParseRange(const std::string& text, int64_t& first, int64_t& last) {
    if (text.rfind("bytes=", 0) != 0) {
        return false;
    }
    char* end = nullptr;
    first = std::strtoll(text.c_str() + 6, &end, 10);
    if (end == text.c_str() + 6 || *end != '-') {
        return false;
    }
    last = end[1] ? std::strtoll(end + 1, nullptr, 10) : -1;
    return true;
}

}  // namespace

struct HttpTestServer::Sockets {
    struct Path {
        std::shared_ptr<const std::string> memory;
        std::filesystem::path file;
        int64_t size = 0;

        bool Read(int64_t offset, size_t count, std::string& out) const {
            if (memory) {
                out.assign(*memory, static_cast<size_t>(offset), count);
                return true;
            }
            std::ifstream in(file, std::ios::binary);
            out.resize(count);
            in.seekg(offset);
            in.read(out.data(), static_cast<std::streamsize>(count));
            return static_cast<size_t>(in.gcount()) == count;
        }
    };

    SOCKET listener = INVALID_SOCKET;
    std::thread acceptor;
    std::atomic<bool> stopping{false};
    mutable std::mutex lock;
    std::vector<std::thread> connections;  // under `lock`
    std::set<SOCKET> open;                 // under `lock`
    std::map<std::string, std::shared_ptr<Path>> paths;
    std::map<std::string, Behaviour> behaviours;
    std::map<std::string, int> cutsDone;
    std::string folder;
    std::vector<ReceivedRequest> requests;
    std::set<int> ports;

    std::shared_ptr<Path> Find(const std::string& path) {
        auto found = paths.find(path);
        if (found != paths.end()) {
            return found->second;
        }
        if (folder.empty() || path.empty() || path[0] != '/' ||
            path.find("..") != std::string::npos) {
            return nullptr;
        }
        std::error_code error;
        // The path's UTF-8 names through the system's wide names: a narrow name would be read
        // in the ANSI code page.
        const std::filesystem::path file =
            std::filesystem::path(folder) / std::u8string(path.begin() + 1, path.end());
        if (!std::filesystem::is_regular_file(file, error)) {
            return nullptr;
        }
        auto entry = std::make_shared<Path>();
        entry->file = file;
        entry->size = static_cast<int64_t>(std::filesystem::file_size(file, error));
        return entry;
    }

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

    static bool SendHead(SOCKET socket, int status,
                         const std::vector<std::pair<std::string, std::string>>& headers) {
        std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
        for (const auto& [name, value] : headers) {
            head += name + ": " + value + "\r\n";
        }
        head += "\r\n";
        return SendAll(socket, head.data(), head.size());
    }

    static bool SendWhole(SOCKET socket, int status, const std::string& type,
                          const std::string& body,
                          std::vector<std::pair<std::string, std::string>> headers = {}) {
        headers.emplace_back("Content-Type", type);
        headers.emplace_back("Content-Length", std::to_string(body.size()));
        return SendHead(socket, status, headers) && SendAll(socket, body.data(), body.size());
    }

    // Answers one request; false closes the connection.
    bool Answer(SOCKET socket, int port, ParsedRequest& request) {
        std::shared_ptr<Path> content;
        Behaviour behaviour;
        bool cut = false;
        {
            std::lock_guard<std::mutex> hold(lock);
            requests.push_back({request.path, request.headers["range"],
                                request.headers["user-agent"], request.headers["accept-encoding"],
                                port});
            ports.insert(port);
            content = Find(request.path);
            auto found = behaviours.find(request.path);
            if (found != behaviours.end()) {
                behaviour = found->second;
                int& done = cutsDone[request.path];
                cut = behaviour.cutAfter >= 0 &&
                      (behaviour.cutTimes < 0 || done < behaviour.cutTimes);
                done += cut ? 1 : 0;
            }
        }
        if (!behaviour.redirectTo.empty()) {
            return SendWhole(socket, 302, "text/plain", "", {{"Location", behaviour.redirectTo}});
        }
        if (behaviour.replaceBody) {
            return SendWhole(socket, 200, "text/html", *behaviour.replaceBody);
        }
        if (behaviour.errorStatus != 0 || !content) {
            const int status = behaviour.errorStatus != 0 ? behaviour.errorStatus : 404;
            return SendWhole(socket, status, "text/html", Page(status));
        }
        const int64_t size = content->size;
        int64_t first = -1;
        int64_t last = -1;
        const bool ranged = !behaviour.ignoreRange && !behaviour.chunked &&
                            ParseRange(request.headers["range"], first, last);
        if (!ranged) {
            first = -1;
        }
        // As nginx: "bytes=0-" of an empty file is an empty 200, any other range past the
        // end 416.
        if (first >= size && !(size == 0 && first == 0 && !behaviour.emptyRangeUnsatisfiable)) {
            return SendWhole(socket, 416, "text/html", Page(416),
                             {{"Content-Range", "bytes */" + std::to_string(size)}});
        }
        if (size == 0) {
            return SendWhole(socket, 200, kBinary, "");
        }
        if (first >= 0) {
            last = last < 0 ? size - 1 : std::min(last, size - 1);
            if (behaviour.rangeCap > 0) {
                last = std::min(last, first + behaviour.rangeCap - 1);
            }
        }
        const std::string& accepted = request.headers["accept-encoding"];
        const bool encode =
            !behaviour.contentEncoding.empty() &&
            (!behaviour.encodeOnlyWhenAccepted || accepted.find('*') != std::string::npos ||
             accepted.find(behaviour.contentEncoding) != std::string::npos);
        std::vector<std::pair<std::string, std::string>> headers{{"Content-Type", kBinary}};
        if (encode) {
            headers.emplace_back("Content-Encoding", behaviour.contentEncoding);
        }
        if (!behaviour.contentRange.empty() || (behaviour.hideTotal && first >= 0)) {
            int64_t from = 0;
            int64_t to = size - 1;
            std::string stated = behaviour.contentRange;
            if (stated.empty()) {
                from = first;
                to = last;
                stated = "bytes " + std::to_string(from) + "-" + std::to_string(to) + "/*";
            }
            std::string body;
            content->Read(from, static_cast<size_t>(to - from + 1), body);
            if (encode) {
                StandInForEncoded(body);
            }
            headers.emplace_back("Content-Range", stated);
            headers.emplace_back("Content-Length", std::to_string(body.size()));
            return SendHead(socket, 206, headers) && SendAll(socket, body.data(), body.size());
        }
        int status = 200;
        int64_t from = 0;
        int64_t to = size - 1;
        if (first >= 0) {
            status = 206;
            from = first;
            to = last;
            headers.emplace_back("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                      std::to_string(to) + "/" +
                                                      std::to_string(size));
        }
        if (behaviour.chunked) {
            headers.emplace_back("Transfer-Encoding", "chunked");
        } else {
            headers.emplace_back("Content-Length", std::to_string(to - from + 1));
        }
        if (!SendHead(socket, status, headers)) {
            return false;
        }
        const auto began = std::chrono::steady_clock::now();
        int64_t sent = 0;
        while (from + sent <= to) {
            if (behaviour.stall && sent >= behaviour.stallAfter) {
                while (!stopping) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
                return false;
            }
            int64_t count = std::min<int64_t>(kChunk, to - from - sent + 1);
            if (cut) {
                count = std::min(count, behaviour.cutAfter - sent);
            }
            if (behaviour.stall) {
                count = std::min(count, behaviour.stallAfter - sent);
            }
            std::string piece;
            if (count <= 0 || !content->Read(from + sent, static_cast<size_t>(count), piece)) {
                return false;
            }
            if (encode) {
                StandInForEncoded(piece);
            }
            sent += count;
            if (behaviour.bytesPerSecond > 0) {
                const auto due =
                    began + std::chrono::microseconds(sent * 1000000 / behaviour.bytesPerSecond);
                while (!stopping && std::chrono::steady_clock::now() < due) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
            if (behaviour.chunked) {
                char size[32];
                std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                piece = size + piece + "\r\n";
            }
            if (!SendAll(socket, piece.data(), piece.size())) {
                return false;
            }
        }
        return !behaviour.chunked || SendAll(socket, "0\r\n\r\n", 5);
    }
};

HttpTestServer::HttpTestServer(int port) : sockets_(std::make_unique<Sockets>()) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    Sockets& s = *sockets_;
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
    Sockets& s = *sockets_;
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

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpTestServer::AddFile(const std::string& path, std::string body) {
    auto entry = std::make_shared<Sockets::Path>();
    entry->size = static_cast<int64_t>(body.size());
    entry->memory = std::make_shared<const std::string>(std::move(body));
    std::lock_guard<std::mutex> hold(sockets_->lock);
    sockets_->paths[path] = std::move(entry);
}

void HttpTestServer::ServeFolder(const std::string& folder) {
    std::lock_guard<std::mutex> hold(sockets_->lock);
    sockets_->folder = folder;
}

void HttpTestServer::SetBehaviour(const std::string& path, const Behaviour& behaviour) {
    std::lock_guard<std::mutex> hold(sockets_->lock);
    sockets_->behaviours[path] = behaviour;
    sockets_->cutsDone[path] = 0;
}

std::vector<ReceivedRequest> HttpTestServer::Requests() const {
    std::lock_guard<std::mutex> hold(sockets_->lock);
    return sockets_->requests;
}

size_t HttpTestServer::ConnectionsSeen() const {
    std::lock_guard<std::mutex> hold(sockets_->lock);
    return sockets_->ports.size();
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
