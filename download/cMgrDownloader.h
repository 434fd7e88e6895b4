// One download of the whole manifest: reads "file.json", starts one downloader per entry in list
// order with at most GetMaxConnections() running at once, waits for all of them and then tells
// the window. Its counters are all the window reads from the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "download/cFileDownloader.h"
#include "download/cThread.h"
#include "download/verifiedRecord.h"

struct Manifest;

class cMgrDownloader : public cThread {
public:
    static constexpr uint32_t kPollMs = 33;
    static constexpr uintptr_t kCompletionTimerId = 333;

    cMgrDownloader();
    // Stops the run, then every transfer (sessions closed so blocked reads fail at once), and
    // joins them all.
    ~cMgrDownloader() override;

    // The window's share of the completion step (Pause off, Launch on). Run on the UI thread,
    // after the final timer message and `finished`; the window code sets it once. The step
    // holds the manager's thread, so neither the hook nor the window's timer handler may stop
    // the download themselves.
    static std::function<void()>& CompletionHook();

    std::atomic<int64_t> totalSize{0};
    std::atomic<int64_t> received{0};
    std::atomic<int64_t> sessionReceived{0};
    int32_t fileCount = 0;
    std::atomic<uint32_t> startTick{0};
    std::atomic<int32_t> finished{0};
    // The limits every transfer of this run keeps to.
    cHttp::Limits transferLimits;
    // Transfers now waiting for a server they cannot reach.
    std::atomic<int32_t> waitingForServer{0};
    std::unique_ptr<cFileDownloader[]> downloaders;
    // The files of this run known to match their hash, shared by the downloaders.
    VerifiedRecord verified;

protected:
    void OnExecute() override;
    // The run proper. False when it could not begin (manifest or download folder unusable);
    // the reason has been shown.
    bool DoDownloadFile();

private:
    void Walk(const Manifest& manifest);
    void Drain();
    void NotifyCompletion();
};
