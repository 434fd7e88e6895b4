// One file of the manifest, fetched on its own thread and resumed from what is on disk; every
// byte is counted at the manager that owns the downloader.
#pragma once

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

    // The counters this downloader reports to; null drops the reports.
    cMgrDownloader* manager = nullptr;
    // The file's full path, under which the manager's record knows it as verified.
    std::string recordPath;

protected:
    void OnStart(int64_t offset) override;
    void OnReceived(int32_t count) override;
    void OnRewind(int64_t offset) override;
    bool IsKnownVerified() override;
    void OnVerified() override;
    void OnServerWait(bool waiting) override;

private:
    // Bytes of this file added to the manager's `received`, so a rewind can take them back.
    int64_t counted = 0;
};
