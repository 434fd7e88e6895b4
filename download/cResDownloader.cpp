#include "download/cResDownloader.h"

#include <cstdio>

cResDownloader::cResDownloader() : cHttp("cResDownloader") {
    // The fetch holds up the window: a stalled server freezes it for the whole stall limit,
    // kept short, and each new attempt would freeze it again; a server that cannot be reached
    // is not waited for.
    giveUpOnReadError = true;
    limits.network.stallMs = kStallMs;
    limits.progressBytes = 1;
    limits.progressMs = kStallMs;
    limits.outageMs = 0;
    limits.firstWaitMs = 100;
    limits.longestWaitMs = 1000;
}

int64_t cResDownloader::FetchManifest(const char* manifestUrl) {
    resume = 0;
    std::snprintf(url, sizeof url, "%s", manifestUrl);
    std::snprintf(localPath, sizeof localPath, "%s", "file.json");
    startOffset = 0;
    position = 0;
    running = 1;
    stopped = 0;
    failed = false;
    OnExecute();
    running = 0;
    return failed ? 0 : position;
}

void cResDownloader::OnReceived(int32_t) {}
