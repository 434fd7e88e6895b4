// One file of the manifest, fetched on its own thread and resumed from what is on disk; every
// byte is counted at the manager that owns the downloader.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "download/cHttp.h"

class cMgrDownloader;

class cFileDownloader : public cHttp {
public:
    cFileDownloader();
    ~cFileDownloader() override;

    // Copies the URL, the file's local path (relative to the current folder) and its listed
    // size, creates the folders the path needs and starts the transfer's thread. False when
    // the thread could not be started.
    bool StartDownload(const char* fileUrl, const char* path, int64_t size);

    // The counters this downloader reports to, and whom it tells when its transfer has ended;
    // null drops the reports.
    cMgrDownloader* manager = nullptr;
    // The file's full path, under which the manager's record knows it as verified.
    std::string recordPath;
    // Set (under the manager's lock) once the transfer has ended, whatever its outcome.
    std::atomic<bool> ended{false};
    // One of several transfers of a segmented file, not its first: the bytes on disk when the
    // file was started are the first one's to count.
    bool part = false;
    // The transfer ended with the whole file, at its listed size and, when one is listed,
    // matching its hash. Read once the thread has been joined.
    bool complete = false;

protected:
    void OnExecute() override;
    void OnStart(int64_t offset) override;
    void OnFinish(int64_t offset, int64_t reached) override;
    void OnReceived(int32_t count) override;
    void OnRewind(int64_t offset) override;
    bool IsKnownVerified() override;
    void OnVerified() override;
    void OnServerWait(bool waiting) override;
    void OnSplittable() override;
    void OnDiskFull() override;
    void OnCheckBegin(int64_t waiting) override;
    void OnCheckRead(int64_t bytes) override;
    void OnCheckEnd(int64_t unread) override;

private:
    // Bytes of this file added to the manager's `received`, so a rewind can take them back:
    // this transfer's own, or those of every transfer of a segmented file.
    std::atomic<int64_t>& Counted();
    std::atomic<int64_t> counted{0};
    // The file matched its hash in this transfer, or was known to as it is.
    bool matched = false;
};
