#include "download/cMgrDownloader.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/cApp.h"
#include "app/documentText.h"
#include "app/folderWalk.h"
#include "download/engineMessages.h"
#include "download/manifest.h"
#include "download/manifestCheck.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {

bool TickReached(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) >= 0;
}

}  // namespace

cMgrDownloader::cMgrDownloader() : cThread("cMgrDownloader") {}

cMgrDownloader::~cMgrDownloader() {
    Stop();
    if (downloaders) {
        // Every transfer is asked to stop before the first join, so they wind down together.
        for (int32_t i = 0; i < fileCount; ++i) {
            downloaders[i].running = 0;
        }
        for (int32_t i = 0; i < fileCount; ++i) {
            downloaders[i].StopTransfer();
        }
    }
    downloaders.reset();
}

std::function<void()>& cMgrDownloader::CompletionHook() {
    static std::function<void()> hook;
    return hook;
}

void cMgrDownloader::OnExecute() {
    finished = 0;
    if (!DoDownloadFile() || !running) {
        return;
    }
    NotifyCompletion();
}

bool cMgrDownloader::DoDownloadFile() {
    if (theApp == nullptr) {
        return false;
    }
    Manifest manifest;
    std::string problem;
    // Read from the resource folder or not at all: the folder current otherwise may be the
    // download folder, whose "file.json" would be one of the package's files. Checked again as
    // it is read: the bytes used are the bytes whose signature matched.
    if (theApp->resourceDirectory == nullptr ||
        !platform::SetCurrentFolder(theApp->resourceDirectory)) {
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
    totalSize = manifest.totalSize;
    downloaders.reset(new cFileDownloader[fileCount]);
    std::string folder = theApp->downloadDirectory;
    if (!folder.empty() &&
        !app::EndsInSeparator(folder, platform::kPathSeparator, app::kPathCodePage)) {
        folder += platform::kPathSeparator;
    }
    std::set<std::pair<std::string, std::string>> hashed;
    for (int32_t i = 0; i < fileCount; ++i) {
        cFileDownloader& downloader = downloaders[i];
        downloader.manager = this;
        downloader.sha256 = manifest.files[i].sha256;
        downloader.recordPath = folder + manifest.files[i].localPath;
        if (!downloader.sha256.empty()) {
            hashed.insert({downloader.recordPath, downloader.sha256});
        }
    }
    verified.Load(theApp->WorkFilePath(kVerifiedRecordName), hashed);
    // The downloaders' names are relative to the download folder; without it nothing may be
    // written anywhere else.
    if (!platform::SetCurrentFolder(theApp->downloadDirectory)) {
        ShowEngineWarning("cMgrDownloader::DoDownloadFile :: download folder error (-36)");
        return false;
    }
    Walk(manifest);
    Drain();
    return true;
}

void cMgrDownloader::Walk(const Manifest& manifest) {
    std::vector<int32_t> slots(cHttp::GetMaxConnections(), -1);
    bool freeSlot = false;
    uint32_t deadline = 0;
    const bool urlUsable = !manifest.url.empty() && manifest.url.back() == '/';
    startTick = platform::TickCount();
    for (int32_t i = 0; i < fileCount && running; ++i) {
        const ManifestEntry& entry = manifest.files[i];
        if (urlUsable) {
            if (IsLaunchName(entry.name)) {
                std::snprintf(theApp->launchFileName, sizeof theApp->launchFileName, "%s",
                              entry.localPath.c_str());
            }
            if (!downloaders[i].StartDownload(FileUrlOf(manifest.url, entry.name).c_str(),
                                              entry.localPath.c_str(), entry.size)) {
                ShowEngineWarning("cMgrDownloader::DoDownloadFile :: thread error (-37)");
            }
        } else {
            ShowEngineWarning("cMgrDownloader::DoDownloadFile :: file.json URL format error");
        }
        for (int32_t& slot : slots) {
            if (slot == -1) {
                slot = i;
                break;
            }
        }
        freeSlot = false;
        deadline = platform::TickCount() + kPollMs;
        while (running) {
            if (freeSlot && TickReached(platform::TickCount(), deadline)) {
                break;
            }
            for (int32_t& slot : slots) {
                if (slot != -1 && !downloaders[slot].running) {
                    // Joined at once, so that ended transfers do not keep their threads.
                    downloaders[slot].Stop();
                    slot = -1;
                }
                if (slot == -1) {
                    freeSlot = true;
                    break;
                }
            }
            platform::SleepMs(kPollMs);
        }
    }
}

void cMgrDownloader::Drain() {
    for (int32_t i = 0; i < fileCount && running;) {
        if (downloaders[i].running) {
            platform::SleepMs(kPollMs);
            i = 0;
        } else {
            ++i;
        }
    }
}

void cMgrDownloader::NotifyCompletion() {
    // The whole step runs on the UI thread, where the window lives and a stop also runs: either
    // it sees the stop and leaves the window alone, or it completes before the stop begins. A
    // stop waiting for this thread keeps serving the call, so neither waits for the other.
    platform::InvokeOnUiThread([this] {
        if (!running) {
            return;
        }
        // Without a window (a headless run) there is nobody to tell; the run is complete.
        if (theApp->mainWindow == nullptr) {
            finished = 1;
            return;
        }
        const platform::WindowHandle window = theApp->MainWindowHandle();
        platform::SendWindowMessage(window, platform::kWmTimer, kCompletionTimerId, 0);
        finished = 1;
        if (CompletionHook()) {
            CompletionHook()();
        }
        platform::FlashNativeWindow(window);
    });
}
