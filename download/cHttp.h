// One resumable transfer of one URL into one local file. The body of the thread is the whole
// transfer, reconnections included; subclasses see it through the On... hooks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/cThread.h"
#include "download/localFile.h"
#include "download/rateLimit.h"
#include "download/segmentPlan.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/sha256.h"

class cHttp : public cThread {
public:
    static constexpr size_t kUrlSize = 1024;
    static constexpr size_t kLocalPathSize = 256;
    static constexpr int64_t kBufferSize = 1048576;
    static constexpr int kReadRetries = 9;
    static constexpr uint32_t kRetryPauseMs = 33;
    static constexpr unsigned kConnectionsPerServer = 4;
    static constexpr const char* kSizeError = "size error (-14)";
    static constexpr const char* kEncodingError = "content encoding error (-15)";
    static constexpr const char* kNetworkError = "network error (-5)";
    static constexpr const char* kDiskFullError = "disk full (-44)";

    // How long a transfer waits, and for what. Tests pass short ones.
    struct Limits {
        // Of every connection (see platform::net::Limits).
        platform::net::Limits network;
        // Give up: the file must get `progressBytes` further within every `progressMs` while
        // the server answers (time it cannot be reached does not count), across reconnections.
        int64_t progressBytes = 16 * 1024;
        uint32_t progressMs = 60 * 1000;
        // Waits before a new attempt after one that got nowhere (refused, or an early end with
        // little new): the first, doubled after each such attempt up to the longest.
        uint32_t firstWaitMs = 1000;
        uint32_t longestWaitMs = 30 * 1000;
        // A server that cannot be reached for this long ends the program; 0: at the first
        // refusal.
        uint32_t outageMs = 5 * 60 * 1000;
    };

    explicit cHttp(const char* threadName);
    ~cHttp() override;

    // The process-wide number of parallel transfers, set once; ends the program when the
    // platform refuses the setting.
    static unsigned GetMaxConnections();
    // Forgets the limit, so that the next GetMaxConnections sets it again, as in a new process
    // (where each test begins).
    static void ForgetMaxConnections();
    // Called after each piece a check reads back; tests slow the check down with it.
    static std::function<void()>& CheckReadHook();

    // Asks the transfer to stop and closes its session from the calling thread, so that a
    // read blocked on the network fails at once, and a wait for the server ends; then waits
    // for the thread.
    void StopTransfer();

    char url[kUrlSize] = {};
    // The file's URL at further servers with the same files. A server that fails the file
    // (cannot be reached, answers with an error, gets nowhere, sends what is not the file)
    // hands it to the next one that has not failed it, which goes on from the bytes on disk,
    // or from the start when the failing server's bytes are suspect. The user is told only when
    // every server failed; the outage wait begins once every server cannot be reached.
    std::vector<std::string> mirrors;
    char localPath[kLocalPathSize] = {};
    int32_t resume = 0;
    int64_t startOffset = 0;
    int64_t position = 0;
    // The file's size as the manifest lists it: every answer must agree with it before a byte
    // is written, and it is the whole size where a server does not state one. -1: unknown
    // (the manifest itself), the server's word is taken.
    int64_t expectedSize = -1;
    // An answer stating more bytes than this is refused before anything is written; -1: no
    // limit.
    int64_t largestSize = -1;
    // The SHA-256 the whole file must have, 64 lowercase hexadecimal digits; empty: not
    // checked. A file that does not match is fetched again from 0 once, then refused.
    std::string sha256;
    Limits limits;
    // The budget this transfer reads within, shared with others; null: none.
    RateLimit* rateLimit = nullptr;
    // After a read that keeps failing (a stalled server, which takes the stall limit to
    // notice), give up instead of connecting again; `failed` tells the caller.
    bool giveUpOnReadError = false;
    // The transfer gave up on the file (it made no progress, or its reads kept failing).
    bool failed = false;
    // The file's segments when it may be fetched by several transfers; null: it is not.
    std::shared_ptr<SegmentPlan> plan;
    // The segment this transfer fetches (-1: the file from its size on disk, as one transfer).
    int segment = -1;
    // The transfer ended while others still fetch the file, which they complete or give up.
    bool handedOff = false;

protected:
    void OnExecute() override;
    // `count` bytes were just written at `position`.
    virtual void OnReceived(int32_t count) = 0;
    // Once per transfer, with the offset the file is continued from.
    virtual void OnStart(int64_t offset);
    // The transfer loop ended with the bytes up to `reached` written.
    virtual void OnFinish(int64_t offset, int64_t reached);
    // A later connection attempt writes from `offset` again: what was reported beyond it is
    // being replaced (the server ignored a range, or the file changed on the server).
    virtual void OnRewind(int64_t offset);
    // Whether the file, complete on disk, is known to have matched `sha256` as it is now.
    virtual bool IsKnownVerified();
    // The complete file has just matched `sha256`.
    virtual void OnVerified();
    // The transfer starts (true) or stops (false) waiting for a server it cannot reach.
    virtual void OnServerWait(bool waiting);
    // The file now has a segment that other transfers could share.
    virtual void OnSplittable();
    // The disk had no room for the file's bytes; the transfer ends, keeping what it wrote.
    // Tells the user, naming the file.
    virtual void OnDiskFull();
    // Reading the file back to check it begins: `waiting` of its bytes were counted as
    // received before they were checked (those on disk at the start).
    virtual void OnCheckBegin(int64_t waiting);
    // `bytes` of the waiting ones were read back.
    virtual void OnCheckRead(int64_t bytes);
    // The read-back ended (done, stopped or broken) with `unread` waiting ones left unread.
    virtual void OnCheckEnd(int64_t unread);

private:
    using Clock = std::chrono::steady_clock;
    // kNext: the step succeeded, the attempt goes on. kReconnect: the body ended early, or
    // where a capping server ended its part. kUnreachable: no answer from the server.
    enum class Outcome { kNext, kDone, kReconnect, kStartOver, kUnreachable };

