// The application object as the windows see it: the state of the run and the services they ask
// of it. The start-up's cApp (app/cApp.h) is the one object of this kind and implements the
// services; every window reaches it through `theApp`.
#pragma once

#include <cstddef>
#include <string>

#include "downloader/settings.h"
#include "platform/trust.h"
#include "platform/ui.h"

class cWinMain;
class cMgrDownloader;

class cAppState {
public:
    static constexpr size_t kTextSize = 128;
    static constexpr size_t kVersionSize = 64;
    static constexpr size_t kPathSize = 260;

    // A warning box owned by the main window when it exists, captioned with the title.
    virtual int ShowMessage(const char* text, unsigned style) = 0;
    // Stops, joins and destroys the running download manager, if any.
    virtual void StopDownload() = 0;
    virtual void CreateDownloadDirectory(const char* path) = 0;
    virtual void SaveVersion() = 0;
    // The file `name` in the work directory.
    virtual std::string WorkFilePath(const char* name) const = 0;
    // The native handle of the main window, or null while there is none.
    virtual platform::WindowHandle MainWindowHandle() const = 0;
    // Puts the limit (MiB a second, one of downloader::kSpeedLimits) in force for the running
    // download too, and keeps it for the next start.
    virtual void SetSpeedLimit(int mib) = 0;

    char messageBoxTitle[kTextSize];
    char exitQuestion[kTextSize];
    char networkErrorText[kTextSize];
    cWinMain* mainWindow = nullptr;
    char versionString[kVersionSize] = {};
    const char* serverUrl = nullptr;
    cMgrDownloader* downloadManager = nullptr;
    char workDirectory[kPathSize] = {};
    char moduleDirectory[kPathSize] = {};
    char16_t downloadDirectoryWide[kPathSize] = {};
    char downloadDirectory[kPathSize] = {};
    char launchFileName[kPathSize] = {};
    // The SHA-256 that the launch file's manifest entry lists (64 lowercase hexadecimal digits):
    // the file is started only while it still matches it. Empty: nothing may be started.
    char launchFileSha256[65] = {};
    const char* resourceDirectory = nullptr;
    // The work folder, held open while the application lives: on Windows nobody can rename or
    // remove it meanwhile. Its path keeps naming it on every system because nobody but the
    // user and the administrator can change it or a folder above it (checked at the start).
    platform::Held workFolderHeld;
    downloader::Settings settings;

protected:
    ~cAppState() = default;
};

// Null before the application object exists and after it is destroyed.
extern cAppState* theApp;
