#include "download/cHttp.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "download/engineMessages.h"
#include "download/transferLog.h"
#include "platform/system.h"

namespace {

constexpr const char* kWholeFileHeaders =
    "Accept-Encoding:*\r\nAccept-Ranges:bytes\r\nRange:bytes=0-\r\n";
constexpr const char* kResumeHeaders =
    "Accept-Encoding:*\r\nAccept-Ranges:bytes\r\nRange:bytes=%" PRId64 "-\r\n";
constexpr size_t kHeaderSize = 128;

std::atomic<unsigned> connectionLimit{0};

// The leading decimal digits of a Content-Length; -1 when there are none.
int64_t ParseLength(const std::string& text) {
    int64_t value = -1;
    for (char c : text) {
        if (c < '0' || c > '9' || value > (INT64_MAX - 9) / 10) {
            break;
        }
        value = (value < 0 ? 0 : value * 10) + (c - '0');
    }
    return value;
}

// Bytes a 206 answer carries: its Content-Length, or its Content-Range span when it sent no
// length; -1 when neither tells or when the two disagree.
int64_t CoveredBytes(const platform::net::Request& request, int64_t answered) {
    const int64_t span =
        request.RangeEnd() >= 0 ? request.RangeEnd() - request.RangeStart() + 1 : -1;
    if (answered >= 0 && span >= 0 && answered != span) {
        return -1;
    }
    return answered >= 0 ? answered : span;
}

bool IsSuccess(int status) {
    return status == 200 || status == 206;
}

void ShowStatusWarning(int status) {
    char text[96];
    std::snprintf(text, sizeof text, "cHttp::OnExecute :: http status error %d (-6)", status);
    ShowEngineWarning(text);
}

}  // namespace

cHttp::cHttp(const char* threadName) : cThread(threadName) {
    GetMaxConnections();
}

cHttp::~cHttp() {
    StopTransfer();
}

unsigned cHttp::GetMaxConnections() {
    unsigned limit = connectionLimit.load();
    if (limit != 0) {
        return limit;
    }
    limit = platform::net::SetMaxConnectionsPerServer(kConnectionsPerServer);
    if (limit == 0) {
        ExitWithEngineError("cHttp::GetMaxConnections :: network error(-13) - connection setting",
                            -13);
    }
    connectionLimit = limit;
    return limit;
}

void cHttp::StopTransfer() {
    // The flag goes first: a transfer that opens a new session after this sees it and gives
    // up, and one that opened it before has it taken away and closed here.
    running = 0;
    CloseSession();
    Stop();
}

std::shared_ptr<platform::net::Session> cHttp::OpenSession() {
    std::shared_ptr<platform::net::Session> opened = platform::net::OpenSession(name);
    std::lock_guard<std::mutex> lock(sessionGuard);
    if (!running) {
        if (opened) {
            opened->Close();
        }
        return nullptr;
    }
    session = opened;
    return opened;
}

void cHttp::CloseSession() {
    std::shared_ptr<platform::net::Session> closing;
    {
        std::lock_guard<std::mutex> lock(sessionGuard);
        closing.swap(session);
    }
    if (closing) {
        closing->Close();
    }
}

void cHttp::OnStart(int64_t) {}
void cHttp::OnFinish(int64_t, int64_t) {}
void cHttp::OnRewind(int64_t) {}
bool cHttp::IsKnownVerified() {
    return false;
}
void cHttp::OnVerified() {}

void cHttp::OnExecute() {
    std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    started = false;
    earlyEnds = 0;
    furthest = 0;
    capped = false;
    reported = 0;
    digested = 0;
    digestBroken = false;
    startedOver = false;
    if (!sha256.empty() && !digest) {
        digest = std::make_unique<platform::Sha256>();
    }
    for (Outcome outcome; (outcome = Connect(buffer.get())) != Outcome::kDone;) {
        if (outcome == Outcome::kReconnect) {
            AppendTransferLog(TRANSFER_LOG_STAMP " cHttp::OnExecute :: network error (-92)");
        }
    }
}

bool cHttp::CatchUpDigest(char* buffer, int64_t offset) {
    if (digested > offset || digestBroken) {
        digest->FinishHex();  // what it holds is not this file's beginning any more
        digested = 0;
        digestBroken = false;
    }
    if (digested == offset) {
        return true;
    }
    FileHandle file = OpenFileForReadingAt(localPath, digested);
    while (file && digested < offset) {
        if (!running) {
            return false;
        }
        const size_t want = static_cast<size_t>(std::min<int64_t>(kBufferSize, offset - digested));
        const size_t got = std::fread(buffer, 1, want, file.get());
        digest->Update(buffer, got);
        digested += static_cast<int64_t>(got);
        if (got != want) {
            break;
        }
    }
    digestBroken = digested != offset;
    return true;
}