    // One answer that carries the bytes [offset, end) of a file of `length` bytes.
    struct Exchange {
        std::shared_ptr<platform::net::Session> session;
        std::unique_ptr<platform::net::Request> request;
        int64_t length = 0;
        int64_t offset = 0;
        int64_t end = 0;
        // The answer states no length (chunked): its end is known only when it comes.
        bool unstated = false;
        // The server honoured the range asked for.
        bool ranged = false;
    };
    // Bytes a segment's transfer writes between two flushes to the disk, after which its
    // record may count them.
    static constexpr int64_t kDurableStep = 16 * 1024 * 1024;

    // One connection attempt: negotiate, open the file, copy, verify.
    Outcome Connect(char* buffer);
    // Asks for the file from the bytes on disk on, and checks the answers.
    Outcome Negotiate(Exchange& exchange);
    // The whole size and this answer's end, for a first answer that states no length: the
    // listed size. False, refused, when its range disagrees.
    bool TakeListedSize(const platform::net::Request& request, int64_t& length, int64_t& answerEnd);
    // Brings the digest up to the bytes on disk and opens the file at `startOffset`.
    Outcome OpenTarget(char* buffer, FileHandle& file);
    // Writes the answer's body at `position` until its end; kNext when the file is complete or
    // a stop came between two reads.
    Outcome Copy(Exchange& exchange, FileHandle& file, char* buffer);
    // Writes `count` bytes at `position` and counts them; false, told, when the disk failed.
    bool Store(FileHandle& file, const char* bytes, int64_t count);
    // A read with its retries, within the rate limit: -1 when it kept failing, -2 when a stop
    // was asked for.
    int64_t ReadWithRetries(platform::net::Request& request, char* buffer);
    // Waits until the rate limit lets the next turn of reads begin and sets `turnLeft`; false
    // when a stop came first.
    bool AwaitRateLimit();
    // Whether an answer without a length ends where the file does.
    bool EndsHere(platform::net::Request& request, char* buffer);
    // The file on disk is complete: created when empty, checked against the hash.
    Outcome Complete(char* buffer);
    // Settles the offset this attempt writes from and tells the hooks about it.
    void Settle(int64_t offset);
    // The plan and an answer that is the whole file (the server ignores ranges): the file is
    // fetched by one transfer again; kDone when other transfers still fetch it.
    Outcome JoinPlan(Exchange& exchange);
    // Where this attempt's bytes must end: the answer's end, or the segment's, nearer.
    int64_t EndOfWrites(const Exchange& exchange);
    // Tells the plan what was written; `durable`: after writing it out to the disk first.
    // False when that failed: then the plan is told nothing.
    bool Record(FileHandle& file, bool durable);
    // The segment is complete: the next one, or the whole file's end.
    Outcome FinishSegment(FileHandle& file, int64_t length, char* buffer);
    // The file is whole: the plan's record goes.
    void ClosePlan();
    // The body ended before the reported length.
    Outcome EarlyEnd(FileHandle& file);
    // Closes a file written to; false, with the write warning shown, when not every byte
    // reached it.
    bool CloseWritten(FileHandle& file);
    // Tells why a write, flush or close just failed: a full disk, or any other fault.
    void TellWriteFailure(platform::WriteFailure failure);
    // A write or flush to `file` just failed: closes it and the session, and tells why.
    Outcome WriteFailed(FileHandle& file);
    // The checks of an answer before anything is written. Each answers false, after telling
    // the user (unless stopping) and closing the session, when the answer is not the file.
    // Status, encoding and a readable length, for every answer:
    bool CheckCommon(const platform::net::Request& request, int64_t stated);
    // The whole-file answer: sets `length` to the whole file's size and `answerEnd` to where
    // this answer's bytes end.
    bool CheckFirstAnswer(const platform::net::Request& request, int64_t& length,
                          int64_t& answerEnd);
    // The answer to a range from `offset`: `offset` becomes 0 when the whole file follows.
    bool CheckResumedAnswer(const platform::net::Request& request, int64_t length, int64_t& offset,
                            int64_t& answerEnd);
    // Refuses the file with a warning that names it.
    // `suspect`: see FailOver.
    bool Refuse(const char* error, const std::string& detail, bool suspect = false);
    // The server's size `stated` is not the listed one.
    bool RefuseSize(int64_t stated);
    // Removes a file that turned out not to be the listed one; the transfer has failed.
    void Discard();
    // An answer without a length brought more than the listed size.
    Outcome RefuseOverlong(FileHandle& file);
    // Feeds the digest the file's bytes from what it has seen up to `offset`, reading them
    // back from disk (a resumed file, a file found complete). `counted`: those bytes were
    // counted as received at the start. False when a stop interrupted.
    bool CatchUpDigest(char* buffer, int64_t offset, bool counted);
    // The read-back of CatchUpDigest: false when a stop interrupted it.
    bool ReadBack(FileHandle& file, char* buffer, int64_t offset, bool counted);
    // The complete file against `sha256`: finished when it matches, else started over once
    // and then refused. `counted`: as for CatchUpDigest.
    Outcome CheckContent(char* buffer, bool counted);
    // Null when no session could be opened or a stop was asked for.
    std::shared_ptr<platform::net::Session> OpenSession();
    void CloseSession();

