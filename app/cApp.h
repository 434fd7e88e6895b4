// The one application object: it starts the program, holds the state the windows see
// (cAppState, reached through `theApp`) and is the engine's host.
#pragma once

#include <string>

#include "download/engineHost.h"
#include "downloader/appState.h"
#include "json/cJson.h"
#include "platform/ui.h"

class cApp final : public cAppState, public cEngineHost {
public:
    cApp();
    ~cApp();

    // Loads the UX document, reads the settings, runs the main window's message loop.
    // Returns the process exit code.
    int OnExecute();
    int ShowMessage(const char* text, unsigned style) override;
    void StopDownload() override;

    void LoadServerURL(cJson& document);
    void CheckVersion(cJson& document);
    void CreateDownloadDirectory(const char* path) override;
    void SaveVersion() override;
    // Reads "settings.txt" of the work folder and puts the speed limit in force.
    void LoadSettings();
    void SetSpeedLimit(int mib) override;

    std::string WorkFilePath(const char* name) const override;
    platform::WindowHandle MainWindowHandle() const override;

    // What the engine asks of its host.
    [[noreturn]] void EndOnFatalError(int exitCode) override;
    const char* ResourceFolder() const override;
    const char* DownloadFolder() const override;
    void RecordLaunchFile(const char* path, const char* sha256) override;
    platform::WindowHandle CompletionWindow() const override;
};
