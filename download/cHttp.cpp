#include "download/cHttp.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "download/engineMessages.h"
#include "download/transferLog.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

// The files are stored byte for byte and resumed at byte offsets, which only the unencoded
// form of a file has: a server that honours this sends it as it is, and an answer that comes
// encoded all the same is refused.
constexpr const char* kWholeFileHeaders =
    "Accept-Encoding:identity\r\nAccept-Ranges:bytes\r\nRange:bytes=0-\r\n";
constexpr const char* kResumeHeaders =
    "Accept-Encoding:identity\r\nAccept-Ranges:bytes\r\nRange:bytes=%" PRId64 "-\r\n";
constexpr size_t kHeaderSize = 128;

constexpr int64_t kNoLength = -1;
constexpr int64_t kUnreadableLength = -2;

std::atomic<unsigned> connectionLimit{0};

// The leading decimal digits of a Content-Length; kNoLength when there are none,
// kUnreadableLength when they do not fit in 64 bits (a prefix of them is no length at all).
int64_t ParseLength(const std::string& text) {
    int64_t value = kNoLength;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        const int digit = c - '0';
        if (value > (INT64_MAX - digit) / 10) {
            return kUnreadableLength;
        }
        value = (value < 0 ? 0 : value * 10) + digit;
    }
    return value;
}

// Bytes a 206 answer carries: its Content-Length, or its Content-Range span when it sent no
// length; -1 when neither tells or when the two disagree. The span is computed without
// overflow whatever the client reports.
int64_t CoveredBytes(const platform::net::Request& request, int64_t answered) {
    const int64_t first = request.RangeStart();
    const int64_t last = request.RangeEnd();
    const int64_t span =
        first >= 0 && last >= first && last - first < INT64_MAX ? last - first + 1 : -1;
    if (answered >= 0 && span >= 0 && answered != span) {
        return -1;
    }
    return answered >= 0 ? answered : span;
}