    // Between attempts. Each answers false when the transfer is over (stopped or given up).
    // After an early end: at once when the attempt got somewhere, else after a growing wait.
    bool AfterEarlyEnd();
    // After no answer: a growing wait, within the outage limit.
    bool WaitForServer();
    // The server answered: an outage, if any, is over.
    void ServerAnswered();
    // Waits `ms` unless a stop comes first; false when it did.
    bool Pause(uint32_t ms);
    // The next growing wait.
    uint32_t NextWait();
    // New bytes were written up to `position`.
    void Progressed();
    // The give-up rule: too little came for too long.
    bool OutOfProgress() const;
    // Ends the file with the warning that names it.
    void GiveUp();

    // Mirrors. The server after the one in use that has not failed this file; -1 when none.
    int NextServer() const;
    // The server in use failed the file for `reason`: true when another takes it over (the
    // switch is made after the attempt), false when the caller is to tell the user as before.
    // `suspect`: what that server sent is not kept.
    bool FailOver(const std::string& reason, bool suspect);
    // Makes the switch FailOver noted; false when the transfer is over.
    bool SwitchServer();
    // Puts server `index` in use and logs why.
    void UseServer(size_t index, const std::string& reason);
    // After no answer: the next server at once; once every one could not be reached, the
    // outage wait, then the first again.
    bool AfterUnreachable();
    // Logs which server sends the bytes from `startOffset` on, when there is a choice.
    void LogServer();

    bool started = false;  // OnStart has been called
    int64_t furthest = 0;  // the furthest offset any attempt has written up to
    bool capped = false;   // the last answer ended where the server capped its range
    int64_t reported = 0;  // offset up to which bytes went to the hooks
    int64_t recorded = 0;  // offset up to which the plan knows the segment on the disk

    // The give-up rule: `furthest` was `windowFrom` at `windowStart`.
    Clock::time_point windowStart;
    int64_t windowFrom = 0;
    int64_t attemptFrom = 0;  // `furthest` when the attempt began
    uint32_t waitMs = 0;      // the next growing wait
    // Bytes left of this transfer's turn before it waits on the rate limit again; 0 with no
    // limit, which is then looked at before every read. A read returns one arrival (16 KiB
    // from libcurl), and waiting after each would wake the thread hundreds of times a second.
    int64_t turnLeft = 0;
    bool unreachable = false;
    // Why the last request could not be opened.
    platform::net::OpenFailure openFailure = platform::net::OpenFailure::kUnreachable;
    Clock::time_point unreachableSince;

    // `url` as given, then `mirrors`; the one in use; those that failed the file, a bit each.
    std::vector<std::string> servers;
    size_t server = 0;
    uint32_t failedServers = 0;
    size_t unreachableInRow = 0;  // servers that could not be reached since one answered
    int pendingServer = -1;       // the switch FailOver noted
    std::string pendingReason;
    bool pendingSuspect = false;
    int loggedServer = -1;   // the server last logged as sending the file
    bool keepWhole = false;  // after a refused copy: no longer shared with other transfers

    std::unique_ptr<platform::Sha256> digest;  // of the file's bytes [0, digested)
    int64_t digested = 0;
    bool digestBroken = false;  // the file could not be read back: it cannot match
    bool startedOver = false;   // once after a mismatch

    // Guards the handover of `session` between the transfer and whoever stops it, and the
    // waits between attempts.
    std::mutex sessionGuard;
    std::condition_variable stopRequested;
    std::shared_ptr<platform::net::Session> session;
};
