// The manifest "file.json", fetched from scratch on the caller's thread into the current folder.
#pragma once

#include <cstdint>

#include "download/cHttp.h"

class cResDownloader : public cHttp {
public:
    // A manifest server that sends nothing for this long, on one connection or across
    // several, is given up.
    static constexpr uint32_t kStallMs = 15 * 1000;

    cResDownloader();

    // Fetches `manifestUrl` into "file.json"; answers the bytes written (0 when nothing could
    // be fetched, or when the answer broke off with failing reads).
    int64_t FetchManifest(const char* manifestUrl);

protected:
    void OnReceived(int32_t count) override;
};
