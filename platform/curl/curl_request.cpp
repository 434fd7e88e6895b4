// One HTTP request over libcurl (platform/net.h's Request): the exchange, the answer's
// headers and the body read a block at a time.
#include "platform/curl/curl_request.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace platform::curl {
namespace {

// libcurl's 16 KiB default costs several times the CPU per byte. Measured over loopback with
// four transfers: 512 KiB took 25% less CPU than 256 KiB and than 1 MiB.
constexpr long kReceiveBuffer = 512 * 1024;
constexpr long kMaxRedirects = 10;
// A wait in libcurl ends at least this often even without a wake-up.
constexpr int kPollMs = 1000;
// A body read to its last byte leaves libcurl a step or two short of done; a request removed
// before then closes its connection, which the next file would have used (on many small files
// most of the time went into new connections).
constexpr int kFinishSteps = 4;

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The caller's "Name:value\r\n" lines, plus the headers that make caches fetch anew (unless
// the caller sent its own).
curl_slist* HeaderList(const char* headers) {
    curl_slist* list = nullptr;
    bool hasPragma = false;
    bool hasCacheControl = false;
    const std::string text = headers ? headers : "";
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = Trim(text.substr(begin, end - begin));
        begin = end + 1;
        if (line.empty()) {
            continue;
        }
        const std::string name = Lower(Trim(line.substr(0, line.find(':'))));
        hasPragma = hasPragma || name == "pragma";
        hasCacheControl = hasCacheControl || name == "cache-control";
        list = curl_slist_append(list, line.c_str());
    }
    if (!hasPragma) {
        list = curl_slist_append(list, "Pragma: no-cache");
    }
    if (!hasCacheControl) {
        list = curl_slist_append(list, "Cache-Control: no-cache");
    }
    return list;
}

// Results that mean the server ended the body (early or not), as opposed to a failed read.
bool EndedByServer(CURLcode result) {
    return result == CURLE_OK || result == CURLE_PARTIAL_FILE || result == CURLE_RECV_ERROR ||
           result == CURLE_GOT_NOTHING;
}

}  // namespace

void SessionState::Close() {
    closed = true;
    {
        std::lock_guard<std::mutex> hold(lock);
        for (CurlRequest* request : live) {
            request->Wake();
        }
    }
    WakeSlotWaiters();
}

std::unique_ptr<CurlRequest> CurlRequest::Open(std::shared_ptr<SessionState> session,
                                               const char* url, const char* headers) {
    const std::string server = url ? ServerOf(url) : "";
    if (session->closed || server.empty()) {
        return nullptr;
    }
    const TransferHandles handles = TakeHandles(server);
    if (!handles.easy) {
        return nullptr;
    }
    std::unique_ptr<CurlRequest> request(new CurlRequest(session, server, handles));
    if (!request->Start(url, headers)) {
        const bool insecure =
            request->done_ && (request->result_ == CURLE_PEER_FAILED_VERIFICATION ||
                               request->result_ == CURLE_SSL_CONNECT_ERROR);
        session->lastFailure =
            insecure ? net::OpenFailure::kInsecure : net::OpenFailure::kUnreachable;
        return nullptr;
    }
    return request;
}

CurlRequest::CurlRequest(std::shared_ptr<SessionState> session, std::string server,
                         TransferHandles handles)
    : session_(std::move(session)), server_(std::move(server)), handles_(handles) {
    std::lock_guard<std::mutex> hold(session_->lock);
    session_->live.insert(this);
}

CurlRequest::~CurlRequest() {
    {
        std::lock_guard<std::mutex> hold(session_->lock);
        session_->live.erase(this);
    }
    if (inMulti_) {
        FinishReceivedBody();
        // A finished answer leaves its connection in the multi's cache for the next request.
        curl_multi_remove_handle(handles_.multi, handles_.easy);
    }
    curl_easy_reset(handles_.easy);
    curl_slist_free_all(headerList_);
    if (holdsSlot_) {
        ReleaseSlot(server_);
    }
    ReturnHandles(server_, handles_);
}

void CurlRequest::Wake() {
    curl_multi_wakeup(handles_.multi);
}

bool CurlRequest::Start(const char* url, const char* headers) {
    if (!AcquireSlot(server_, [this] { return session_->closed.load(); })) {
        return false;
    }
    holdsSlot_ = true;
    headerList_ = HeaderList(headers);
    CURL* easy = handles_.easy;
    curl_easy_setopt(easy, CURLOPT_URL, url);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, session_->agent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    // A proxy tunnel's own "200 Connection established" is not the answer.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    const net::Limits& limits = session_->limits;
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectMs));
    // A transfer that moves no byte for the stall limit has failed; libcurl counts whole seconds.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(std::max<uint32_t>(1, (limits.stallMs + 999) / 1000)));
    if (curl_multi_add_handle(handles_.multi, easy) != CURLM_OK) {
        return false;
    }
    inMulti_ = true;
    Drive([this] { return headersFinal_; });
    return headersFinal_ && !session_->closed;
}

