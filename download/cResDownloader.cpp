#include "download/cResDownloader.h"

#include <cstdio>

cResDownloader::cResDownloader() : cHttp("cResDownloader") {}

int64_t cResDownloader::FetchManifest(const char* manifestUrl) {
    resume = 0;
    std::snprintf(url, sizeof url, "%s", manifestUrl);
    std::snprintf(localPath, sizeof localPath, "%s", "file.json");
    startOffset = 0;
    position = 0;
    running = 1;
    stopped = 0;
    OnExecute();
    running = 0;
    return position;
}

void cResDownloader::OnReceived(int32_t) {}
