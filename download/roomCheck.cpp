#include "download/roomCheck.h"

#include <algorithm>
#include <cstdio>

#include "download/localFile.h"
#include "download/manifest.h"
#include "download/verifiedRecord.h"

int64_t BytesStillNeeded(const Manifest& manifest, const std::string& folder,
                         VerifiedRecord& verified) {
    int64_t needed = 0;
    for (const ManifestEntry& entry : manifest.files) {
        if (!entry.sha256.empty() && verified.IsVerified(folder + entry.localPath, entry.sha256)) {
            continue;
        }
        const int64_t held = std::min(LocalFileSize(entry.localPath.c_str()), entry.size);
        needed += entry.size - held;
    }
    return needed;
}

std::string RoomShortage(int64_t needed, int64_t free) {
    if (free < 0 || needed <= free) {
        return {};
    }
    constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
    char text[224];
    std::snprintf(text, sizeof text,
                  "cMgrDownloader::DoDownloadFile :: not enough free space (-45)\n"
                  "The download needs %.3f GBytes more; the download folder has %.3f GBytes "
                  "free.",
                  static_cast<double>(needed) / kGiB, static_cast<double>(free) / kGiB);
    return text;
}