template <typename Ready>
void CurlRequest::Drive(Ready ready) {
    while (!ready() && !done_ && !session_->closed) {
        int running = 0;
        if (curl_multi_perform(handles_.multi, &running) != CURLM_OK) {
            Finish(CURLE_RECV_ERROR);
            return;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(handles_.multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                Finish(message->data.result);
            }
        }
        if (ready() || done_ || session_->closed) {
            return;
        }
        curl_multi_poll(handles_.multi, nullptr, 0, kPollMs, nullptr);
    }
}

void CurlRequest::FinishReceivedBody() {
    curl_off_t length = -1;
    curl_off_t received = 0;
    curl_easy_getinfo(handles_.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    curl_easy_getinfo(handles_.easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
    if (done_ || session_->closed || paused_ || overflowRead_ < overflow_.size() || length < 0 ||
        received != length) {
        return;  // abandoned mid-body: the connection cannot serve another request
    }
    for (int step = 0; step < kFinishSteps && !done_; ++step) {
        int running = 0;
        if (curl_multi_perform(handles_.multi, &running) != CURLM_OK) {
            return;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(handles_.multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                Finish(message->data.result);
            }
        }
    }
}

void CurlRequest::Finish(CURLcode result) {
    done_ = true;
    result_ = result;
    if (holdsSlot_) {
        holdsSlot_ = false;
        ReleaseSlot(server_);
    }
}

int64_t CurlRequest::BytesAvailable() {
    if (session_->closed) {
        return 0;
    }
    return static_cast<int64_t>(overflow_.size() - overflowRead_);
}

int64_t CurlRequest::Read(char* buffer, int64_t size) {
    if (session_->closed) {
        return -1;
    }
    if (size <= 0) {
        return 0;
    }
    if (overflowRead_ < overflow_.size()) {
        const size_t count = std::min(static_cast<size_t>(size), overflow_.size() - overflowRead_);
        std::memcpy(buffer, overflow_.data() + overflowRead_, count);
        overflowRead_ += count;
        if (overflowRead_ == overflow_.size()) {
            overflow_.clear();
            overflowRead_ = 0;
        }
        return static_cast<int64_t>(count);
    }
    if (!done_) {
        target_ = buffer;
        targetSize_ = size;
        targetFilled_ = 0;
        if (paused_) {
            paused_ = false;
            curl_easy_pause(handles_.easy, CURLPAUSE_CONT);
        }
        Drive([this] { return targetFilled_ > 0; });
        target_ = nullptr;
        if (targetFilled_ > 0) {
            return targetFilled_;
        }
    }
    if (session_->closed || !done_) {
        return -1;
    }
    return EndedByServer(result_) ? 0 : -1;
}

size_t CurlRequest::OnBody(char* data, size_t size, size_t count, void* self) {
    CurlRequest& request = *static_cast<CurlRequest*>(self);
    if (request.session_->closed) {
        return 0;  // aborts the transfer
    }
    const size_t total = size * count;
    if (!request.headersFinal_) {
        return total;  // the body of an answer that is not the one asked for
    }
    const size_t room =
        request.target_ ? static_cast<size_t>(request.targetSize_ - request.targetFilled_) : 0;
    if (room == 0) {
        // libcurl keeps these bytes and stops receiving until the next Read resumes it.
        request.paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    const size_t taken = std::min(total, room);
    std::memcpy(request.target_ + request.targetFilled_, data, taken);
    request.targetFilled_ += static_cast<int64_t>(taken);
    request.overflow_.insert(request.overflow_.end(), data + taken, data + total);
    return total;
}

size_t CurlRequest::OnHeader(char* data, size_t size, size_t count, void* self) {
    static_cast<CurlRequest*>(self)->HeaderLine(std::string(data, size * count));
    return size * count;
}

void CurlRequest::HeaderLine(const std::string& raw) {
    const std::string line = Trim(raw);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new answer begins (after a redirect or an interim 1xx): forget the last one's.
        const size_t code = line.find(' ');
        status_ = code == std::string::npos ? 0 : std::atoi(line.c_str() + code + 1);
        headersFinal_ = false;
        redirecting_ = false;
        lengthText_.clear();
        encodingText_.clear();
        range_ = ContentRange{};
        return;
    }
    if (line.empty()) {
        const bool interim = status_ >= 100 && status_ < 200;
        headersFinal_ = !interim && !redirecting_;
        return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos) {
        return;
    }
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string value = Trim(line.substr(colon + 1));
    if (name == "content-length") {
        lengthText_ = value;
    } else if (name == "content-encoding") {
        encodingText_ += (encodingText_.empty() ? "" : ", ") + value;
    } else if (name == "content-range") {
        range_ = ContentRange{};
        ParseContentRange(value, range_);
    } else if (name == "location") {
        // libcurl follows every 3xx with a Location but 304.
        redirecting_ = status_ >= 300 && status_ < 400 && status_ != 304;
    }
}

}  // namespace platform::curl
