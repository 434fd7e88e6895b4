// One resumable transfer of one URL into one local file. The body of the thread is the whole
// transfer, reconnections included; subclasses see it through the On... hooks.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "download/cThread.h"
#include "download/localFile.h"
#include "platform/net.h"
#include "platform/sha256.h"

class cHttp : public cThread {
public:
    static constexpr size_t kUrlSize = 1024;
    static constexpr size_t kLocalPathSize = 256;
    static constexpr int64_t kBufferSize = 1048576;
    static constexpr int kReadRetries = 9;
    static constexpr int kEarlyEndLimit = 9;
    static constexpr uint32_t kRetryPauseMs = 33;
    static constexpr unsigned kConnectionsPerServer = 4;
    static constexpr const char* kSizeError = "size error (-14)";
    static constexpr const char* kEncodingError = "content encoding error (-15)";

    explicit cHttp(const char* threadName);
    ~cHttp() override;

    // The process-wide number of parallel transfers, set once; ends the program when the
    // platform refuses the setting.
    static unsigned GetMaxConnections();
    // Forgets the limit, so that the next GetMaxConnections sets it again, as in a new process
    // (where each test begins).
    static void ForgetMaxConnections();

    // Asks the transfer to stop and closes its session from the calling thread, so that a
    // read blocked on the network fails at once; then waits for the thread.
    void StopTransfer();

    char url[kUrlSize] = {};
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
    // After a read that keeps failing (a stalled server, which takes the client's stall limit
    // to notice), give up instead of connecting again; `failed` tells the caller.
    bool giveUpOnReadError = false;
    bool failed = false;

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

private:
    enum class Outcome { kDone, kReconnect, kStartOver };

    // One connection attempt: ask, check the answer, write the body.
    Outcome Connect(char* buffer);
    // Settles the offset this attempt writes from and tells the hooks about it.
    void Settle(int64_t offset);
    // The body ended before the reported length.
    Outcome EarlyEnd(FileHandle& file);
    // Closes a file written to; false, with the write warning shown, when not every byte
    // reached it.
    bool CloseWritten(FileHandle& file);
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
    bool Refuse(const char* error, const std::string& detail);
    // The server's size `stated` is not the listed one.
    bool RefuseSize(int64_t stated);
    // Feeds the digest the file's bytes from what it has seen up to `offset`, reading them
    // back from disk (a resumed file, a file found complete). False when a stop interrupted.
    bool CatchUpDigest(char* buffer, int64_t offset);
    // The complete file against `sha256`: finished when it matches, else started over once
    // and then refused.
    Outcome CheckContent(char* buffer);
    // Null when no session could be opened or a stop was asked for.
    std::shared_ptr<platform::net::Session> OpenSession();
    void CloseSession();

    bool started = false;  // OnStart has been called
    int earlyEnds = 0;     // consecutive early ends, reset by a chunk that gets further
    int64_t furthest = 0;  // the furthest offset any attempt has written up to
    bool capped = false;   // the last answer ended where the server capped its range
    int64_t reported = 0;  // offset up to which bytes went to the hooks

    std::unique_ptr<platform::Sha256> digest;  // of the file's bytes [0, digested)
    int64_t digested = 0;
    bool digestBroken = false;  // the file could not be read back: it cannot match
    bool startedOver = false;   // once after a mismatch

    // Guards only the handover of `session` between the transfer and whoever stops it.
    std::mutex sessionGuard;
    std::shared_ptr<platform::net::Session> session;
};
