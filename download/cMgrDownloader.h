// One download of the whole manifest: reads "file.json" and fetches its entries in list order,
// at most GetMaxConnections() at once, each started as soon as a connection is free. Once no
// file waits to start, a free connection takes a part of a running large file instead: a gap
// of its record, else the upper half of the running segment with most left, when both halves
// are at least SegmentPlan::kMinSegment (see segmentPlan.h). When every file has ended it
// tells the window: complete when every file is whole and matched, else which ones failed. Its
// counters are all the window reads from the engine.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "download/cFileDownloader.h"
#include "download/cThread.h"
#include "download/rateLimit.h"
#include "download/verifiedRecord.h"

struct Manifest;
struct ManifestEntry;

class cMgrDownloader : public cThread {
public:
    static constexpr uintptr_t kCompletionTimerId = 333;
    // Failed files a warning names; the others are counted.
    static constexpr size_t kFailuresNamed = 3;

    cMgrDownloader();
    // Stops the run, then every transfer (sessions closed so blocked reads fail at once), and
    // joins them all.
    ~cMgrDownloader() override;

    // The window's share of the completion step (Pause off, Launch on). Run on the UI thread,
    // after the final timer message and `finished`; the window code sets it once. The step
    // holds the manager's thread, so neither the hook nor the window's timer handler may stop
    // the download themselves.
    static std::function<void()>& CompletionHook();
    // The window's share of a run that ended with files missing (Pause off, Start and Folder
    // on, the panel's last figures), on the UI thread before the warning; the same rules.
    static std::function<void()>& IncompleteHook();

    // From a transfer's own thread, as its last step: wakes the run to start the next file.
    void OnTransferEnded(cFileDownloader& transfer);
    // From a transfer's own thread: its file can now be shared by free connections.
    void WakeUp();
    // From a transfer's own thread: the disk had no room for the file at `path`. The first
    // report stops the run, every transfer as a Pause would, and is told once when they have
    // stopped; the others add nothing.
    void OnDiskFull(const std::string& path);

    std::atomic<int64_t> totalSize{0};
    std::atomic<int64_t> received{0};
    std::atomic<int64_t> sessionReceived{0};
    std::atomic<int32_t> fileCount{0};
    std::atomic<uint32_t> startTick{0};
    std::atomic<int32_t> finished{0};
    // The limits every transfer of this run keeps to.
    cHttp::Limits transferLimits;
    // The budget every transfer of this run reads within, together; null: none.
    RateLimit* rateLimit = &DownloadRateLimit();
    // Transfers now waiting for a server they cannot reach.
    std::atomic<int32_t> waitingForServer{0};
    // Transfers now reading their files back to check them, and the files whose check began in
    // this run.
    std::atomic<int32_t> checking{0};
    std::atomic<int32_t> checksBegun{0};
    // Bytes counted in `received` (found on disk at the start) that wait for their check.
    std::atomic<int64_t> uncheckedBytes{0};
    // The files of this run known to match their hash, shared by the downloaders.
    VerifiedRecord verified;

protected:
    void OnExecute() override;
    void OnStopRequested() override;
    // The run proper. False when it could not begin (manifest or download folder unusable,
    // too little room); the reason has been shown.
    bool DoDownloadFile();

private:
    // A connection's transfer: a new downloader for each file, so only as many exist as run.
    struct Slot {
        std::unique_ptr<cFileDownloader> transfer;
        int32_t entry = -1;
        std::shared_ptr<SegmentPlan> plan;  // of a file large enough to be split
    };

    void Walk(const Manifest& manifest, const std::string& folder);
    // Starts entry `index` in `slot`; false (the entry failed) when it could not be started.
    bool StartEntry(const Manifest& manifest, int32_t index, const std::string& folder, Slot& slot);
    // The plan of a large file, with the record of an earlier start read; null for others.
    std::shared_ptr<SegmentPlan> PlanFor(const ManifestEntry& entry, const std::string& path);
    // With no file waiting to start: the free `slot` takes a part of the running file with the
    // most left to share, if any.
    void StartPart(const Manifest& manifest, const std::string& folder, Slot& slot);
    // Joins the slot's ended transfer and takes note of how its file ended.
    void Settle(const Manifest& manifest, Slot& slot);
    // Breaks off and joins every transfer still running.
    void StopTransfers();
    void NoteFailure(int32_t index, const std::string& name);
    void NotifyCompletion();
    void NotifyIncomplete();
    // The run ended with files missing, told by `text`: the window takes its last figures
    // (`figures`) and lets the user start again.
    void NotifyEnded(const std::string& text, bool figures);

    std::vector<Slot> slots;
    // Guards the transfers' `ended` flags for the wait on `wake`.
    std::mutex wakeGuard;
    std::condition_variable wake;
    bool wakeRequested = false;  // under `wakeGuard`
    std::string diskFullPath;    // under `wakeGuard`; the first file the disk had no room for

    // How the files ended; the manager's thread alone writes them.
    int32_t failedFiles = 0;
    std::vector<std::pair<int32_t, std::string>> failedNames;  // the first kFailuresNamed
    // The last launch file in list order that completed, and its hash.
    int32_t launchEntry = -1;
    std::string launchPath;
    std::string launchSha256;
};
