#include "download/cMgrDownloader.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/documentText.h"
#include "core/folderWalk.h"
#include "core/trustedPaths.h"
#include "download/engineHost.h"
#include "download/engineMessages.h"
#include "download/localFile.h"
#include "download/manifest.h"
#include "download/manifestCheck.h"
#include "download/roomCheck.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {

// The file's URL at every mirror of the manifest, in its order.
std::vector<std::string> MirrorUrlsOf(const Manifest& manifest, const std::string& name) {
    std::vector<std::string> urls;
    for (const std::string& mirror : manifest.mirrors) {
        urls.push_back(FileUrlOf(mirror, name));
    }
    return urls;
}

}  // namespace

cMgrDownloader::cMgrDownloader() : cThread("cMgrDownloader") {}

cMgrDownloader::~cMgrDownloader() {
    Stop();
    // The run stops its transfers itself; these are left only when it never ran to its end.
    StopTransfers();
}

void cMgrDownloader::StopTransfers() {
    // Every transfer is asked to stop before the first join, so they wind down together.
    for (Slot& slot : slots) {
        if (slot.transfer) {
            slot.transfer->running = 0;
        }
    }
    for (Slot& slot : slots) {
        if (slot.transfer) {
            slot.transfer->StopTransfer();
        }
    }
    slots.clear();
}

std::function<void()>& cMgrDownloader::CompletionHook() {
    static std::function<void()> hook;
    return hook;
}

std::function<void()>& cMgrDownloader::IncompleteHook() {
    static std::function<void()> hook;
    return hook;
}

void cMgrDownloader::OnTransferEnded(cFileDownloader& transfer) {
    {
        std::lock_guard<std::mutex> lock(wakeGuard);
        transfer.ended = true;
    }
    wake.notify_one();
}

void cMgrDownloader::WakeUp() {
    {
        std::lock_guard<std::mutex> lock(wakeGuard);
        wakeRequested = true;
    }
    wake.notify_one();
}

void cMgrDownloader::OnDiskFull(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(wakeGuard);
        if (!diskFullPath.empty()) {
            return;
        }
        diskFullPath = path;
    }
    wake.notify_one();
}

void cMgrDownloader::OnStopRequested() {
    // Under the lock: the run checks `running` under it before it sleeps.
    std::lock_guard<std::mutex> lock(wakeGuard);
    wake.notify_one();
}

void cMgrDownloader::OnExecute() {
    finished = 0;
    if (!DoDownloadFile() || !running) {
        return;
    }
    std::string fullPath;
    {
        std::lock_guard<std::mutex> lock(wakeGuard);
        fullPath = diskFullPath;
    }
    if (!fullPath.empty()) {
        NotifyEnded(std::string("cMgrDownloader::OnExecute :: ") + cHttp::kDiskFullError + "\n\"" +
                        fullPath +
                        "\": the disk is full. What arrived is kept: free some space, then press "
                        "Start to go on.",
                    true);
    } else if (failedFiles == 0) {
        NotifyCompletion();
    } else {
        NotifyIncomplete();
    }
}

bool cMgrDownloader::DoDownloadFile() {
    cEngineHost* host = EngineHost();
    if (host == nullptr) {
        return false;
    }
    Manifest manifest;
    std::string problem;
    // Read from the resource folder or not at all: the folder current otherwise may be the
    // download folder, whose "file.json" would be one of the package's files. Checked again as
    // it is read: the bytes used are the bytes whose signature matched.
    if (host->ResourceFolder() == nullptr || !platform::SetCurrentFolder(host->ResourceFolder())) {
        problem = "the folder of file.json cannot be entered";
    } else {
        LoadCheckedManifest(kManifestName, kSignatureName, manifest, problem);
    }
    if (!problem.empty()) {
        ShowEngineWarning(
            ("cMgrDownloader::DoDownloadFile :: file.json error (-35) " + problem).c_str());
        return false;
    }
    fileCount = manifest.totalCount;
    std::string folder = host->DownloadFolder();
    if (!folder.empty() &&
        !core::EndsInSeparator(folder, platform::kPathSeparator, core::kPathCodePage)) {
        folder += platform::kPathSeparator;
    }
    verified.Load(
        host->WorkFilePath(kVerifiedRecordName), manifest.files.size(),
        [&manifest, &folder](size_t index) {
            ManifestEntry entry = manifest.files[index];
            return VerifiedRecord::Listed{folder + entry.localPath, std::move(entry.sha256)};
        });
    // The downloaders' names are relative to the download folder; without it nothing may be
    // written anywhere else. The folder entered is the one checked, whatever its path does.
    if (const std::string refusal = core::EnterDownloadFolder(host->DownloadFolder());
        !refusal.empty()) {
        ShowEngineWarning(
            ("cMgrDownloader::DoDownloadFile :: download folder error (-36) " + refusal).c_str());
        return false;
    }
    // Nothing starts what cannot fit; the panel keeps its figures (it waits for a size).
    if (const std::string shortage = RoomShortage(BytesStillNeeded(manifest, folder, verified),
                                                  platform::FreeDiskSpace(host->DownloadFolder()));
        !shortage.empty()) {
        verified.Save();
        NotifyEnded(shortage, false);
        return false;
    }
    totalSize = manifest.totalSize;
    Walk(manifest, folder);
    verified.Save();
    return true;
}

