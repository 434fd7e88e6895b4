// Headless run of the download engine for the transfer benchmark: fetches "file.json" (and its
// signature, checked against the built-in key) from a server as the information panel does,
// then downloads every file it lists into a folder with cMgrDownloader over libcurl, as Start
// does. The in-memory platform stands in for the window: warning boxes are answered at once and
// printed, this thread is the UI thread.
//   bench_driver SERVER_URL DOWNLOAD_FOLDER [WORK_FOLDER]
// BENCH_DRIVER_OUTAGE_MS, when set, is how long a server may stay unreachable before the engine
// ends (the program waits minutes; tests of that end need not).
// BENCH_DRIVER_LIMIT_MIB, when set, is the download speed limit in MiB a second, as the user
// chooses it in the window. BENCH_DRIVER_SECONDS, when set, ends the run after that many seconds
// and prints the bytes received and the seconds they took ("received BYTES in SECONDS s").
// WORK_FOLDER (default: a fresh one per run) keeps the record of verified files between runs,
// as the program's work folder does. Exit code 0 when the run completed without a warning.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cApp.h"
#include "download/cMgrDownloader.h"
#include "download/cResDownloader.h"
#include "download/rateLimit.h"
#include "platform/fake/fake.h"
#include "platform/system.h"

namespace {

constexpr uint32_t kUiTickMs = 33;

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
    if (const char* outage = std::getenv("BENCH_DRIVER_OUTAGE_MS")) {
        app.downloadManager->transferLimits.outageMs =
            static_cast<uint32_t>(std::strtoul(outage, nullptr, 10));
    }
    if (const char* limit = std::getenv("BENCH_DRIVER_LIMIT_MIB")) {
        DownloadRateLimit().SetRate(std::strtoll(limit, nullptr, 10) << 20);
    }
    const char* seconds = std::getenv("BENCH_DRIVER_SECONDS");
    const uint32_t runMs =
        seconds != nullptr ? static_cast<uint32_t>(std::strtoul(seconds, nullptr, 10) * 1000) : 0;
    if (!app.downloadManager->Start()) {
        app.StopDownload();
        return false;
    }
    cMgrDownloader& manager = *app.downloadManager;
    const uint32_t start = platform::TickCount();
    // The program's UI thread sleeps in its loop between the panel's ticks; looking every
    // 1 ms (as the in-memory backend's waits do for tests) would be counted as the engine's CPU.
    while (manager.running != 0) {
        platform::fake::PumpUiThread();
        platform::SleepMs(kUiTickMs);
        if (runMs != 0 && platform::TickCount() - start >= runMs) {
            const uint32_t elapsed = platform::TickCount() - manager.startTick;
            std::printf("received %lld in %.3f s\n",
                        static_cast<long long>(manager.sessionReceived.load()), elapsed / 1000.0);
            app.StopDownload();
            return true;
        }
    }
    platform::fake::PumpUiThread();
    const bool finished = manager.finished == 1;
    app.StopDownload();
    return finished;
}

// True when there was a warning.
bool PrintWarnings() {
    const std::vector<platform::fake::MessageBoxCall> boxes = platform::fake::MessageBoxes();
    for (const platform::fake::MessageBoxCall& box : boxes) {
        std::fprintf(stderr, "bench_driver: warning: %s\n", box.text.c_str());
    }
    return !boxes.empty();
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
        // The program ends at once here, without any teardown, and so does the driver: the
        // other transfers may still run, or wait for a UI thread that serves nobody any more,
        // and must not outlive the backend's state they use.
        std::fprintf(stderr, "bench_driver: the engine ended the process with %d\n", exit.code);
        PrintWarnings();
        std::fflush(stderr);
        std::_Exit(exit.code == 0 ? 1 : exit.code);
    }
    if (PrintWarnings() && code == 0) {
        code = 1;
    }
    platform::fake::Shutdown();
    return code;
}
