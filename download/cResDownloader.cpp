#include "download/cResDownloader.h"

#include <cstdio>

#include "download/manifestCheck.h"
#include "platform/files.h"

namespace {

constexpr const char* kManifestPart = "file.json.part";
constexpr const char* kSignaturePart = "file.json.sig.part";

}  // namespace

cResDownloader::cResDownloader() : cHttp("cResDownloader") {
    // A stalled server would hold the manifest, and with it the window's first figures, for each
    // new attempt: its stall limit is kept short, and a server that cannot be reached is not
    // waited for.
    giveUpOnReadError = true;
    limits.network.stallMs = kStallMs;
    limits.progressBytes = 1;
    limits.progressMs = kStallMs;
    limits.outageMs = 0;
    limits.firstWaitMs = 100;
    limits.longestWaitMs = 1000;
}

void cResDownloader::Prepare(const char* manifestUrl) {
    manifestAddress = manifestUrl;
    fetched = 0;
    problem.clear();
}

int64_t cResDownloader::FetchManifest(const char* manifestUrl) {
    Prepare(manifestUrl);
    running = 1;
    stopped = 0;
    OnExecute();
    running = 0;
    return fetched;
}

bool cResDownloader::Fetch(const std::string& address, const char* path, int64_t limit) {
    resume = 0;
    std::snprintf(url, sizeof url, "%s", address.c_str());
    std::snprintf(localPath, sizeof localPath, "%s", path);
    largestSize = limit;
    startOffset = 0;
    position = 0;
    failed = false;
    platform::RemoveFile(path);
    cHttp::OnExecute();
    return running && !failed && position > 0;
}

void cResDownloader::OnExecute() {
    const std::string_view key = ManifestKey();
    if (!Fetch(manifestAddress, kManifestPart, kManifestSizeLimit)) {
        platform::RemoveFile(kManifestPart);
        return;
    }
    const int64_t size = position;
    if (!key.empty()) {
        // A missing or broken signature is the check's to name.
        Fetch(manifestAddress + ".sig", kSignaturePart, kSignatureSizeLimit);
    }
    if (!running) {
        return;
    }
    Manifest manifest;
    if (!LoadCheckedManifest(kManifestPart, kSignaturePart, manifest, problem, key)) {
        platform::RemoveFile(kManifestPart);
        platform::RemoveFile(kSignaturePart);
        return;
    }
    totalSize = manifest.totalSize;
    // The signature first: between the two moves an old manifest meets the new signature, which
    // refuses it, never the other way round.
    if ((!key.empty() && !platform::MoveFileOver(kSignaturePart, kSignatureName)) ||
        !platform::MoveFileOver(kManifestPart, kManifestName)) {
        problem = "cannot be stored in the work folder";
        return;
    }
    fetched = size;
}

void cResDownloader::OnReceived(int32_t) {}