void cMgrDownloader::Walk(const Manifest& manifest, const std::string& folder) {
    slots.resize(cHttp::GetMaxConnections());
    int32_t next = 0;
    startTick = platform::TickCount();
    while (running) {
        bool busy = false;
        for (Slot& slot : slots) {
            if (slot.transfer && slot.transfer->ended) {
                Settle(manifest, slot);
            }
            // List order: the free connection takes the next file that starts.
            while (!slot.transfer && next < fileCount && running) {
                StartEntry(manifest, next++, folder, slot);
            }
            busy |= slot.transfer != nullptr;
        }
        if (!busy && next >= fileCount) {
            break;
        }
        for (Slot& slot : slots) {
            if (!slot.transfer && next >= fileCount && running) {
                StartPart(manifest, folder, slot);
            }
        }
        std::unique_lock<std::mutex> lock(wakeGuard);
        wake.wait(lock, [this] {
            if (!running || wakeRequested || !diskFullPath.empty()) {
                return true;
            }
            for (const Slot& slot : slots) {
                if (slot.transfer && slot.transfer->ended) {
                    return true;
                }
            }
            return false;
        });
        wakeRequested = false;
        if (!diskFullPath.empty()) {
            break;
        }
    }
    // After a stop: the stop is waited for on the UI thread, which serves what the transfers
    // ask of it meanwhile, so they end here and not in the destructor, where a wait cannot.
    StopTransfers();
}

bool cMgrDownloader::StartEntry(const Manifest& manifest, int32_t index, const std::string& folder,
                                Slot& slot) {
    const ManifestEntry entry = manifest.files[index];
    if (manifest.url.empty() || manifest.url.back() != '/') {
        ShowEngineWarning("cMgrDownloader::DoDownloadFile :: file.json URL format error");
        NoteFailure(index, entry.name);
        return false;
    }
    auto transfer = std::make_unique<cFileDownloader>();
    transfer->manager = this;
    transfer->sha256 = entry.sha256;
    transfer->recordPath = folder + entry.localPath;
    transfer->mirrors = MirrorUrlsOf(manifest, entry.name);
    transfer->plan = PlanFor(entry, transfer->recordPath);
    if (transfer->plan && transfer->plan->HeldAtLoad() >= 0) {
        // Taken here, before a part could take every gap of the record.
        transfer->segment = transfer->plan->Take();
    }
    if (!transfer->StartDownload(FileUrlOf(manifest.url, entry.name).c_str(),
                                 entry.localPath.c_str(), entry.size)) {
        ShowEngineWarning("cMgrDownloader::DoDownloadFile :: thread error (-37)");
        NoteFailure(index, entry.name);
        return false;
    }
    slot.plan = transfer->plan;
    slot.transfer = std::move(transfer);
    slot.entry = index;
    return true;
}

std::shared_ptr<SegmentPlan> cMgrDownloader::PlanFor(const ManifestEntry& entry,
                                                     const std::string& path) {
    if (entry.size < 2 * SegmentPlan::kMinSegment) {
        return nullptr;
    }
    char name[48];
    std::snprintf(name, sizeof name, "segments-%016" PRIx64 ".txt",
                  VerifiedRecord::HashOf(path, entry.sha256));
    auto plan = std::make_shared<SegmentPlan>(EngineHost()->WorkFilePath(name), entry.size);
    if (!plan->Load(LocalFileSize(entry.localPath.c_str()))) {
        // A record that cannot be trusted leaves no way to tell the file's holes: it starts
        // over.
        platform::RemoveFile(entry.localPath.c_str());
    }
    return plan;
}

