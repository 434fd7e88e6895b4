#include "tests/support/answer_planner.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace test_support {
namespace {

constexpr int64_t kPiece = 64 * 1024;

std::string Page(int status) {
    return "<html><body><h1>" + std::to_string(status) + "</h1></body></html>\n";
}

PlannedAnswer Whole(int status, const char* type, std::string text) {
    PlannedAnswer plan;
    plan.status = status;
    plan.type = type;
    plan.text = std::move(text);
    return plan;
}

// Other bytes of the same length in place of a real encoded form: enough to tell whether a
// client stored what it was sent.
void StandInForEncoded(std::string& bytes) {
    for (char& c : bytes) {
        c = static_cast<char>(c ^ 0x5A);
    }
}

// "bytes=a-" or "bytes=a-b": the first and last offsets (last -1 when open).
std::optional<std::pair<int64_t, int64_t>> ParseRange(const std::string& text) {
    if (text.rfind("bytes=", 0) != 0) {
        return std::nullopt;
    }
    char* end = nullptr;
    const int64_t first = std::strtoll(text.c_str() + 6, &end, 10);
    if (end == text.c_str() + 6 || *end != '-') {
        return std::nullopt;
    }
    return std::make_pair(first, end[1] ? std::strtoll(end + 1, nullptr, 10) : int64_t{-1});
}

bool Accepts(const std::string& accepted, const std::string& encoding) {
    return accepted.find('*') != std::string::npos || accepted.find(encoding) != std::string::npos;
}

std::string RangeText(int64_t first, int64_t last, const std::string& total) {
    return "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + total;
}

}  // namespace

