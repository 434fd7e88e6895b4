#include "app/cApp.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/documentText.h"
#include "app/folderWalk.h"
#include "app/mainWindow.h"
#include "app/texts.h"
#include "app/trustedPaths.h"
#include "download/cMgrDownloader.h"
#include "download/rateLimit.h"
#include "platform/files.h"
#include "platform/system.h"

cApp* theApp = nullptr;

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

// Appends the whole file to `content`; false when it cannot be opened.
bool ReadWholeFile(const std::string& path, std::string& content) {
    FILE* file = platform::OpenFile(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        content.append(buffer, got);
    }
    std::fclose(file);
    return true;
}

}  // namespace

cApp::cApp() {
    app::CopyText(messageBoxTitle, kTextSize, app::texts::kDefaultTitle);
    app::CopyText(exitQuestion, kTextSize, app::texts::kDefaultExitQuestion);
    app::CopyText(networkErrorText, kTextSize, app::texts::kDefaultNetworkError);
    theApp = this;
    // A document that cannot be loaded is reported like every other failure.
    cJson::SetErrorReporter(
        [](const char* text, unsigned style) { theApp->ShowMessage(text, style); });
}

cApp::~cApp() {
    if (theApp == this) {
        theApp = nullptr;
        cJson::SetErrorReporter(nullptr);
    }
}

std::string cApp::WorkFilePath(const char* name) const {
    std::string path = workDirectory;
    if (!path.empty() &&
        !app::EndsInSeparator(path, platform::kPathSeparator, app::kPathCodePage)) {
        path += platform::kPathSeparator;
    }
    return path + name;
}

platform::WindowHandle cApp::MainWindowHandle() const {
    return mainWindow != nullptr ? NativeHandleOf(mainWindow) : nullptr;
}

int cApp::ShowMessage(const char* text, unsigned style) {
    // The owner is looked up where windows live: a worker's look could find a window that the
    // UI thread is creating or destroying at that moment.
    int answer = platform::kIdOk;
    const std::string shown = app::CutLongLines(text);
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
            app::CopyText(messageBoxTitle, kTextSize, title->GetString());
        }
        if (cJson::Node* exit = texts->GetNode("exit")) {
            app::CopyText(exitQuestion, kTextSize, exit->GetString());
        }
        if (cJson::Node* error = texts->GetNode("error")) {
            app::CopyText(networkErrorText, kTextSize, error->GetString());
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
    app::CopyText(versionString, kVersionSize, version->GetString());

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
    std::string content;
    if (!ReadWholeFile(VersionFilePath(workDirectory), content)) {
        return;
    }
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
    if (const std::string refusal = app::DownloadFolderRefusal(folder.c_str()); !refusal.empty()) {
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

    constexpr bool kDriveFirst = platform::kPathSeparator == '\\';
    if (app::SeparatorsIn(downloadDirectory, platform::kPathSeparator, app::kPathCodePage)
            .empty()) {
        ShowMessage(app::texts::kDirectoryError, platform::kMbIconWarning);
    } else {
        for (const std::string& folder : app::FoldersAlong(
                 downloadDirectory, platform::kPathSeparator, kDriveFirst, app::kPathCodePage)) {
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
    std::string content;
    // A missing or unreadable file leaves the defaults.
    ReadWholeFile(WorkFilePath(app::texts::kSettingsFileName), content);
    settings = app::ParseSettings(content);
    DownloadRateLimit().SetRate(app::SpeedLimitBytes(settings.speedLimitMib));
}

void cApp::SetSpeedLimit(int mib) {
    settings.speedLimitMib = mib;
    DownloadRateLimit().SetRate(app::SpeedLimitBytes(mib));
    // Replaced whole, as the stamp; one that cannot be written only loses the choice.
    platform::ReplaceFileAtomically(WorkFilePath(app::texts::kSettingsFileName).c_str(),
                                    app::FormatSettings(settings));
}
