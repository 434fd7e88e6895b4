// Headless run of the download engine for the transfer benchmark: fetches "file.json" (and its
// signature, checked against the built-in key) from a server as the information panel does,
// then downloads every file it lists into a folder with cMgrDownloader over libcurl, as Start
// does. The in-memory platform stands in for the window: warning boxes are answered at once and
// printed, this thread is the UI thread.
//   bench_driver SERVER_URL DOWNLOAD_FOLDER [WORK_FOLDER]
// WORK_FOLDER (default: a fresh one per run) keeps the record of verified files between runs,
// as the program's work folder does. Exit code 0 when the run completed without a warning.
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/cApp.h"
#include "download/cMgrDownloader.h"
#include "download/cResDownloader.h"
#include "platform/fake/fake.h"
#include "platform/system.h"

namespace {

// Runs one download like the program; true when the manager reports the run finished.
bool Download(const std::string& serverUrl, const std::string& downloadFolder,
              const std::string& workFolder) {
    cApp app;
    std::snprintf(app.downloadDirectory, sizeof app.downloadDirectory, "%s",
                  downloadFolder.c_str());
    std::snprintf(app.workDirectory, sizeof app.workDirectory, "%s/", workFolder.c_str());
    app.resourceDirectory = workFolder.c_str();
    app.serverUrl = serverUrl.c_str();
    if (!platform::SetCurrentFolder(workFolder.c_str())) {
        return false;
    }
    cResDownloader manifest;
    if (manifest.FetchManifest((serverUrl + "file.json").c_str()) <= 0) {
        if (!manifest.problem.empty()) {
            std::fprintf(stderr, "bench_driver: file.json refused: %s\n", manifest.problem.c_str());
        }
        return false;
    }
    app.downloadManager = new cMgrDownloader;
    if (!app.downloadManager->Start()) {
        app.StopDownload();
        return false;
    }
    cMgrDownloader& manager = *app.downloadManager;
    // The program's UI thread sleeps in its loop between the panel's ticks; looking every
    // 1 ms (as the in-memory backend's waits do for tests) would be counted as the engine's CPU.
    while (manager.running != 0) {
        platform::fake::PumpUiThread();
        platform::SleepMs(cMgrDownloader::kPollMs);
    }
    platform::fake::PumpUiThread();
    const bool finished = manager.finished == 1;
    app.StopDownload();
    return finished;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_driver SERVER_URL DOWNLOAD_FOLDER [WORK_FOLDER]\n");
        return 2;
    }
    const std::string downloadFolder = std::filesystem::absolute(argv[2]).string();
    const std::string kept = argc == 4 ? std::filesystem::absolute(argv[3]).string() : "";
    platform::fake::Reset();
    const std::string workFolder = argc == 4 ? kept : platform::fake::Root() + "work";
    std::filesystem::create_directories(workFolder);
    int code = 1;
    try {
        code = Download(argv[1], downloadFolder, workFolder) ? 0 : 1;
    } catch (const platform::fake::ProcessExit& exit) {
        std::fprintf(stderr, "bench_driver: the engine ended the process with %d\n", exit.code);
        code = exit.code == 0 ? 1 : exit.code;
    }
    for (const platform::fake::MessageBoxCall& box : platform::fake::MessageBoxes()) {
        std::fprintf(stderr, "bench_driver: warning: %s\n", box.text.c_str());
        code = code == 0 ? 1 : code;
    }
    platform::fake::Shutdown();
    return code;
}
