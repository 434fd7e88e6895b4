#include "download/cResDownloader.h"

#include <cstdio>

cResDownloader::cResDownloader() : cHttp("cResDownloader") {
    // The fetch holds up the window: each new attempt at a stalled server would freeze it for
    // the whole stall limit again, and a server that cannot be reached is not waited for.
    giveUpOnReadError = true;
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
