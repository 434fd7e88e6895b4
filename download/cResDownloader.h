// The manifest "file.json", fetched from scratch into the current folder, with its signature
// "file.json.sig" when the program carries the publisher's key: both under temporary names, and
// moved into place only once complete, within their limits and checked (download/manifestCheck.h).
// Runs on the caller's thread (FetchManifest) or on its own (Prepare, then Start).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "download/cHttp.h"

class cResDownloader : public cHttp {
public:
    // A manifest server that sends nothing for this long, on one connection or across
    // several, is given up.
    static constexpr uint32_t kStallMs = 15 * 1000;

    cResDownloader();

    // Sets up the fetch of the manifest at `manifestUrl`, its signature at the same address
    // followed by ".sig".
    void Prepare(const char* manifestUrl);
    // Prepares and fetches on this thread; answers `fetched`.
    int64_t FetchManifest(const char* manifestUrl);

    // Once the fetch has ended: the bytes of the manifest moved into place, 0 when there is
    // none (nothing could be fetched, or it was refused)...
    std::atomic<int64_t> fetched{0};
    // ...and why it was refused; empty when it was taken or never arrived.
    std::string problem;
    // The checked manifest's "TotalSize".
    int64_t totalSize = 0;

protected:
    void OnExecute() override;
    void OnReceived(int32_t count) override;

private:
    // One transfer of `address` into `path`, refused beyond `limit` bytes; false when nothing
    // complete arrived.
    bool Fetch(const std::string& address, const char* path, int64_t limit);

    std::string manifestAddress;
};