cHttp::Outcome cHttp::CheckContent(char* buffer) {
    if (!CatchUpDigest(buffer, position)) {
        return Outcome::kDone;
    }
    const bool matches = !digestBroken && digest->FinishHex() == sha256;
    digested = 0;
    digestBroken = false;
    if (matches) {
        OnVerified();
        OnFinish(startOffset, position);
        return Outcome::kDone;
    }
    if (!running) {
        return Outcome::kDone;
    }
    // Damaged on disk, or cut or mixed up on the way: fetched once more from the start.
    if (!startedOver && CreateFileEmpty(localPath)) {
        startedOver = true;
        furthest = 0;  // the new copy's progress counts from its own start
        return Outcome::kStartOver;
    }
    // The server's copy itself does not match: nothing of it stays as if it were the file.
    std::remove(localPath);
    OnRewind(0);
    ShowEngineWarning(
        ("cHttp::OnExecute :: content hash error (-38) " + std::string(localPath)).c_str());
    return Outcome::kDone;
}

void cHttp::Settle(int64_t offset) {
    startOffset = offset;
    position = offset;
    if (!started) {
        started = true;
        OnStart(offset);
    } else if (offset < reported) {
        OnRewind(offset);
    }
    reported = offset;
}

cHttp::Outcome cHttp::EarlyEnd(FileHandle& file) {
    if (++earlyEnds >= kEarlyEndLimit) {
        file.reset();
        ExitWithEngineError("cHttp::OnExecute :: network error (-9)", -9);
    }
    file.reset();
    CloseSession();
    return Outcome::kReconnect;
}

