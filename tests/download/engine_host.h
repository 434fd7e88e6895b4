// The engine's host in its tests: the folders of a run, the launch record and, once a test
// gives it one, a window of the fake backend that is told of completion and owns the boxes.
#pragma once

#include <cstdio>
#include <string>

#include "download/cMgrDownloader.h"
#include "download/engineHost.h"
#include "platform/fake/fake.h"
#include "platform/system.h"

namespace engine_test {

class TestHost final : public cEngineHost {
public:
    static constexpr size_t kPathSize = 260;

    TestHost() { SetEngineHost(this); }
    ~TestHost() { SetEngineHost(nullptr); }

    int ShowMessage(const char* text, unsigned style) override {
        int answer = platform::kIdOk;
        platform::InvokeOnUiThread(
            [&] { answer = platform::ShowMessageBox(window, text, "", style); });
        return answer;
    }
    [[noreturn]] void EndOnFatalError(int exitCode) override { platform::EndProcess(exitCode); }
    std::string WorkFilePath(const char* name) const override {
        return std::string(workDirectory) + name;
    }
    const char* ResourceFolder() const override { return resourceDirectory; }
    const char* DownloadFolder() const override { return downloadDirectory; }
    void RecordLaunchFile(const char* path, const char* sha256) override {
        std::snprintf(launchFileName, sizeof launchFileName, "%s", path);
        std::snprintf(launchFileSha256, sizeof launchFileSha256, "%s", sha256);
    }
    platform::WindowHandle CompletionWindow() const override { return window; }
    platform::WindowHandle MainWindowHandle() const { return window; }

    // As the application stops its download: forgotten first, then stopped and destroyed.
    void StopDownload() {
        cMgrDownloader* manager = downloadManager;
        downloadManager = nullptr;
        if (manager != nullptr) {
            manager->Stop();
            delete manager;
        }
    }

    char workDirectory[kPathSize] = {};
    char downloadDirectory[kPathSize] = {};
    const char* resourceDirectory = nullptr;
    char launchFileName[kPathSize] = {};
    char launchFileSha256[65] = {};
    cMgrDownloader* downloadManager = nullptr;
    platform::WindowHandle window = nullptr;
};

}  // namespace engine_test
