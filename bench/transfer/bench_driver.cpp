// Headless run of the download engine for the transfer benchmark: fetches "file.json" (and its
// signature, checked against the built-in key) from a server as the information panel does,
// then downloads every file it lists into a folder with cMgrDownloader over libcurl, as Start
// does. No window: warnings are printed, this thread is the UI thread.
//   bench_driver SERVER_URL DOWNLOAD_FOLDER [WORK_FOLDER]
// BENCH_DRIVER_OUTAGE_MS, when set, is how long a server may stay unreachable before the engine
// ends (the program waits minutes; tests of that end need not).
// BENCH_DRIVER_LIMIT_MIB, when set, is the download speed limit in MiB a second, as the user
// chooses it in the window. BENCH_DRIVER_SECONDS, when set, ends the run after that many seconds
// and prints the bytes received and the seconds they took ("received BYTES in SECONDS s").
// WORK_FOLDER (default: a fresh one per run, removed after it) keeps the record of verified
// files between runs, as the program's work folder does. Exit code 0 when the run completed
// without a warning; after a fatal engine error, that error's code.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "download/cMgrDownloader.h"
#include "download/cResDownloader.h"
#include "download/engineHost.h"
#include "download/rateLimit.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace {

// The engine's host: the run's folders, warnings on the standard error, no window.
class DriverHost final : public cEngineHost {
public:
    DriverHost(std::string download, std::string work)
        : download(std::move(download)), work(std::move(work)) {
        SetEngineHost(this);
    }
    ~DriverHost() { SetEngineHost(nullptr); }

    int ShowMessage(const char* text, unsigned) override {
        ++warnings;
        std::fprintf(stderr, "bench_driver: warning: %s\n", text);
        return platform::kIdOk;
    }
    [[noreturn]] void EndOnFatalError(int exitCode) override {
        // The program ends at once here, without any teardown, and so does the driver: the
        // other transfers may still run and must not outlive what they use.
        std::fprintf(stderr, "bench_driver: the engine ended the process with %d\n", exitCode);
        std::fflush(stderr);
        platform::EndProcess(exitCode == 0 ? 1 : exitCode);
    }
    std::string WorkFilePath(const char* name) const override { return work + "/" + name; }
    const char* ResourceFolder() const override { return work.c_str(); }
    const char* DownloadFolder() const override { return download.c_str(); }
    void RecordLaunchFile(const char*, const char*) override {}
    platform::WindowHandle CompletionWindow() const override { return nullptr; }

    std::atomic<int> warnings{0};

private:
    const std::string download;
    const std::string work;
};

// Runs one download like the program; true when the manager reports the run finished.
bool Download(const std::string& serverUrl, const std::string& workFolder) {
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
    cMgrDownloader manager;
    if (const char* outage = std::getenv("BENCH_DRIVER_OUTAGE_MS")) {
        manager.transferLimits.outageMs = static_cast<uint32_t>(std::strtoul(outage, nullptr, 10));
    }
    if (const char* limit = std::getenv("BENCH_DRIVER_LIMIT_MIB")) {
        DownloadRateLimit().SetRate(std::strtoll(limit, nullptr, 10) << 20);
    }
    const char* seconds = std::getenv("BENCH_DRIVER_SECONDS");
    const uint32_t runMs =
        seconds != nullptr ? static_cast<uint32_t>(std::strtoul(seconds, nullptr, 10) * 1000) : 0;
    if (!manager.Start()) {
        manager.Stop();
        return false;
    }
    const uint32_t start = platform::TickCount();
    const auto timeUp = [&] { return runMs != 0 && platform::TickCount() - start >= runMs; };
    platform::WaitOnUiThread([&] { return manager.running == 0 || timeUp(); });
    if (manager.running != 0) {
        const uint32_t elapsed = platform::TickCount() - manager.startTick;
        std::printf("received %lld in %.3f s\n",
                    static_cast<long long>(manager.sessionReceived.load()), elapsed / 1000.0);
        manager.Stop();
        return true;
    }
    const bool finished = manager.finished == 1;
    manager.Stop();
    return finished;
}

// A fresh private folder for the run's records.
std::string FreshWorkFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "bench_driver-XXXXXX").string();
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_driver SERVER_URL DOWNLOAD_FOLDER [WORK_FOLDER]\n");
        return 2;
    }
    const std::string downloadFolder = std::filesystem::absolute(argv[2]).string();
    const std::string workFolder =
        argc == 4 ? std::filesystem::absolute(argv[3]).string() : FreshWorkFolder();
    std::error_code failure;
    if (!workFolder.empty()) {
        std::filesystem::create_directories(workFolder, failure);
    }
    if (workFolder.empty() || failure) {
        std::fprintf(stderr, "bench_driver: no work folder\n");
        return 1;
    }
    int code = 1;
    {
        DriverHost host(downloadFolder, workFolder);
        code = Download(argv[1], workFolder) && host.warnings == 0 ? 0 : 1;
    }
    if (argc == 3) {
        std::filesystem::remove_all(workFolder, failure);
    }
    return code;
}
