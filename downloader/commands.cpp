// What the five buttons do. Every command runs on the UI thread, one at a time (cButton).
#include <cstdio>
#include <string>

#include "core/trustedPaths.h"
#include "download/cMgrDownloader.h"
#include "downloader/appState.h"
#include "downloader/buttons.h"
#include "downloader/cWinMain.h"
#include "downloader/texts.h"
#include "platform/folder_picker.h"
#include "platform/system.h"

namespace {

cWinMain& MainWindow() {
    return *theApp->mainWindow;
}

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;

// A folder that stands for a whole drive: never a download folder.
bool IsDriveRoot(const std::string& path) {
    if (platform::kPathsStartWithDrive) {
        return path.size() <= 3;  // "C:\", "C:", or nothing
    }
    return path.find_first_not_of('/') == std::string::npos;  // "/", "//", or nothing
}

}  // namespace

void cBtnStart::OnExecute() {
    cWinMain& window = MainWindow();
    // Never on a manifest not yet fetched and checked: the download starts once it is in.
    if (!window.infoPanel.ManifestReady()) {
        window.infoPanel.startWhenReady = true;
        return;
    }
    // Told here, before anything runs; the run itself enters only the folder it checks again.
    if (const std::string refusal = core::DownloadFolderRefusal(theApp->downloadDirectory);
        !refusal.empty()) {
        theApp->ShowMessage((std::string(downloader::texts::kStartFolderRefused) + refusal).c_str(),
                            platform::kMbIconWarning);
        return;
    }
    SetState(eDisable);
    window.folderButton.SetState(eDisable);
    window.pauseButton.SetState(eNormal);
    window.progressBar.SetProgress(0);
    if (theApp->downloadManager != nullptr) {
        theApp->StopDownload();
    }
    auto* manager = new cMgrDownloader;
    theApp->downloadManager = manager;
    manager->Start();
}

void cBtnPause::OnCreate() {
    cButton::OnCreate();
    SetState(eDisable);
}

void cBtnPause::OnExecute() {
    SetState(eDisable);
    theApp->StopDownload();
    cWinMain& window = MainWindow();
    window.folderButton.SetState(eNormal);
    window.startButton.SetState(eNormal);
}

void cBtnCancel::OnExecute() {
    MainWindow().AskToClose();
}

void cBtnLaunch::OnCreate() {
    cButton::OnCreate();
    SetState(eDisable);
}

void cBtnLaunch::OnExecute() {
    if (theApp->launchFileName[0] == '\0') {
        theApp->ShowMessage(downloader::texts::kNoExecutable, platform::kMbIconWarning);
        platform::EndProcess(1);
    }
    // Checked again right before the start: what starts elevated is the file that matched.
    bool started = false;
    const std::string refusal = core::LaunchCheckedFile(
        theApp->downloadDirectory, theApp->launchFileName, theApp->launchFileSha256, started);
    if (!refusal.empty()) {
        // Nothing starts; a new Start fetches what does not match again.
        theApp->ShowMessage((std::string(downloader::texts::kLaunchRefused) + refusal).c_str(),
                            platform::kMbIconWarning);
        SetState(eDisable);
        MainWindow().startButton.SetState(eNormal);
        MainWindow().folderButton.SetState(eNormal);
        return;
    }
    if (!started) {
        theApp->ShowMessage(downloader::texts::kLaunchError, platform::kMbIconWarning);
    }
    platform::DestroyNativeWindow(MainWindow().hwnd);
}

void cBtnFolder::OnExecute() {
    const int64_t required = MainWindow().manifestTotalSize;
    auto onSelection = [required](platform::FolderPickerView& view, const std::string& path) {
        if (IsDriveRoot(path)) {
            view.RefuseSelection();
        }
        // A folder others could change is refused with the reason in place of the sizes.
        if (const std::string refusal = core::DownloadFolderRefusal(path.c_str());
            !refusal.empty()) {
            view.RefuseSelection();
            view.SetStatus(core::CutLongLines(refusal).c_str());
            return;
        }
        int64_t free = platform::FreeDiskSpace(path.c_str());
        // Space that cannot be read is no room at all.
        if (free < 0 || free <= required) {
            view.RefuseSelection();
        }
        char status[256];
        std::snprintf(status, sizeof status, downloader::texts::kFolderStatusFormat,
                      static_cast<double>(required) / kGiB,
                      static_cast<double>(free < 0 ? 0 : free) / kGiB);
        view.SetStatus(status);
    };
    std::optional<std::string> chosen =
        platform::PickFolder(hwnd, theApp->downloadDirectory, onSelection);
    if (!chosen) {
        return;
    }
    // Checked again: a typed folder was never selected, and the folders may have changed.
    if (const std::string refusal = core::DownloadFolderRefusal(chosen->c_str());
        !refusal.empty()) {
        theApp->ShowMessage(
            (std::string(downloader::texts::kChosenFolderRefused) + refusal).c_str(),
            platform::kMbIconWarning);
        return;
    }
    theApp->CreateDownloadDirectory(chosen->c_str());
    theApp->SaveVersion();
}