cHttp::Outcome cHttp::Connect(char* buffer) {
    // After a capped answer the file holds this transfer's own bytes, even without resume.
    int64_t offset = resume || capped ? LocalFileSize(localPath) : 0;
    capped = false;
    startOffset = offset;
    position = offset;
    FileHandle file;

    std::shared_ptr<platform::net::Session> current = OpenSession();
    std::unique_ptr<platform::net::Request> request;
    if (current) {
        request = current->OpenUrl(url, kWholeFileHeaders);
    }
    int64_t length = request ? ParseLength(request->ContentLengthText()) : -1;
    // Where this answer's bytes end; a server may cap a range short of the whole file.
    int64_t answerEnd = length;
    if (request) {
        // An error page is never a file's bytes; a partial answer must start where asked, and
        // its length must be the span it states. Checked even while stopping: a wrong length
        // would still decide whether the file on disk is started over.
        const int status = request->Status();
        const bool partial = status == 206;
        if (!IsSuccess(status) || (partial && request->RangeStart() != 0) ||
            (partial && length >= 0 && request->RangeTotal() >= 0 &&
             CoveredBytes(*request, length) != length)) {
            if (running && IsSuccess(status)) {
                ShowEngineWarning("cHttp::OnExecute :: range error (-7)");
            } else if (running) {
                ShowStatusWarning(status);
            }
            CloseSession();
            return Outcome::kDone;
        }
        // The whole file's size is the range's total; the length only counts what is covered.
        if (partial && length >= 0 && request->RangeTotal() >= 0) {
            length = request->RangeTotal();
        }
    }
    if (length < 0 || (length == 0 && !running)) {
        request.reset();
        const bool stopping = !running;
        if (current && !stopping) {
            ExitWithEngineError(
                "Currently you are not able to reach the server.\nPlease check your network and "
                "retry again.",
                -11);
        }
        CloseSession();
        return Outcome::kDone;
    }

    // A local file longer than the server's is not this file: start it over.
    if (offset > length) {
        offset = 0;
    }
    if (offset != 0 && offset < length) {
        char headers[kHeaderSize];
        std::snprintf(headers, sizeof headers, kResumeHeaders, offset);
        request.reset();
        request = current->OpenUrl(url, headers);
        if (!request) {
            if (!running) {
                CloseSession();
                return Outcome::kDone;
            }
            return EarlyEnd(file);
        }
        const int status = request->Status();
        const int64_t answered = ParseLength(request->ContentLengthText());
        bool consistent = false;
        if (status == 206) {
            // The rest of this file, or the part of it a capping server covers, but never
            // more: bytes of another version of the file would be stored as this one's.
            const int64_t covered = CoveredBytes(*request, answered);
            consistent = request->RangeStart() == offset &&
                         (request->RangeTotal() < 0 || request->RangeTotal() == length) &&
                         (covered < 0 ? answered < 0 : covered > 0 && covered <= length - offset);
            answerEnd = covered < 0 ? length : offset + covered;
        } else if (status == 200) {
            // The range was ignored: the whole file follows, so it is rewritten from 0.
            consistent = answered == length;
            offset = 0;
            answerEnd = length;
        } else {
            if (running) {
                ShowStatusWarning(status);
            }
            CloseSession();
            return Outcome::kDone;
        }
        if (!consistent) {
            if (running) {
                ShowEngineWarning("cHttp::OnExecute :: range error (-7)");
            }
            CloseSession();
            return Outcome::kDone;
        }
    }
    Settle(offset);

    if (length == startOffset) {
        // Complete already; a file that is empty on the server still has to exist here.
        request.reset();
        CloseSession();
        if (length == 0 && !CreateFileEmpty(localPath)) {
            ShowEngineWarning("cHttp::OnExecute :: file open error (-31)");
            return Outcome::kDone;
        }
        if (!sha256.empty() && running && !IsKnownVerified()) {
            return CheckContent(buffer);
        }
        OnFinish(startOffset, position);
        return Outcome::kDone;
    }
    // The digest follows the bytes as they are written; what is on disk already goes first.
    if (!sha256.empty() && !CatchUpDigest(buffer, startOffset)) {
        CloseSession();
        return Outcome::kDone;
    }

    file = startOffset != 0 ? OpenFileAt(localPath, startOffset) : CreateFileEmpty(localPath);
    if (!file) {
        ShowEngineWarning("cHttp::OnExecute :: file open error (-31)");
        CloseSession();
        return Outcome::kDone;
    }
    if (request->BytesAvailable() > kBufferSize) {
        file.reset();
        ExitWithEngineError("cHttp::OnExecute :: network error (-4)", -4);
    }

    for (;;) {
        int64_t count = request->Read(buffer, kBufferSize);
        for (int retry = 0; count < 0 && retry < kReadRetries; ++retry) {
            if (!running) {
                file.reset();
                CloseSession();
                return Outcome::kDone;
            }
            platform::SleepMs(kRetryPauseMs);
            count = request->Read(buffer, kBufferSize);
        }
        if (count < 0) {
            if (!running) {
                file.reset();
                CloseSession();
                return Outcome::kDone;
            }
            platform::SleepMs(kRetryPauseMs);
            ShowEngineWarning("cHttp::OnExecute :: network error (-5)");
            count = 0;
        }
        if (count == 0 && running) {
            request.reset();
            return EarlyEnd(file);
        }
        // Never store bytes past what the server announced for this answer.
        if (count > answerEnd - position) {
            count = answerEnd - position;
        }
        if (count > 0 && std::fwrite(buffer, 1, static_cast<size_t>(count), file.get()) !=
                             static_cast<size_t>(count)) {
            file.reset();
            CloseSession();
            ShowEngineWarning("cHttp::OnExecute :: file write error (-33)");
            return Outcome::kDone;
        }
        if (!sha256.empty()) {
            digest->Update(buffer, static_cast<size_t>(count));
            digested += count;
        }
        OnReceived(static_cast<int32_t>(count));
        position += count;
        reported = position;
        if (position >= length || !running) {
            // A complete file with a hash is finished only once it has matched.
            const bool check = !sha256.empty() && position >= length && running;
            if (!check) {
                OnFinish(startOffset, position);
            }
            const bool flushed = std::fflush(file.get()) == 0;
            file.reset();
            CloseSession();
            if (!flushed) {
                ShowEngineWarning("cHttp::OnExecute :: file write error (-33)");
                return Outcome::kDone;
            }
            return check ? CheckContent(buffer) : Outcome::kDone;
        }
        // Only getting further counts as progress: a server that ignores ranges and drops
        // every connection at the same place would otherwise be asked again for ever.
        if (position > furthest) {
            furthest = position;
            earlyEnds = 0;
        }
        if (position >= answerEnd) {
            // The server capped the range: ask for the rest as after an early end.
            capped = true;
            request.reset();
            return EarlyEnd(file);
        }
    }
}
