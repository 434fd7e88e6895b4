// The one application object: start-up state, directories, message texts, the main window
// and the running download. Every part of the program reaches it through `theApp`.
#pragma once

#include <cstddef>
#include <string>

#include "app/settings.h"
#include "json/cJson.h"
#include "platform/trust.h"
#include "platform/ui.h"

class cWinMain;
class cMgrDownloader;

class cApp {
public:
    static constexpr size_t kTextSize = 128;
    static constexpr size_t kVersionSize = 64;
    static constexpr size_t kPathSize = 260;

    cApp();
    ~cApp();

    // Loads the UX document, reads the settings, runs the main window's message loop.
    // Returns the process exit code.
    int OnExecute();
    // A warning box owned by the main window when it exists, captioned with the title.
    int ShowMessage(const char* text, unsigned style);
    // Stops, joins and destroys the running download manager, if any.
    void StopDownload();

    void LoadServerURL(cJson& document);
    void CheckVersion(cJson& document);
    void CreateDownloadDirectory(const char* path);
    void SaveVersion();
    // Reads "settings.txt" of the work folder and puts the speed limit in force.
    void LoadSettings();
    // Puts the limit (MiB a second, one of app::kSpeedLimits) in force for the running download
    // too, and keeps it for the next start.
    void SetSpeedLimit(int mib);

    // The file `name` in the work directory.
    std::string WorkFilePath(const char* name) const;

    // The native handle of the main window, or null while there is none.
    platform::WindowHandle MainWindowHandle() const;

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
    app::Settings settings;
};

// Null before the application object exists and after it is destroyed.
extern cApp* theApp;