// True when the body is not the file's own bytes but an encoded form of them (gzip, ...).
bool IsEncoded(const std::string& encoding) {
    std::string token;
    for (char c : encoding) {
        if (c != ' ' && c != '\t') {
            token += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return !token.empty() && token != "identity";
}

bool IsSuccess(int status) {
    return status == 200 || status == 206;
}

void ShowStatusWarning(int status) {
    char text[96];
    std::snprintf(text, sizeof text, "cHttp::OnExecute :: http status error %d (-6)", status);
    ShowEngineWarning(text);
}

// A warning about one file: the error line, then the file's name and what went wrong with it.
void ShowFileWarning(const char* error, const char* path, const std::string& detail) {
    const std::string text =
        std::string("cHttp::OnExecute :: ") + error + "\n\"" + path + "\": " + detail;
    ShowEngineWarning(text.c_str());
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

void cHttp::ForgetMaxConnections() {
    connectionLimit = 0;
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
    platform::RemoveFile(localPath);
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
    if (!CloseWritten(file)) {
        return Outcome::kDone;
    }
    if (++earlyEnds >= kEarlyEndLimit) {
        ExitWithEngineError("cHttp::OnExecute :: network error (-9)", -9);
    }
    CloseSession();
    return Outcome::kReconnect;
}

bool cHttp::CloseWritten(FileHandle& file) {
    if (CloseFile(file)) {
        return true;
    }
    // The bytes handed to the file did not all reach it: measuring it again would resume from
    // a size that may not be what was written.
    CloseSession();
    ShowEngineWarning("cHttp::OnExecute :: file write error (-33)");
    return false;
}

bool cHttp::Refuse(const char* error, const std::string& detail) {
    if (running) {
        ShowFileWarning(error, localPath, detail);
    }
    CloseSession();
    return false;
}

bool cHttp::RefuseSize(int64_t stated) {
    char detail[160];
    std::snprintf(detail, sizeof detail,
                  "the file list gives %" PRId64 " bytes, the server's answer %" PRId64 " bytes",
                  expectedSize, stated);
    return Refuse(kSizeError, detail);
}

bool cHttp::CheckCommon(const platform::net::Request& request, int64_t stated) {
    if (!IsSuccess(request.Status())) {
        if (running) {
            ShowStatusWarning(request.Status());
        }
        CloseSession();
        return false;
    }
    if (IsEncoded(request.ContentEncodingText())) {
        return Refuse(kEncodingError, "the server sends it encoded (" +
                                          request.ContentEncodingText() +
                                          "), not as the file's own bytes");
    }
    if (stated == kUnreadableLength) {
        return Refuse(kSizeError, "the server's answer states a length that is no 64-bit size (" +
                                      request.ContentLengthText() + ")");
    }
    return true;
}

bool cHttp::CheckFirstAnswer(const platform::net::Request& request, int64_t& length,
                             int64_t& answerEnd) {
    // An error page or an encoded body is never a file's bytes. Checked even while stopping: a
    // wrong length would still decide whether the file on disk is started over.
    if (!CheckCommon(request, length)) {
        return false;
    }
    answerEnd = length;
    const bool partial = request.Status() == 206;
    // A partial answer must start where asked and carry the span it states.
    if (partial &&
        (request.RangeStart() != 0 || (length >= 0 && CoveredBytes(request, length) != length))) {
        if (running) {
            ShowEngineWarning("cHttp::OnExecute :: range error (-7)");
        }
        CloseSession();
        return false;
    }
    if (partial && length >= 0) {
        // The whole file's size is the range's total, or the listed size where the server
        // writes "*"; this part then ends where its span does, and the rest is asked for part
        // by part.
        const int64_t covered = length;
        const int64_t total = request.RangeTotal() >= 0 ? request.RangeTotal() : expectedSize;
        if (total >= 0) {
            length = total;
        }
        if (expectedSize >= 0 && covered > expectedSize) {
            return RefuseSize(covered);
        }
    }
    // Before a byte is written, the server's size must be the listed one: anything else is
    // not this file (an error page sent as 200, an empty answer of a faulty proxy).
    if (expectedSize >= 0 && length >= 0 && length != expectedSize) {
        return RefuseSize(length);
    }
    if (largestSize >= 0 && length > largestSize) {
        return Refuse(kSizeError, "the server's answer states " + std::to_string(length) +
                                      " bytes, more than the " + std::to_string(largestSize) +
                                      " this file may have");
    }
    return true;
}

bool cHttp::CheckResumedAnswer(const platform::net::Request& request, int64_t length,
                               int64_t& offset, int64_t& answerEnd) {
    const int64_t answered = ParseLength(request.ContentLengthText());
    if (!CheckCommon(request, answered)) {
        return false;
    }
    bool consistent = false;
    int64_t stated = -1;  // the whole file's size as this answer gives it, -1 when it does not
    if (request.Status() == 206) {
        // The rest of this file, or the part of it a capping server covers, but never more:
        // bytes of another version of the file would be stored as this one's.
        const int64_t covered = CoveredBytes(request, answered);
        stated = request.RangeTotal();
        consistent = request.RangeStart() == offset &&
                     (covered < 0 ? answered < 0 : covered > 0 && covered <= length - offset);
        answerEnd = covered < 0 ? length : offset + covered;
    } else {
        // The range was ignored: the whole file follows, so it is rewritten from 0.
        stated = answered;
        consistent = answered >= 0;
        offset = 0;
        answerEnd = length;
    }
    if (stated >= 0 && stated != length) {
        if (expectedSize >= 0) {
            return RefuseSize(stated);
        }
        consistent = false;
    }
    if (!consistent) {
        if (running) {
            ShowEngineWarning("cHttp::OnExecute :: range error (-7)");
        }
        CloseSession();
        return false;
    }
    return true;
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
    int64_t length = request ? ParseLength(request->ContentLengthText()) : kNoLength;
    // Where this answer's bytes end; a server may cap a range short of the whole file.
    int64_t answerEnd = length;
    if (request && !CheckFirstAnswer(*request, length, answerEnd)) {
        return Outcome::kDone;
    }
    if (length < 0 || (length == 0 && !running)) {
        request.reset();
        const bool stopping = !running;
        if (current && !stopping) {
            ExitWithEngineError(
                current->LastOpenFailure() == platform::net::OpenFailure::kInsecure
                    ? "Currently you are not able to reach the server securely: its certificate "
                      "is not trusted or not made out to its name.\nPlease check your network "
                      "and retry again."
                    : "Currently you are not able to reach the server.\nPlease check your "
                      "network and retry again.",
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
        if (!CheckResumedAnswer(*request, length, offset, answerEnd)) {
            return Outcome::kDone;
        }
    }
    Settle(offset);

    if (length == startOffset) {
        // Complete already; a file that is empty on the server still has to exist here.
        request.reset();
        CloseSession();
        if (length == 0) {
            FileHandle empty = CreateFileEmpty(localPath);
            if (!empty) {
                ShowEngineWarning("cHttp::OnExecute :: file open error (-31)");
                return Outcome::kDone;
            }
            if (!CloseWritten(empty)) {
                return Outcome::kDone;
            }
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
                // Stopped: the next start measures what reached the disk.
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
            if (giveUpOnReadError) {
                failed = true;
                file.reset();
                CloseSession();
                return Outcome::kDone;
            }
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
            request.reset();
            const bool closed = CloseWritten(file);
            CloseSession();
            if (!closed) {
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
