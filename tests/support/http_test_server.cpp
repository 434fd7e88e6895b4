#include "tests/support/http_test_server.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace test_support {
namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr const char* kBinary = "application/octet-stream";

std::string Page(int status) {
    return "<html><body><h1>" + std::to_string(status) + "</h1></body></html>\n";
}

// Other bytes of the same length in place of a real encoded form: enough to tell whether a
// client stored what it was sent.
void StandInForEncoded(std::string& bytes) {
    for (char& c : bytes) {
        c = static_cast<char>(c ^ 0x5A);
    }
}

}  // namespace

// What a path serves: bytes in memory or a file on disk.
struct HttpTestServer::Path {
    std::shared_ptr<const std::string> memory;
    std::string file;
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

HttpTestServer::HttpTestServer(int port) : server_(std::make_unique<httplib::Server>()) {
    // Enough workers for stalled answers and many parallel clients.
    server_->new_task_queue = [] { return new httplib::ThreadPool(24); };
    server_->set_keep_alive_max_count(1000);
    // An idle kept-alive connection holds a worker this long; keeps Stop() quick.
    server_->set_keep_alive_timeout(1);
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        // The request object is the server's own, not const: clearing its ranges is how an
        // answer opts out of range handling.
        Handle(const_cast<httplib::Request&>(request), response);
    });
    if (port == 0) {
        port_ = server_->bind_to_any_port("127.0.0.1");
    } else if (server_->bind_to_port("127.0.0.1", port)) {
        port_ = port;
    } else {
        std::fprintf(stderr, "test server: port %d of 127.0.0.1 is taken\n", port);
        std::abort();
    }
    listener_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

HttpTestServer::~HttpTestServer() {
    Stop();
}

