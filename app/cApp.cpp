#include "app/cApp.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/texts.h"
#include "core/documentText.h"
#include "core/folderWalk.h"
#include "core/trustedPaths.h"
#include "core/wholeFile.h"
#include "download/cMgrDownloader.h"
#include "download/rateLimit.h"
#include "downloader/mainWindow.h"
#include "platform/files.h"
#include "platform/system.h"
#include "ui/cWindow.h"

namespace {

// A member of the document's root; null when absent or when the document has no root.
cJson::Node* RootMember(cJson& document, const char* key) {
    return document.root != nullptr ? document.root->Find(key) : nullptr;
}

// The work directory ends in its separator and one more is put in, as the stamp's path has
// always been made; the file system reads the doubled separator as one.
std::string VersionFilePath(const char* workDirectory) {
    return std::string(workDirectory) + platform::kPathSeparator + app::texts::kVersionFileName;
}

}  // namespace

cApp::cApp() {
    core::CopyText(messageBoxTitle, kTextSize, app::texts::kDefaultTitle);
    core::CopyText(exitQuestion, kTextSize, app::texts::kDefaultExitQuestion);
    core::CopyText(networkErrorText, kTextSize, app::texts::kDefaultNetworkError);
    theApp = this;
    SetEngineHost(this);
    // A document that cannot be loaded, or a frame that cannot be drawn, is reported like every
    // other failure.
    const auto report = [](const char* text, unsigned style) { theApp->ShowMessage(text, style); };
    cJson::SetErrorReporter(report);
    cWindow::SetDrawErrorReporter(report);
}

cApp::~cApp() {
    if (theApp == this) {
        theApp = nullptr;
        SetEngineHost(nullptr);
        cJson::SetErrorReporter(nullptr);
        cWindow::SetDrawErrorReporter(nullptr);
    }
}

std::string cApp::WorkFilePath(const char* name) const {
    std::string path = workDirectory;
    if (!path.empty() &&
        !core::EndsInSeparator(path, platform::kPathSeparator, core::kPathCodePage)) {
        path += platform::kPathSeparator;
    }
    return path + name;
}

platform::WindowHandle cApp::MainWindowHandle() const {
    return mainWindow != nullptr ? NativeHandleOf(mainWindow) : nullptr;
}

void cApp::EndOnFatalError(int exitCode) {
    platform::EndProcess(exitCode);
}

const char* cApp::ResourceFolder() const {
    return resourceDirectory;
}

const char* cApp::DownloadFolder() const {
    return downloadDirectory;
}

void cApp::RecordLaunchFile(const char* path, const char* sha256) {
    std::snprintf(launchFileName, sizeof launchFileName, "%s", path);
    std::snprintf(launchFileSha256, sizeof launchFileSha256, "%s", sha256);
}

platform::WindowHandle cApp::CompletionWindow() const {
    return MainWindowHandle();
}

int cApp::ShowMessage(const char* text, unsigned style) {
    // The owner is looked up where windows live: a worker's look could find a window that the
    // UI thread is creating or destroying at that moment.
    int answer = platform::kIdOk;
    const std::string shown = core::CutLongLines(text);
    platform::InvokeOnUiThread([&] {
        answer =
            platform::ShowMessageBox(MainWindowHandle(), shown.c_str(), messageBoxTitle, style);
    });
    return answer;
}

void cApp::StopDownload() {
    cMgrDownloader* manager = downloadManager;
    if (manager == nullptr) {
        return;
    }
    // Forgotten first: the waits below keep the UI thread's events flowing (the engine's
    // completion step and warning boxes, but also the user's clicks), so a stop can be asked
    // for again while this one waits, and then finds nothing left to stop; the window stops
    // reading the manager's counters as well.
    downloadManager = nullptr;
    manager->Stop();
    delete manager;
}

int cApp::OnExecute() {
    resourceDirectory = workDirectory;
    platform::SetCurrentFolder(workDirectory);

    cJson document;
    if (!document.LoadFromResource()) {
        ShowMessage(app::texts::kLoadingError, platform::kMbIconWarning);
        return 0;
    }
    mainWindow = NewMainWindow(document);
    LoadServerURL(document);
    CheckVersion(document);
    LoadSettings();

    if (cJson::Node* texts = RootMember(document, "message-box")) {
        if (cJson::Node* title = texts->GetNode("title")) {
            core::CopyText(messageBoxTitle, kTextSize, title->GetString());
        }
        if (cJson::Node* exit = texts->GetNode("exit")) {
            core::CopyText(exitQuestion, kTextSize, exit->GetString());
        }
        if (cJson::Node* error = texts->GetNode("error")) {
            core::CopyText(networkErrorText, kTextSize, error->GetString());
        }
    }

    if (!CreateMainWindowNative(mainWindow)) {
        DeleteMainWindow(mainWindow);
        mainWindow = nullptr;
        return 0;
    }
    ShowMainWindow(mainWindow);
    // A document without a title still runs the window, untitled.
    if (cJson::Node* title = RootMember(document, "window-title")) {
        SetMainWindowTitle(mainWindow, title->GetString());
    }
    int result = platform::RunMessageLoop();
    cWinMain* window = mainWindow;
    mainWindow = nullptr;
    DeleteMainWindow(window);
    return result;
}