void cMgrDownloader::StartPart(const Manifest& manifest, const std::string& folder, Slot& slot) {
    const Slot* widest = nullptr;
    int64_t most = 0;
    for (const Slot& other : slots) {
        const int64_t spare = other.plan ? other.plan->Spare() : 0;
        if (spare > most) {
            most = spare;
            widest = &other;
        }
    }
    const int segment = widest != nullptr ? widest->plan->TakeOrSplit() : -1;
    if (segment < 0) {
        return;
    }
    const ManifestEntry entry = manifest.files[widest->entry];
    auto transfer = std::make_unique<cFileDownloader>();
    transfer->manager = this;
    transfer->sha256 = entry.sha256;
    transfer->recordPath = folder + entry.localPath;
    transfer->mirrors = MirrorUrlsOf(manifest, entry.name);
    transfer->plan = widest->plan;
    transfer->segment = segment;
    transfer->part = true;
    if (!transfer->StartDownload(FileUrlOf(manifest.url, entry.name).c_str(),
                                 entry.localPath.c_str(), entry.size)) {
        // The file goes on with the transfers it has.
        transfer->plan->Release(segment);
        return;
    }
    slot.plan = widest->plan;
    slot.entry = widest->entry;
    slot.transfer = std::move(transfer);
}

void cMgrDownloader::Settle(const Manifest& manifest, Slot& slot) {
    slot.transfer->Stop();
    const ManifestEntry entry = manifest.files[slot.entry];
    // A transfer that handed its file to others leaves the verdict to the last of them.
    if (!slot.transfer->complete && !slot.transfer->handedOff) {
        NoteFailure(slot.entry, entry.name);
    } else if (IsLaunchName(entry.name)) {
        // List order decides between launch files, whichever ended first.
        if (slot.entry >= launchEntry) {
            launchEntry = slot.entry;
            launchPath = entry.localPath;
            launchSha256 = entry.sha256;
        }
    }
    slot.transfer.reset();
    slot.plan.reset();
    slot.entry = -1;
}

void cMgrDownloader::NoteFailure(int32_t index, const std::string& name) {
    // The first in list order, whatever order the transfers end in.
    failedNames.emplace_back(index, name);
    std::sort(failedNames.begin(), failedNames.end());
    if (failedNames.size() > kFailuresNamed) {
        failedNames.pop_back();
    }
    ++failedFiles;
}

void cMgrDownloader::NotifyCompletion() {
    // The whole step runs on the UI thread, where the window lives and a stop also runs: either
    // it sees the stop and leaves the window alone, or it completes before the stop begins. A
    // stop waiting for this thread keeps serving the call, so neither waits for the other.
    platform::InvokeOnUiThread([this] {
        if (!running) {
            return;
        }
        // Only now, and only from a file that completed and matched: Launch starts this one.
        cEngineHost* host = EngineHost();
        host->RecordLaunchFile(launchPath.c_str(), launchSha256.c_str());
        // Without a window (a headless run) there is nobody to tell; the run is complete.
        const platform::WindowHandle window = host->CompletionWindow();
        if (window == nullptr) {
            finished = 1;
            return;
        }
        platform::SendWindowMessage(window, platform::kWmTimer, kCompletionTimerId, 0);
        finished = 1;
        if (CompletionHook()) {
            CompletionHook()();
        }
        platform::FlashNativeWindow(window);
    });
}

void cMgrDownloader::NotifyIncomplete() {
    std::string text = "cMgrDownloader::OnExecute :: download incomplete (-39)\n" +
                       std::to_string(failedFiles) + " of " + std::to_string(fileCount) +
                       " files failed:";
    for (size_t i = 0; i < failedNames.size(); ++i) {
        text += (i == 0 ? " \"" : ", \"") + failedNames[i].second + "\"";
    }
    if (static_cast<size_t>(failedFiles) > failedNames.size()) {
        text += ", ...";
    }
    NotifyEnded(text, true);
}

void cMgrDownloader::NotifyEnded(const std::string& text, bool figures) {
    // On the UI thread for the same reasons as the completion step.
    platform::InvokeOnUiThread([this, &text, figures] {
        if (!running) {
            return;
        }
        if (const platform::WindowHandle window = EngineHost()->CompletionWindow()) {
            // The figures of what did arrive; the window keeps them.
            if (figures) {
                platform::SendWindowMessage(window, platform::kWmTimer, kCompletionTimerId, 0);
            }
            if (IncompleteHook()) {
                IncompleteHook()();
            }
        }
        ShowEngineWarning(text.c_str());
    });
}
