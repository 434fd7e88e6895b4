// A transfer that records its hooks, for tests of cHttp's steps.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "download/cHttp.h"

namespace engine_test {

class RecordingTransfer : public cHttp {
public:
    RecordingTransfer(const std::string& fileUrl, const std::string& path, bool resumeFile)
        : cHttp("cFileDownloader") {
        std::snprintf(url, sizeof url, "%s", fileUrl.c_str());
        std::snprintf(localPath, sizeof localPath, "%s", path.c_str());
        resume = resumeFile ? 1 : 0;
        // Attempts that get nowhere are repeated at once, as far as the tests can tell.
        limits.firstWaitMs = 1;
        limits.longestWaitMs = 4;
    }
    ~RecordingTransfer() override { StopTransfer(); }

    // Runs the transfer on the calling thread, as the manifest fetch does.
    void RunHere() {
        running = 1;
        OnExecute();
        running = 0;
    }

    std::vector<std::string> Hooks() {
        std::lock_guard<std::mutex> lock(guard);
        return hooks;
    }
    int64_t ReceivedTotal() {
        std::lock_guard<std::mutex> lock(guard);
        return receivedTotal;
    }

    // Called from OnReceived after the first chunk, standing in for a stop between reads.
    bool stopAfterFirstChunk = false;

protected:
    void OnStart(int64_t offset) override { Record("start " + std::to_string(offset)); }
    void OnReceived(int32_t count) override {
        {
            std::lock_guard<std::mutex> lock(guard);
            receivedTotal += count;
        }
        if (stopAfterFirstChunk) {
            running = 0;
        }
    }
    void OnFinish(int64_t offset, int64_t reached) override {
        Record("finish " + std::to_string(offset) + " " + std::to_string(reached));
    }
    void OnRewind(int64_t offset) override { Record("rewind " + std::to_string(offset)); }
    void OnServerWait(bool waiting) override { Record(waiting ? "wait" : "answered"); }

private:
    void Record(const std::string& hook) {
        std::lock_guard<std::mutex> lock(guard);
        hooks.push_back(hook);
    }

    std::mutex guard;
    std::vector<std::string> hooks;
    int64_t receivedTotal = 0;
};

}  // namespace engine_test
