// What every engine test needs: a fresh fake platform (the test thread is the UI thread), an
// application object with its work and download folders, and helpers to write manifests, read
// files and wait while serving the UI thread.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "download/cMgrDownloader.h"
#include "download/manifestCheck.h"
#include "download/transferLog.h"
#include "engine_host.h"
#include "platform/fake/fake.h"
#include "platform/ui.h"
#include "test_signing.h"

namespace engine_test {

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Where the UTF-8 name `utf8` under a folder of ASCII lies on the disk, through the system's own
// names (wide on Windows, where a narrow name would be read in the ANSI code page).
inline std::filesystem::path DiskPath(const std::string& asciiFolder, const std::string& utf8) {
    return std::filesystem::path(asciiFolder) /
           std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Deterministic bytes that differ at every offset and between files.
inline std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 23);
    }
    return bytes;
}

// Compares file contents without printing megabytes: sizes and the first differing offset.
inline ::testing::AssertionResult SameBytes(const std::string& actual,
                                            const std::string& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
        ++at;
    }
    return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                         << ", first difference at offset " << at;
}

// A transfer log line: the 20-character build stamp ("Mmm dd yyyy hh:mm:ss", the day padded
// with a blank), a blank, then `text`, ending in CR LF.
inline bool IsLogLine(const std::string& line, const std::string& text) {
    static constexpr const char* kShape = "Aaa dD DDDD DD:DD:DD ";
    if (line.size() != 21 + text.size() + 1 || line.compare(21, text.size(), text) != 0 ||
        line.back() != '\r') {
        return false;
    }
    for (size_t i = 0; i < 21; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        const char want = kShape[i];
        const bool fits = want == 'A'   ? std::isupper(c) != 0
                          : want == 'a' ? std::islower(c) != 0
                          : want == 'D' ? std::isdigit(c) != 0
                          : want == 'd' ? (c == ' ' || std::isdigit(c) != 0)
                                        : c == static_cast<unsigned char>(want);
        if (!fits) {
            return false;
        }
    }
    return true;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::fake::Reset();
        cHttp::ForgetMaxConnections();
        app = std::make_unique<TestHost>();
        work = platform::fake::Root() + "work/";
        // In the system's separator, as the folder picker gives it: the core's own paths of
        // the files (the verified-file record's keys) then start with it.
        download = platform::fake::Root() + platform::fake::Native("download/");
        std::filesystem::create_directories(work);
        std::filesystem::create_directories(download);
        std::snprintf(app->workDirectory, sizeof app->workDirectory, "%s", work.c_str());
        std::snprintf(app->downloadDirectory, sizeof app->downloadDirectory, "%s",
                      download.c_str());
        app->resourceDirectory = app->workDirectory;
        // The engine of a build without a key: manifests written by hand, without hashes.
        UseManifestKey({});
    }

    void TearDown() override {
        UseManifestKey(BuiltInManifestKey());
        StopAll();
        app.reset();
    }

    // Stops the application's download, surviving a recorded process exit.
    void StopAll() {
        cMgrDownloader* manager = app->downloadManager;
        try {
            app->StopDownload();
        } catch (const platform::fake::ProcessExit&) {
            // A thread ended the "process" while the stop waited; a fresh fake lets the
            // remaining threads be joined.
            platform::fake::Reset();
            manager->Stop();
            delete manager;
        }
    }

    // The manifest where the manager reads it, signed when the engine checks signatures.
    void WriteManifest(const std::string& text) {
        WriteFile(work + "file.json", text);
        if (!ManifestKey().empty()) {
            test_signing::SignFile(work + "file.json");
        }
    }

    // A manifest listing `names` with their sizes under `url`.
    static std::string ManifestText(const std::string& url,
                                    const std::vector<std::pair<std::string, size_t>>& files,
                                    int64_t totalSizeOverride = -1) {
        size_t total = 0;
        std::string list;
        for (size_t i = 0; i < files.size(); ++i) {
            total += files[i].second;
            list += "{\"Name\": \"" + files[i].first +
                    "\", \"Size\": " + std::to_string(files[i].second) + "}" +
                    (i + 1 < files.size() ? ",\n" : "\n");
        }
        return "{\n\"Version\": \"1\",\n\"TotalCount\": " + std::to_string(files.size()) +
               ",\n\"TotalSize\": " +
               std::to_string(totalSizeOverride >= 0 ? totalSizeOverride
                                                     : static_cast<int64_t>(total)) +
               ",\n\"URL\": \"" + url + "\",\n\"FileList\": [\n" + list + "]\n}\n";
    }

    // Creates, records and starts a manager, as the Start command does, with `limits` for its
    // transfers.
    cMgrDownloader* StartManager(const cHttp::Limits& limits = cHttp::Limits{}) {
        app->StopDownload();
        app->downloadManager = new cMgrDownloader();
        app->downloadManager->transferLimits = limits;
        app->downloadManager->Start();
        return app->downloadManager;
    }

    // Serves the UI thread until `done` or the time-out; false on time-out.
    static bool WaitFor(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        bool met = false;
        platform::WaitOnUiThread([&] {
            met = done();
            return met || std::chrono::steady_clock::now() > end;
        });
        return met;
    }

    // Waits for the manager's run to end (completed, refused or stopped).
    static bool WaitForRunEnd(cMgrDownloader* manager) {
        return WaitFor([manager] { return manager->running == 0; });
    }

    // Gives the host a window told of completion (the fake backend records what reaches it).
    platform::WindowHandle GiveAppAWindow() {
        app->window = platform::fake::NewWindow();
        return app->window;
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : platform::fake::MessageBoxes()) {
            texts.push_back(box.text);
        }
        return texts;
    }

    // The one warning of a run that ended with `failed` of `total` files missing, naming the
    // first of them in list order.
    static std::string IncompleteWarning(int failed, int total,
                                         const std::vector<std::string>& named) {
        std::string text = "cMgrDownloader::OnExecute :: download incomplete (-39)\n" +
                           std::to_string(failed) + " of " + std::to_string(total) +
                           " files failed:";
        for (size_t i = 0; i < named.size(); ++i) {
            text += (i == 0 ? " \"" : ", \"") + named[i] + "\"";
        }
        return static_cast<size_t>(failed) > named.size() ? text + ", ..." : text;
    }

    std::vector<std::string> LogLines() const { return Lines(ReadFile(work + kTransferLogName)); }

    std::unique_ptr<TestHost> app;
    std::string work;
    std::string download;
};

}  // namespace engine_test
