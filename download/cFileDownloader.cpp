#include "download/cFileDownloader.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "download/cMgrDownloader.h"
#include "download/engineMessages.h"
#include "download/manifest.h"
#include "download/transferLog.h"

cFileDownloader::cFileDownloader() : cHttp("cFileDownloader") {}

cFileDownloader::~cFileDownloader() {
    StopTransfer();
}

bool cFileDownloader::StartDownload(const char* fileUrl, const char* path, int64_t size) {
    resume = 1;
    expectedSize = size;
    if (manager != nullptr) {
        limits = manager->transferLimits;
        rateLimit = manager->rateLimit;
    }
    std::snprintf(url, sizeof url, "%s", fileUrl);
    std::snprintf(localPath, sizeof localPath, "%s", path);
    CreateParentFolders(localPath);
    return Start();
}

void cFileDownloader::OnExecute() {
    cHttp::OnExecute();
    if (manager != nullptr) {
        manager->OnTransferEnded(*this);
    }
}

void cFileDownloader::OnFinish(int64_t, int64_t reached) {
    // Also called for a transfer broken off by a stop, which ends short of the size.
    complete = reached == expectedSize && (sha256.empty() || matched);
}

void cFileDownloader::OnStart(int64_t offset) {
    if (manager == nullptr || offset == 0 || part) {
        return;
    }
    char line[224];
    std::snprintf(line, sizeof line, TRANSFER_LOG_STAMP " cMgrDownloader::OnStart %" PRId64,
                  offset);
    AppendTransferLog(line);
    manager->received += offset;
    Counted() += offset;
}

void cFileDownloader::OnReceived(int32_t count) {
    if (manager == nullptr || manager->totalSize <= 0) {
        return;
    }
    manager->sessionReceived += count;
    manager->received += count;
    Counted() += count;
    if (manager->received > manager->totalSize) {
        ShowEngineWarning("cMgrDownloader::OnReceived size error");
    }
}

void cFileDownloader::OnRewind(int64_t offset) {
    // A file rewinds with no other transfer on it: all its transfers' bytes are taken back.
    std::atomic<int64_t>& total = Counted();
    if (manager != nullptr && total > offset) {
        manager->received -= total - offset;
        total = offset;
    }
}

bool cFileDownloader::IsKnownVerified() {
    matched = manager != nullptr && manager->verified.IsVerified(recordPath, sha256);
    return matched;
}

void cFileDownloader::OnVerified() {
    matched = true;
    if (manager != nullptr) {
        manager->verified.Remember(recordPath, sha256);
    }
}

void cFileDownloader::OnServerWait(bool waiting) {
    if (manager != nullptr) {
        manager->waitingForServer += waiting ? 1 : -1;
    }
}

std::atomic<int64_t>& cFileDownloader::Counted() {
    return plan ? plan->counted : counted;
}

void cFileDownloader::OnSplittable() {
    if (manager != nullptr) {
        manager->WakeUp();
    }
}

void cFileDownloader::OnDiskFull() {
    if (manager == nullptr) {
        cHttp::OnDiskFull();
        return;
    }
    manager->OnDiskFull(recordPath);
}

void cFileDownloader::OnCheckBegin(int64_t waiting) {
    if (manager != nullptr) {
        manager->uncheckedBytes += waiting;
        ++manager->checksBegun;
        ++manager->checking;
    }
}

void cFileDownloader::OnCheckRead(int64_t bytes) {
    if (manager != nullptr) {
        manager->uncheckedBytes -= bytes;
    }
}

void cFileDownloader::OnCheckEnd(int64_t unread) {
    if (manager != nullptr) {
        manager->uncheckedBytes -= unread;
        --manager->checking;
    }
}