bool ServedContent::Read(int64_t offset, size_t count, std::string& out) const {
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

PlannedAnswer PlanAnswer(const Behaviour& behaviour, bool cut, std::optional<int64_t> size,
                         const std::string& range, const std::string& acceptEncoding) {
    if (!behaviour.redirectTo.empty()) {
        PlannedAnswer plan = Whole(302, "text/plain", "");
        plan.headers.emplace_back("Location", behaviour.redirectTo);
        return plan;
    }
    if (behaviour.replaceBody) {
        return Whole(200, "text/html", *behaviour.replaceBody);
    }
    if (behaviour.errorStatus != 0 || !size) {
        const int status = behaviour.errorStatus != 0 ? behaviour.errorStatus : 404;
        return Whole(status, "text/html", Page(status));
    }
    std::optional<std::pair<int64_t, int64_t>> asked;
    if (!behaviour.ignoreRange && !behaviour.chunked) {
        asked = ParseRange(range);
    }
    // As nginx: "bytes=0-" of an empty file is an empty 200, any other range past the end 416.
    if (asked && asked->first >= *size &&
        !(*size == 0 && asked->first == 0 && !behaviour.emptyRangeUnsatisfiable)) {
        PlannedAnswer plan = Whole(416, "text/html", Page(416));
        plan.headers.emplace_back("Content-Range", "bytes */" + std::to_string(*size));
        return plan;
    }
    if (*size == 0) {
        return Whole(200, kBinaryType, "");
    }
    PlannedAnswer plan;
    plan.encode =
        !behaviour.contentEncoding.empty() &&
        (!behaviour.encodeOnlyWhenAccepted || Accepts(acceptEncoding, behaviour.contentEncoding));
    if (plan.encode) {
        plan.headers.emplace_back("Content-Encoding", behaviour.contentEncoding);
    }
    int64_t first = 0;
    int64_t last = *size - 1;
    if (asked) {
        first = asked->first;
        last = asked->second < 0 ? last : std::min(last, asked->second);
        if (behaviour.rangeCap > 0) {
            last = std::min(last, first + behaviour.rangeCap - 1);
        }
    }
    // A Content-Range no server library would send, with the body in one piece: the stated
    // text with the whole file, or the asked part with "*" as the total.
    if (!behaviour.contentRange.empty() || (behaviour.hideTotal && asked)) {
        plan.status = 206;
        if (!behaviour.contentRange.empty()) {
            first = 0;
            last = *size - 1;
            plan.headers.emplace_back("Content-Range", behaviour.contentRange);
        } else {
            plan.headers.emplace_back("Content-Range", RangeText(first, last, "*"));
        }
        plan.first = first;
        plan.length = last - first + 1;
        return plan;
    }
    if (asked) {
        plan.status = 206;
        plan.headers.emplace_back("Content-Range", RangeText(first, last, std::to_string(*size)));
    }
    plan.first = first;
    plan.length = last - first + 1;
    plan.chunked = behaviour.chunked;
    plan.closeAfter = cut ? behaviour.cutAfter : -1;
    if (behaviour.stall) {
        plan.stallAfter = behaviour.stallAfter;
    }
    plan.bytesPerSecond = behaviour.bytesPerSecond;
    return plan;
}

bool SendBody(const PlannedAnswer& plan, const ServedContent& content,
              const std::function<bool(const std::string& piece)>& write,
              const std::atomic<bool>& stopping) {
    const auto began = std::chrono::steady_clock::now();
    int64_t sent = 0;
    while (sent < plan.length) {
        // A stopped server sends nothing more.
        if (stopping) {
            return false;
        }
        if (plan.stallAfter && sent >= *plan.stallAfter) {
            while (!stopping) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return false;
        }
        int64_t count = std::min(kPiece, plan.length - sent);
        if (plan.closeAfter >= 0) {
            count = std::min(count, plan.closeAfter - sent);
        }
        if (plan.stallAfter) {
            count = std::min(count, *plan.stallAfter - sent);
        }
        std::string piece;
        if (count <= 0 || !content.Read(plan.first + sent, static_cast<size_t>(count), piece)) {
            return false;
        }
        if (plan.encode) {
            StandInForEncoded(piece);
        }
        sent += count;
        if (plan.bytesPerSecond > 0) {
            // Not before the time the bytes sent so far take at the rate.
            const auto due =
                began + std::chrono::microseconds(sent * 1000000 / plan.bytesPerSecond);
            while (!stopping && std::chrono::steady_clock::now() < due) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        if (!write(piece)) {
            return false;
        }
    }
    return true;
}

void ServedFiles::Add(const std::string& path, std::string body) {
    auto entry = std::make_shared<ServedContent>();
    entry->size = static_cast<int64_t>(body.size());
    entry->memory = std::make_shared<const std::string>(std::move(body));
    std::lock_guard<std::mutex> hold(lock_);
    paths_[path] = std::move(entry);
}

void ServedFiles::ServeFolder(const std::string& folder) {
    std::lock_guard<std::mutex> hold(lock_);
    folder_ = folder;
}

void ServedFiles::SetBehaviour(const std::string& path, const Behaviour& behaviour) {
    std::lock_guard<std::mutex> hold(lock_);
    behaviours_[path] = behaviour;
    cutsDone_[path] = 0;
}

std::vector<ReceivedRequest> ServedFiles::Requests() const {
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

size_t ServedFiles::ConnectionsSeen() const {
    std::lock_guard<std::mutex> hold(lock_);
    return ports_.size();
}

std::shared_ptr<const ServedContent> ServedFiles::Find(const std::string& path) const {
    auto found = paths_.find(path);
    if (found != paths_.end()) {
        return found->second;
    }
    if (folder_.empty() || path.empty() || path[0] != '/' || path.find("..") != std::string::npos) {
        return nullptr;
    }
    // The path's UTF-8 names through the system's wide names on Windows: a narrow name would
    // be read in the ANSI code page.
    const std::filesystem::path name =
        std::filesystem::path(folder_) / std::u8string(path.begin() + 1, path.end());
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) {
        return nullptr;
    }
    auto entry = std::make_shared<ServedContent>();
    entry->file = name;
    entry->size = static_cast<int64_t>(std::filesystem::file_size(name, error));
    return entry;
}

ServedFiles::Answer ServedFiles::Receive(const ReceivedRequest& request) {
    Answer answer;
    Behaviour behaviour;
    bool cut = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        requests_.push_back(request);
        ports_.insert(request.remotePort);
        answer.content = Find(request.path);
        auto found = behaviours_.find(request.path);
        if (found != behaviours_.end()) {
            behaviour = found->second;
            int& done = cutsDone_[request.path];
            cut = behaviour.cutAfter >= 0 && (behaviour.cutTimes < 0 || done < behaviour.cutTimes);
            done += cut ? 1 : 0;
        }
    }
    std::optional<int64_t> size;
    if (answer.content) {
        size = answer.content->size;
    }
    answer.plan = PlanAnswer(behaviour, cut, size, request.range, request.acceptEncoding);
    return answer;
}

// The parts of the server that are the same on every system.

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpTestServer::AddFile(const std::string& path, std::string body) {
    files_->Add(path, std::move(body));
}

void HttpTestServer::ServeFolder(const std::string& folder) {
    files_->ServeFolder(folder);
}

void HttpTestServer::SetBehaviour(const std::string& path, const Behaviour& behaviour) {
    files_->SetBehaviour(path, behaviour);
}

std::vector<ReceivedRequest> HttpTestServer::Requests() const {
    return files_->Requests();
}

size_t HttpTestServer::ConnectionsSeen() const {
    return files_->ConnectionsSeen();
}

}  // namespace test_support