void cApp::LoadServerURL(cJson& document) {
    cJson::Node* url = RootMember(document, "server-url");
    if (url == nullptr) {
        ShowMessage(app::texts::kServerUrlError, platform::kMbIconWarning);
        platform::EndProcess(0);
    }
    serverUrl = url->GetString();
}

void cApp::CheckVersion(cJson& document) {
    cJson::Node* version = RootMember(document, "version");
    if (version == nullptr) {
        ShowMessage(app::texts::kVersionError, platform::kMbIconWarning);
        platform::EndProcess(0);
    }
    core::CopyText(versionString, kVersionSize, version->GetString());

    cJson::Node* local = RootMember(document, "use-local-resource");
    if (local != nullptr && std::strcmp(local->GetString(), "true") == 0) {
        if (resourceDirectory == nullptr) {
            resourceDirectory = moduleDirectory;
        }
    } else {
        resourceDirectory = workDirectory;
    }
    platform::SetCurrentFolder(resourceDirectory);

    if (downloadDirectory[0] != '\0') {
        return;
    }
    const std::string content =
        core::ReadWholeFile(VersionFilePath(workDirectory).c_str()).value_or(std::string());
    size_t lineFeed = content.find('\n');
    if (lineFeed == std::string::npos) {
        return;
    }
    // Everything after the first line up to the file's end (or a NUL byte in it), without the
    // line break or blanks an editor leaves at its end: they would name another folder.
    std::string folder = content.c_str() + lineFeed + 1;
    while (!folder.empty() && std::strchr("\r\n \t", folder.back()) != nullptr) {
        folder.pop_back();
    }
    if (folder.empty()) {
        return;
    }
    // Judged as the folder it names: "~/" is the user's home, not a folder called "~".
    folder = platform::ExpandUserPath(folder.c_str());
    if (const std::string refusal = core::DownloadFolderRefusal(folder.c_str()); !refusal.empty()) {
        // The document's default folder is used instead.
        ShowMessage((std::string(app::texts::kDownloadFolderRefused) + refusal).c_str(),
                    platform::kMbIconWarning);
        return;
    }
    CreateDownloadDirectory(folder.c_str());
}

void cApp::CreateDownloadDirectory(const char* text) {
    // The document's default folder may start at the user's home ("~/").
    std::string expanded = platform::ExpandUserPath(text);
    const char* path = expanded.c_str();
    size_t length = expanded.size();
    if (length >= kPathSize) {
        // Does not fit the field: refused, the directory in force stays.
        ShowMessage(app::texts::kDirectoryError, platform::kMbIconWarning);
        return;
    }
    std::u16string wide = platform::PathToUtf16(path, length);
    size_t units = wide.size() < kPathSize ? wide.size() : kPathSize - 1;
    wide.copy(downloadDirectoryWide, units);
    downloadDirectoryWide[units] = u'\0';
    std::memcpy(downloadDirectory, path, length + 1);

    constexpr bool kDriveFirst = platform::kPathsStartWithDrive;
    if (core::SeparatorsIn(downloadDirectory, platform::kPathSeparator, core::kPathCodePage)
            .empty()) {
        ShowMessage(app::texts::kDirectoryError, platform::kMbIconWarning);
    } else {
        for (const std::string& folder : core::FoldersAlong(
                 downloadDirectory, platform::kPathSeparator, kDriveFirst, core::kPathCodePage)) {
            platform::CreateFolder(folder.c_str());
        }
    }
    if (platform::WindowHandle window = MainWindowHandle()) {
        platform::InvalidateWindow(window);
    }
}

void cApp::SaveVersion() {
    // Replaced whole: a stamp cut by a crash or a full disk would give a wrong folder at the
    // next start. One that cannot be written leaves the previous one, silently, as always.
    const std::string stamp = std::string(versionString) + '\n' + downloadDirectory;
    platform::ReplaceFileAtomically(VersionFilePath(workDirectory).c_str(), stamp);
}

void cApp::LoadSettings() {
    // A missing or unreadable file leaves the defaults.
    settings = downloader::ParseSettings(
        core::ReadWholeFile(WorkFilePath(app::texts::kSettingsFileName).c_str())
            .value_or(std::string()));
    DownloadRateLimit().SetRate(downloader::SpeedLimitBytes(settings.speedLimitMib));
}

void cApp::SetSpeedLimit(int mib) {
    settings.speedLimitMib = mib;
    DownloadRateLimit().SetRate(downloader::SpeedLimitBytes(mib));
    // Replaced whole, as the stamp; one that cannot be written only loses the choice.
    platform::ReplaceFileAtomically(WorkFilePath(app::texts::kSettingsFileName).c_str(),
                                    downloader::FormatSettings(settings));
}