void HttpTestServer::Stop() {
    stopping_ = true;
    if (listener_.joinable()) {
        server_->stop();
        listener_.join();
    }
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpTestServer::AddFile(const std::string& path, std::string body) {
    auto entry = std::make_shared<Path>();
    entry->size = static_cast<int64_t>(body.size());
    entry->memory = std::make_shared<const std::string>(std::move(body));
    std::lock_guard<std::mutex> hold(lock_);
    paths_[path] = std::move(entry);
}

void HttpTestServer::ServeFolder(const std::string& folder) {
    std::lock_guard<std::mutex> hold(lock_);
    folder_ = folder;
}

void HttpTestServer::SetBehaviour(const std::string& path, const Behaviour& behaviour) {
    std::lock_guard<std::mutex> hold(lock_);
    behaviours_[path] = behaviour;
    cutsDone_[path] = 0;
}

std::vector<ReceivedRequest> HttpTestServer::Requests() const {
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

size_t HttpTestServer::ConnectionsSeen() const {
    std::lock_guard<std::mutex> hold(lock_);
    return ports_.size();
}

std::shared_ptr<HttpTestServer::Path> HttpTestServer::Find(const std::string& path) {
    auto found = paths_.find(path);
    if (found != paths_.end()) {
        return found->second;
    }
    if (folder_.empty() || path.find("..") != std::string::npos) {
        return nullptr;
    }
    struct stat info {};
    const std::string file = folder_ + path;
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return nullptr;
    }
    auto entry = std::make_shared<Path>();
    entry->file = file;
    entry->size = info.st_size;
    return entry;
}

void HttpTestServer::Handle(httplib::Request& request, httplib::Response& response) {
    std::shared_ptr<Path> content;
    Behaviour behaviour;
    bool cut = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        requests_.push_back({request.path, request.get_header_value("Range"),
                             request.get_header_value("User-Agent"),
                             request.get_header_value("Accept-Encoding"), request.remote_port});
        ports_.insert(request.remote_port);
        content = Find(request.path);
        auto found = behaviours_.find(request.path);
        if (found != behaviours_.end()) {
            behaviour = found->second;
            int& done = cutsDone_[request.path];
            cut = behaviour.cutAfter >= 0 && (behaviour.cutTimes < 0 || done < behaviour.cutTimes);
            done += cut ? 1 : 0;
        }
    }

    if (!behaviour.redirectTo.empty()) {
        request.ranges.clear();
        response.set_redirect(behaviour.redirectTo);
        return;
    }
    if (behaviour.replaceBody) {
        request.ranges.clear();
        response.status = 200;
        response.set_content(*behaviour.replaceBody, "text/html");
        return;
    }
    if (behaviour.errorStatus != 0 || !content) {
        request.ranges.clear();
        response.status = behaviour.errorStatus != 0 ? behaviour.errorStatus : 404;
        response.set_content(Page(response.status), "text/html");
        return;
    }
    const int64_t size = content->size;
    if (behaviour.ignoreRange || behaviour.chunked) {
        request.ranges.clear();
    }
    // As nginx: "bytes=0-" of an empty file is an empty 200, any other range past the end 416.
    const int64_t rangeStart = request.ranges.empty() ? -1 : request.ranges[0].first;
    if (rangeStart >= size &&
        !(size == 0 && rangeStart == 0 && !behaviour.emptyRangeUnsatisfiable)) {
        // cpp-httplib cannot build this answer from a content provider.
        request.ranges.clear();
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        response.set_content(Page(416), "text/html");
        return;
    }
    if (behaviour.rangeCap > 0 && rangeStart >= 0) {
        // cpp-httplib builds the 206 and its Content-Range from the narrowed range.
        const int64_t last = std::min(size, rangeStart + behaviour.rangeCap) - 1;
        request.ranges.resize(1);
        request.ranges[0].second = static_cast<decltype(request.ranges[0].second)>(last);
    }
    if (size == 0) {
        request.ranges.clear();
        response.set_content("", kBinary);
        return;
    }
    const std::string accepted = request.get_header_value("Accept-Encoding");
    const bool encode =
        !behaviour.contentEncoding.empty() &&
        (!behaviour.encodeOnlyWhenAccepted || accepted.find('*') != std::string::npos ||
         accepted.find(behaviour.contentEncoding) != std::string::npos);
    if (encode) {
        response.set_header("Content-Encoding", behaviour.contentEncoding);
    }
    // A Content-Range of this server's own making (cpp-httplib always states the total): the
    // asked part with "*" as the total, or the stated text with the whole file.
    if (!behaviour.contentRange.empty() || (behaviour.hideTotal && rangeStart >= 0)) {
        int64_t first = 0;
        int64_t last = size - 1;
        std::string stated = behaviour.contentRange;
        if (stated.empty()) {
            first = rangeStart;
            if (request.ranges[0].second >= 0) {
                last = std::min<int64_t>(last, request.ranges[0].second);
            }
            stated = "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/*";
        }
        request.ranges.clear();
        response.status = 206;
        response.set_header("Content-Range", stated);
        std::string body;
        content->Read(first, static_cast<size_t>(last - first + 1), body);
        if (encode) {
            StandInForEncoded(body);
        }
        response.set_content(body, kBinary);
        return;
    }

    auto sent = std::make_shared<int64_t>(0);
    auto began = std::chrono::steady_clock::now();
    // Writes the next piece at `offset`; false closes the connection.
    auto provide = [this, content, behaviour, cut, sent, encode, began](
                       size_t offset, size_t length, httplib::DataSink& sink) {
        if (behaviour.stall && *sent >= behaviour.stallAfter) {
            while (!stopping_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return false;
        }
        int64_t count = static_cast<int64_t>(std::min(length, kChunk));
        if (cut) {
            count = std::min(count, behaviour.cutAfter - *sent);
        }
        if (behaviour.stall) {
            count = std::min(count, behaviour.stallAfter - *sent);
        }
        std::string piece;
        if (count <= 0 ||
            !content->Read(static_cast<int64_t>(offset), static_cast<size_t>(count), piece)) {
            return false;
        }
        if (encode) {
            StandInForEncoded(piece);
        }
        *sent += count;
        if (behaviour.bytesPerSecond > 0) {
            // Not before the time the bytes sent so far take at the rate.
            auto due =
                began + std::chrono::microseconds(*sent * 1000000 / behaviour.bytesPerSecond);
            while (!stopping_ && std::chrono::steady_clock::now() < due) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return sink.write(piece.data(), piece.size());
    };
    if (behaviour.chunked) {
        response.set_chunked_content_provider(
            kBinary, [provide, size](size_t offset, httplib::DataSink& sink) {
                if (static_cast<int64_t>(offset) >= size) {
                    sink.done();
                    return true;
                }
                return provide(offset, static_cast<size_t>(size) - offset, sink);
            });
        return;
    }
    response.set_content_provider(static_cast<size_t>(size), kBinary, provide);
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
