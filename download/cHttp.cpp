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

// The ending for a server that cannot be reached: one reached without a secure connection (an
// untrusted certificate, a wrong name) is told as such, so the user does not look for a fault
// in their network.
const char* UnreachableText(platform::net::OpenFailure failure) {
    return failure == platform::net::OpenFailure::kInsecure
               ? "Currently you are not able to reach the server securely: its certificate is "
                 "not trusted or not made out to its name.\nPlease check your network and retry "
                 "again."
               : "Currently you are not able to reach the server.\nPlease check your network and "
                 "retry again.";
}

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

constexpr int64_t kStoppedRead = -2;

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
    // up, and one that opened it before has it taken away and closed here. A wait between
    // attempts checks it under the guard, which CloseSession takes, so the wake-up is not lost.
    running = 0;
    CloseSession();
    stopRequested.notify_all();
    if (rateLimit != nullptr) {
        rateLimit->Wake();
    }
    Stop();
}

std::shared_ptr<platform::net::Session> cHttp::OpenSession() {
    std::shared_ptr<platform::net::Session> opened =
        platform::net::OpenSession(name, limits.network);
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
void cHttp::OnServerWait(bool) {}
void cHttp::OnSplittable() {}
void cHttp::OnCheckBegin(int64_t) {}
void cHttp::OnCheckRead(int64_t) {}
void cHttp::OnCheckEnd(int64_t) {}

void cHttp::OnDiskFull() {
    ShowFileWarning(kDiskFullError, localPath, "no room is left on the disk for it");
}

std::function<void()>& cHttp::CheckReadHook() {
    static std::function<void()> hook;
    return hook;
}

void cHttp::OnExecute() {
    std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    started = false;
    failed = false;
    handedOff = false;
    furthest = 0;
    capped = false;
    reported = 0;
    windowStart = Clock::now();
    windowFrom = 0;
    waitMs = 0;
    unreachable = false;
    digested = 0;
    digestBroken = false;
    startedOver = false;
    if (!sha256.empty() && !digest) {
        digest = std::make_unique<platform::Sha256>();
    }
    servers.assign(1, url);
    servers.insert(servers.end(), mirrors.begin(), mirrors.end());
    server = 0;
    failedServers = 0;
    unreachableInRow = 0;
    pendingServer = loggedServer = -1;
    keepWhole = false;
    for (bool goOn = true; goOn;) {
        switch (Connect(buffer.get())) {
            case Outcome::kReconnect:
                AppendTransferLog(TRANSFER_LOG_STAMP " cHttp::OnExecute :: network error (-92)");
                goOn = AfterEarlyEnd();
                break;
            case Outcome::kUnreachable:
                goOn = AfterUnreachable();
                break;
            case Outcome::kStartOver:
                break;
            default:
                goOn = false;
        }
        if (pendingServer >= 0) {
            goOn = SwitchServer();
        }
    }
    if (unreachable) {
        unreachable = false;
        OnServerWait(false);
    }
    if (segment >= 0) {
        // What is left of the segment goes back to the plan, for a transfer still running.
        handedOff = plan->Release(segment) || handedOff;
        segment = -1;
    }
}

cHttp::Outcome cHttp::Connect(char* buffer) {
    attemptFrom = furthest;
    Exchange exchange;
    Outcome outcome = Negotiate(exchange);
    if (outcome != Outcome::kNext) {
        return outcome;
    }
    Settle(exchange.offset);
    LogServer();
    if (exchange.length == startOffset) {
        exchange.request.reset();
        CloseSession();
        return Complete(buffer);
    }
    FileHandle file;
    outcome = OpenTarget(buffer, file);
    if (outcome != Outcome::kNext) {
        return outcome;
    }
    // Only once the file exists (created whole from 0 maybe) may others write into it.
    if (plan && segment < 0 && exchange.ranged && !exchange.unstated && !keepWhole) {
        segment = plan->Open(startOffset);
        if (segment >= 0) {
            OnSplittable();
        }
    }
    if (exchange.request->BytesAvailable() > kBufferSize) {
        file.reset();
        ExitWithEngineError("cHttp::OnExecute :: network error (-4)", -4);
    }
    outcome = Copy(exchange, file, buffer);
    if (outcome != Outcome::kNext) {
        return outcome;
    }
    if (segment >= 0 && running && position >= plan->End(segment)) {
        exchange.request.reset();
        return FinishSegment(file, exchange.length, buffer);
    }
    if (segment >= 0 && !Record(file, plan->Recorded())) {
        return WriteFailed(file);
    }
    // Complete, or stopped between reads. A complete file with a hash is finished only once it
    // has matched.
    const bool check = !sha256.empty() && position >= exchange.length && running;
    exchange.request.reset();
    const bool closed = CloseWritten(file);
    CloseSession();
    if (!closed) {
        return Outcome::kDone;
    }
    if (check) {
        return CheckContent(buffer, false);
    }
    // Only once every byte is in the file: the hook may take the file as written.
    OnFinish(startOffset, position);
    return Outcome::kDone;
}

cHttp::Outcome cHttp::Negotiate(Exchange& exchange) {
    // After a capped answer the file holds this transfer's own bytes, even without resume.
    int64_t offset = segment >= 0       ? plan->At(segment)
                     : resume || capped ? LocalFileSize(localPath)
                                        : 0;
    capped = false;
    startOffset = offset;
    position = offset;
    exchange.session = OpenSession();
    if (!exchange.session) {
        return Outcome::kDone;
    }
    exchange.request = exchange.session->OpenUrl(url, kWholeFileHeaders);
    if (!exchange.request) {
        openFailure = exchange.session->LastOpenFailure();
        CloseSession();
        return running ? Outcome::kUnreachable : Outcome::kDone;
    }
    ServerAnswered();
    const platform::net::Request& first = *exchange.request;
    int64_t length = ParseLength(first.ContentLengthText());
    // Where this answer's bytes end; a server may cap a range short of the whole file.
    int64_t answerEnd = length;
    if (expectedSize == 0 && first.Status() == 416) {
        // A listed empty file has no byte 0 to send: the standard answer to its range says so.
        length = answerEnd = 0;
    } else if (!CheckFirstAnswer(first, length, answerEnd)) {
        return Outcome::kDone;
    } else if (length < 0 && expectedSize >= 0 && running) {
        exchange.unstated = true;
        if (!TakeListedSize(first, length, answerEnd)) {
            return Outcome::kDone;
        }
    }
    if (length < 0 || (length == 0 && !running)) {
        exchange.request.reset();
        if (running) {
            ExitWithEngineError(UnreachableText(openFailure), -11);
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
        exchange.request.reset();
        exchange.request = exchange.session->OpenUrl(url, headers);
        if (!exchange.request) {
            openFailure = exchange.session->LastOpenFailure();
            CloseSession();
            return running ? Outcome::kUnreachable : Outcome::kDone;
        }
        if (!CheckResumedAnswer(*exchange.request, length, offset, answerEnd)) {
            return Outcome::kDone;
        }
        exchange.unstated = ParseLength(exchange.request->ContentLengthText()) < 0;
    }
    exchange.length = length;
    exchange.offset = offset;
    exchange.end = answerEnd;
    exchange.ranged = exchange.request->Status() == 206;
    return JoinPlan(exchange);
}

cHttp::Outcome cHttp::JoinPlan(Exchange& exchange) {
    // A segment, if any, is taken once the file is open (see Connect).
    if (!plan || (exchange.ranged && !exchange.unstated)) {
        return Outcome::kNext;
    }
    // The whole file follows: one transfer writes it from its start, as without a plan.
    const bool othersGoOn = segment >= 0 && plan->Abandon(segment);
    segment = -1;
    if (othersGoOn) {
        handedOff = true;
        exchange.request.reset();
        CloseSession();
        return Outcome::kDone;
    }
    return Outcome::kNext;
}

int64_t cHttp::EndOfWrites(const Exchange& exchange) {
    return segment >= 0 ? std::min(exchange.end, plan->End(segment)) : exchange.end;
}

bool cHttp::Record(FileHandle& file, bool durable) {
    // Bytes that did not reach the disk are never counted, not even for this run's splits.
    if (durable && !platform::FlushToDisk(file.get())) {
        return false;
    }
    if (durable) {
        recorded = position;
    }
    plan->Wrote(segment, position, durable);
    return true;
}

cHttp::Outcome cHttp::FinishSegment(FileHandle& file, int64_t length, char* buffer) {
    // On the disk before the record may count it (a file never split has no record).
    if (plan->Recorded() && !platform::FlushToDisk(file.get())) {
        return WriteFailed(file);
    }
    if (!CloseWritten(file)) {
        return Outcome::kDone;
    }
    CloseSession();
    plan->Wrote(segment, position, true);
    const int next = plan->Next(segment);
    if (next >= 0) {
        // Another gap: a fresh start for the give-up rule, and nothing to rewind.
        segment = next;
        reported = 0;
        furthest = windowFrom = plan->At(next);
        windowStart = Clock::now();
        return Outcome::kStartOver;
    }
    segment = -1;
    if (next == SegmentPlan::kOthersBusy) {
        handedOff = true;
        return Outcome::kDone;
    }
    position = length;
    if (!sha256.empty()) {
        return CheckContent(buffer, false);
    }
    ClosePlan();
    OnFinish(startOffset, position);
    return Outcome::kDone;
}

void cHttp::ClosePlan() {
    if (plan) {
        plan->Close();
    }
}

bool cHttp::TakeListedSize(const platform::net::Request& request, int64_t& length,
                           int64_t& answerEnd) {
    length = answerEnd = expectedSize;
    if (request.Status() != 206) {
        return true;
    }
    if (request.RangeTotal() >= 0 && request.RangeTotal() != expectedSize) {
        return RefuseSize(request.RangeTotal());
    }
    // A part from 0 (checked with the answer) that states its span.
    const int64_t covered = CoveredBytes(request, kNoLength);
    if (covered > expectedSize) {
        return RefuseSize(covered);
    }
    if (covered > 0) {
        answerEnd = covered;
    }
    return true;
}

cHttp::Outcome cHttp::Complete(char* buffer) {
    // A file that is empty on the server still has to exist here.
    if (startOffset == 0) {
        FileHandle empty = CreateFileEmpty(localPath);
        if (!empty) {
            ShowEngineWarning(FileOpenWarning(localPath).c_str());
            return Outcome::kDone;
        }
        if (!CloseWritten(empty)) {
            return Outcome::kDone;
        }
    }
    if (!sha256.empty() && running && !IsKnownVerified()) {
        return CheckContent(buffer, true);
    }
    ClosePlan();
    OnFinish(startOffset, position);
    return Outcome::kDone;
}

cHttp::Outcome cHttp::OpenTarget(char* buffer, FileHandle& file) {
    // The digest follows the bytes as they are written; what is on disk already goes first,
    // unless holes of a recorded plan may lie before it: the complete file is read back then.
    const bool holesBefore = segment >= 0 && plan->Recorded();
    if (!sha256.empty() && !holesBefore && !CatchUpDigest(buffer, startOffset, true)) {
        CloseSession();
        return Outcome::kDone;
    }
    // A segment's file is shared: never emptied.
    file = startOffset != 0 || segment >= 0 ? OpenFileAt(localPath, startOffset)
                                            : CreateFileEmpty(localPath);
    if (!file) {
        ShowEngineWarning(FileOpenWarning(localPath).c_str());
        CloseSession();
        return Outcome::kDone;
    }
    return Outcome::kNext;
}

int64_t cHttp::ReadWithRetries(platform::net::Request& request, char* buffer) {
    if (turnLeft <= 0 && !AwaitRateLimit()) {
        return kStoppedRead;
    }
    const int64_t size = turnLeft > 0 ? turnLeft : kBufferSize;
    int64_t count = request.Read(buffer, size);
    for (int retry = 0; count < 0; ++retry) {
        if (!running) {
            return kStoppedRead;
        }
        platform::SleepMs(kRetryPauseMs);
        if (retry == kReadRetries) {
            return -1;
        }
        count = request.Read(buffer, size);
    }
    if (rateLimit != nullptr) {
        rateLimit->Take(count);
    }
    turnLeft -= count;
    return count;
}

bool cHttp::AwaitRateLimit() {
    if (rateLimit == nullptr) {
        return true;
    }
    if (!rateLimit->AwaitTurn([this] { return running == 0; })) {
        return false;
    }
    turnLeft = rateLimit->TurnSize(kBufferSize);
    return true;
}

bool cHttp::EndsHere(platform::net::Request& request, char* buffer) {
    // A failed read tells nothing more; the hash, where there is one, still does.
    return ReadWithRetries(request, buffer) <= 0;
}

cHttp::Outcome cHttp::Copy(Exchange& exchange, FileHandle& file, char* buffer) {
    for (;;) {
        int64_t count = ReadWithRetries(*exchange.request, buffer);
        if (count == kStoppedRead) {
            // The next start measures what reached the disk.
            if (segment >= 0) {
                Record(file, plan->Recorded());
            }
            file.reset();
            CloseSession();
            return Outcome::kDone;
        }
        if (count < 0) {
            if (giveUpOnReadError) {
                failed = true;
                file.reset();
                CloseSession();
                if (!FailOver("its reads keep failing", false)) {
                    ShowEngineWarning("cHttp::OnExecute :: network error (-5)");
                }
                return Outcome::kDone;
            }
            count = 0;  // connected again, as after an early end
        }
        if (count == 0 && running) {
            exchange.request.reset();
            return EarlyEnd(file);
        }
        // An answer without a length that goes on past the listed size is not the listed file.
        if (exchange.unstated && running && count > exchange.length - position) {
            return RefuseOverlong(file);
        }
        // Never store bytes past what the server announced for this answer, nor past the
        // segment's end.
        const int64_t end = EndOfWrites(exchange);
        if (!Store(file, buffer, std::min(count, end - position))) {
            return Outcome::kDone;
        }
        if (segment >= 0) {
            if (!Record(file, position - recorded >= kDurableStep && plan->Recorded())) {
                return WriteFailed(file);
            }
            if (position >= end && running) {
                return Outcome::kNext;  // the segment is complete
            }
        }
        if (position >= exchange.length || !running) {
            if (exchange.unstated && running && !EndsHere(*exchange.request, buffer)) {
                return RefuseOverlong(file);
            }
            return Outcome::kNext;
        }
        if (OutOfProgress()) {
            // The file and the connection go first: the warning waits for the user.
            file.reset();
            CloseSession();
            GiveUp();
            return Outcome::kDone;
        }
        if (position >= exchange.end) {
            // The server capped the range: ask for the rest as after an early end.
            capped = true;
            exchange.request.reset();
            return EarlyEnd(file);
        }
    }
}

bool cHttp::Store(FileHandle& file, const char* bytes, int64_t count) {
    if (count > 0 && std::fwrite(bytes, 1, static_cast<size_t>(count), file.get()) !=
                         static_cast<size_t>(count)) {
        // A segment's record keeps what was last written out: nothing after it is known to
        // have reached the disk.
        WriteFailed(file);
        return false;
    }
    // Only where it follows on from the bytes already digested.
    if (!sha256.empty() && digested == position) {
        digest->Update(bytes, static_cast<size_t>(count));
        digested += count;
    }
    OnReceived(static_cast<int32_t>(count));
    position += count;
    reported = position;
    Progressed();
    return true;
}

cHttp::Outcome cHttp::RefuseOverlong(FileHandle& file) {
    file.reset();
    CloseSession();
    Discard();
    char detail[160];
    std::snprintf(detail, sizeof detail,
                  "the file list gives %" PRId64 " bytes, the server sent more", expectedSize);
    if (!FailOver(detail, true)) {
        ShowFileWarning(kSizeError, localPath, detail);
    }
    return Outcome::kDone;
}

void cHttp::Discard() {
    ClosePlan();
    platform::RemoveFile(localPath);
    OnRewind(0);
    failed = true;
}

cHttp::Outcome cHttp::EarlyEnd(FileHandle& file) {
    if (!CloseWritten(file)) {
        return Outcome::kDone;
    }
    CloseSession();
    return Outcome::kReconnect;
}

bool cHttp::AfterEarlyEnd() {
    // A part that ended where the server capped it, or that brought a fair share, is
    // followed at once; a server that keeps ending early with little is asked less and less
    // often, until the give-up rule ends it.
    if (capped || furthest - attemptFrom >= limits.progressBytes) {
        waitMs = 0;
        return true;
    }
    if (OutOfProgress()) {
        GiveUp();
        return false;
    }
    return Pause(NextWait());
}

bool cHttp::AfterUnreachable() {
    const int next = NextServer();
    size_t usable = 0;
    for (size_t i = 0; i < servers.size(); ++i) {
        usable += (failedServers >> i & 1) == 0;
    }
    if (next >= 0 && ++unreachableInRow < usable) {
        UseServer(static_cast<size_t>(next), "cannot be reached");
        return true;
    }
    unreachableInRow = 0;
    if (!WaitForServer()) {
        return false;
    }
    // Each round begins with the first server that has not failed the file.
    for (size_t i = 0; i < servers.size(); ++i) {
        if ((failedServers >> i & 1) == 0) {
            if (i != server) {
                UseServer(i, "cannot be reached, nor can any other; after a wait");
            }
            break;
        }
    }
    return true;
}

int cHttp::NextServer() const {
    for (size_t step = 1; step < servers.size(); ++step) {
        const size_t at = (server + step) % servers.size();
        if ((failedServers >> at & 1) == 0) {
            return static_cast<int>(at);
        }
    }
    return -1;
}

bool cHttp::FailOver(const std::string& reason, bool suspect) {
    failedServers |= uint32_t{1} << server;
    pendingServer = running ? NextServer() : -1;
    pendingReason = "failed (" + reason + ")";
    // A segment's file holds other transfers' bytes too: only the hash decides on it.
    pendingSuspect = suspect && segment < 0;
    return pendingServer >= 0;
}

bool cHttp::SwitchServer() {
    const size_t next = static_cast<size_t>(pendingServer);
    pendingServer = -1;
    if (!running) {
        return false;
    }
    if (pendingSuspect) {
        // What a refused server sent is no base for the next one: the file starts over, whole
        // from that one server, so that a mismatch is that server's own.
        ClosePlan();
        keepWhole = true;
        if (!CreateFileEmpty(localPath)) {
            ShowEngineWarning(FileOpenWarning(localPath).c_str());
            failed = true;
            return false;
        }
        furthest = 0;
    }
    UseServer(next, pendingReason);
    failed = false;
    capped = false;
    // The new server's progress counts from here.
    windowFrom = furthest;
    windowStart = Clock::now();
    waitMs = 0;
    return true;
}

void cHttp::UseServer(size_t index, const std::string& reason) {
    const std::string line = std::string(TRANSFER_LOG_STAMP " cHttp::OnExecute :: \"") + localPath +
                             "\": " + servers[server] + " " + reason + ", going on at " +
                             servers[index];
    AppendTransferLog(line.c_str());
    server = index;
    std::snprintf(url, sizeof url, "%s", servers[index].c_str());
}

void cHttp::LogServer() {
    if (servers.size() < 2 || loggedServer == static_cast<int>(server)) {
        return;
    }
    loggedServer = static_cast<int>(server);
    const std::string part = segment >= 0 ? " segment " + std::to_string(segment) : "";
    const std::string line = std::string(TRANSFER_LOG_STAMP " cHttp::OnExecute :: \"") + localPath +
                             "\"" + part + " from " + url + " at byte " +
                             std::to_string(startOffset);
    AppendTransferLog(line.c_str());
}

bool cHttp::WaitForServer() {
    const Clock::time_point now = Clock::now();
    if (!unreachable) {
        unreachable = true;
        unreachableSince = now;
        waitMs = 0;
        OnServerWait(true);
    }
    const int64_t left =
        limits.outageMs -
        std::chrono::duration_cast<std::chrono::milliseconds>(now - unreachableSince).count();
    if (left <= 0) {
        ExitWithEngineError(UnreachableText(openFailure), -11);
    }
    return Pause(static_cast<uint32_t>(std::min<int64_t>(NextWait(), left)));
}

void cHttp::ServerAnswered() {
    if (!unreachable) {
        return;
    }
    unreachable = false;
    unreachableInRow = 0;
    // Time the server could not be reached does not count against its progress.
    windowStart += Clock::now() - unreachableSince;
    waitMs = 0;
    OnServerWait(false);
}

bool cHttp::Pause(uint32_t ms) {
    std::unique_lock<std::mutex> lock(sessionGuard);
    return !stopRequested.wait_for(lock, std::chrono::milliseconds(ms),
                                   [this] { return running == 0; });
}

uint32_t cHttp::NextWait() {
    waitMs = waitMs == 0 ? limits.firstWaitMs : std::min(waitMs * 2, limits.longestWaitMs);
    return waitMs;
}

void cHttp::Progressed() {
    if (position <= furthest) {
        return;
    }
    furthest = position;
    if (furthest - windowFrom >= limits.progressBytes) {
        windowFrom = furthest;
        windowStart = Clock::now();
    }
}

bool cHttp::OutOfProgress() const {
    return furthest - windowFrom < limits.progressBytes &&
           Clock::now() - windowStart >= std::chrono::milliseconds(limits.progressMs);
}

void cHttp::GiveUp() {
    failed = true;
    if (!running || FailOver("got nowhere", false)) {
        return;
    }
    char detail[160];
    const unsigned seconds = limits.progressMs / 1000;
    if (limits.progressBytes > 1) {
        std::snprintf(detail, sizeof detail,
                      "less than %" PRId64
                      " bytes came in %u s; the file is left for a later start",
                      limits.progressBytes, seconds);
    } else {
        std::snprintf(detail, sizeof detail, "nothing came in %u s", seconds);
    }
    ShowFileWarning(kNetworkError, localPath, detail);
}

bool cHttp::CatchUpDigest(char* buffer, int64_t offset, bool counted) {
    if (digested > offset || digestBroken) {
        digest->FinishHex();  // what it holds is not this file's beginning any more
        digested = 0;
        digestBroken = false;
    }
    if (digested == offset) {
        return true;
    }
    FileHandle file = OpenFileForReadingAt(localPath, digested);
    if (!ReadBack(file, buffer, offset, counted)) {
        return false;
    }
    digestBroken = digested != offset;
    return true;
}

bool cHttp::ReadBack(FileHandle& file, char* buffer, int64_t offset, bool counted) {
    const int64_t from = digested;
    const int64_t waiting = counted ? offset - from : 0;
    OnCheckBegin(waiting);
    bool stopped = false;
    while (file && digested < offset) {
        if (!running) {
            stopped = true;
            break;
        }
        const size_t want = static_cast<size_t>(std::min<int64_t>(kBufferSize, offset - digested));
        const size_t got = std::fread(buffer, 1, want, file.get());
        digest->Update(buffer, got);
        digested += static_cast<int64_t>(got);
        if (counted) {
            OnCheckRead(static_cast<int64_t>(got));
        }
        if (CheckReadHook()) {
            CheckReadHook()();
        }
        if (got != want) {
            break;
        }
    }
    OnCheckEnd(counted ? waiting - (digested - from) : 0);
    return !stopped;
}

void cHttp::Settle(int64_t offset) {
    startOffset = offset;
    position = offset;
    recorded = offset;
    if (!started) {
        started = true;
        // A file resumed from its record holds more than the bytes before its first gap.
        OnStart(segment >= 0 && plan->HeldAtLoad() >= 0 ? plan->HeldAtLoad() : offset);
    } else if (offset < reported) {
        OnRewind(offset);
    }
    reported = offset;
}

bool cHttp::CloseWritten(FileHandle& file) {
    if (CloseFile(file)) {
        return true;
    }
    // The bytes handed to the file did not all reach it: measuring it again would resume from
    // a size that may not be what was written.
    const platform::WriteFailure failure = platform::LastWriteFailure();
    CloseSession();
    TellWriteFailure(failure);
    return false;
}

cHttp::Outcome cHttp::WriteFailed(FileHandle& file) {
    // Asked first: closing the file and the session may change what the system says.
    const platform::WriteFailure failure = platform::LastWriteFailure();
    file.reset();
    CloseSession();
    TellWriteFailure(failure);
    return Outcome::kDone;
}

void cHttp::TellWriteFailure(platform::WriteFailure failure) {
    if (failure == platform::WriteFailure::kDiskFull) {
        OnDiskFull();
    } else {
        ShowEngineWarning("cHttp::OnExecute :: file write error (-33)");
    }
}

bool cHttp::Refuse(const char* error, const std::string& detail, bool suspect) {
    if (running && !FailOver(detail, suspect)) {
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
    return Refuse(kSizeError, detail, true);
}

bool cHttp::CheckCommon(const platform::net::Request& request, int64_t stated) {
    if (!IsSuccess(request.Status())) {
        if (running && !FailOver("answered " + std::to_string(request.Status()), false)) {
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
        if (running && !FailOver("answered a range wrongly", false)) {
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
        // Without a length the listed size tells where it ends.
        stated = answered;
        consistent = answered >= 0 || expectedSize >= 0;
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
        if (running && !FailOver("answered a range wrongly", false)) {
            ShowEngineWarning("cHttp::OnExecute :: range error (-7)");
        }
        CloseSession();
        return false;
    }
    return true;
}

cHttp::Outcome cHttp::CheckContent(char* buffer, bool counted) {
    if (!CatchUpDigest(buffer, position, counted)) {
        return Outcome::kDone;
    }
    const bool matches = !digestBroken && digest->FinishHex() == sha256;
    digested = 0;
    digestBroken = false;
    if (matches) {
        ClosePlan();
        OnVerified();
        OnFinish(startOffset, position);
        return Outcome::kDone;
    }
    if (!running || FailOver("sent bytes that do not match the file's hash", true)) {
        return Outcome::kDone;
    }
    // Damaged on disk, or cut or mixed up on the way: fetched once more from the start.
    if (!startedOver && CreateFileEmpty(localPath)) {
        ClosePlan();
        startedOver = true;
        furthest = 0;  // the new copy's progress counts from its own start
        return Outcome::kStartOver;
    }
    // The server's copy itself does not match: nothing of it stays as if it were the file.
    Discard();
    ShowEngineWarning(
        ("cHttp::OnExecute :: content hash error (-38) " + std::string(localPath)).c_str());
    return Outcome::kDone;
}
