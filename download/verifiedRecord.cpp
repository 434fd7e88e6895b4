#include "download/verifiedRecord.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>

#include "core/wholeFile.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

// Calls `take` with each line of the file (without its end), read a block at a time: a
// record of a million files is not held twice over.
void ForEachLine(const std::string& path, const std::function<void(const std::string&)>& take) {
    const FileHandle file(platform::OpenFile(path.c_str(), "rb"));
    if (!file) {
        return;
    }
    std::string line;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        for (size_t at = 0; at < got; ++at) {
            if (buffer[at] == '\n') {
                take(line);
                line.clear();
            } else {
                line += buffer[at];
            }
        }
    }
    if (!line.empty()) {
        take(line);
    }
}

}  // namespace

bool VerifiedRecord::StampOf(const std::string& file, Stamp& stamp) {
    const std::optional<platform::FileFacts> facts = platform::InspectFile(file.c_str());
    if (!facts) {
        return false;
    }
    stamp.size = facts->size;
    stamp.modified = facts->modified;
    return true;
}

uint64_t VerifiedRecord::HashOf(const std::string& file, const std::string& sha256) {
    return std::hash<std::string>{}(sha256 + ' ' + file);
}

size_t VerifiedRecord::Find(const std::string& file, const std::string& sha256) const {
    const uint64_t hash = HashOf(file, sha256);
    // Equal hashes of different files: the listing decides.
    for (auto key = std::lower_bound(keys.begin(), keys.end(), Key{hash, 0});
         key != keys.end() && key->hash == hash; ++key) {
        const Listed listed = listing(key->index);
        if (listed.file == file && listed.sha256 == sha256) {
            return static_cast<size_t>(key - keys.begin());
        }
    }
    return kNotListed;
}

void VerifiedRecord::Load(const std::string& path, size_t count, Listing files) {
    std::lock_guard<std::mutex> lock(guard);
    recordPath = path;
    // Loaded before the run's first check, so no rewrite of the record is under way.
    platform::RemoveLeftoverCopies(recordPath.c_str());
    listing = std::move(files);
    keys.clear();
    for (size_t i = 0; i < count; ++i) {
        const Listed listed = listing(i);
        if (!listed.sha256.empty()) {
            keys.push_back({HashOf(listed.file, listed.sha256), static_cast<uint32_t>(i)});
        }
    }
    keys.shrink_to_fit();
    std::sort(keys.begin(), keys.end());
    stamps.assign(keys.size(), Stamp{});
    unsaved = false;
    savedAt = platform::TickCount();
    ForEachLine(path, [&](const std::string& line) {
        std::istringstream fields(line);
        std::string sha256;
        Stamp stamp;
        std::string file;
        if ((fields >> sha256 >> stamp.size >> stamp.modified) && stamp.size >= 0 &&
            fields.get() == ' ' && std::getline(fields, file)) {
            if (const size_t at = Find(file, sha256); at != kNotListed) {
                stamps[at] = stamp;
            }
        }
    });
}

bool VerifiedRecord::IsVerified(const std::string& file, const std::string& sha256) {
    Stamp now;
    if (!StampOf(file, now)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(guard);
    const size_t at = Find(file, sha256);
    return at != kNotListed && stamps[at] == now;
}

void VerifiedRecord::Remember(const std::string& file, const std::string& sha256) {
    Stamp now;
    if (!StampOf(file, now)) {
        return;
    }
    std::lock_guard<std::mutex> lock(guard);
    const size_t at = Find(file, sha256);
    if (at == kNotListed) {
        return;
    }
    stamps[at] = now;
    unsaved = true;
    if (platform::TickCount() - savedAt >= kSaveIntervalMs) {
        SaveLocked();
    }
}

void VerifiedRecord::Save() {
    std::lock_guard<std::mutex> lock(guard);
    if (unsaved) {
        SaveLocked();
    }
    listing = nullptr;
    std::vector<Key>().swap(keys);
    std::vector<Stamp>().swap(stamps);
}

void VerifiedRecord::SaveLocked() {
    unsaved = false;
    savedAt = platform::TickCount();
    if (recordPath.empty()) {
        return;
    }
    // Written line by line: the text of a large record is not built in memory first. Not
    // saved is only a later check that reads the file again: failures are left at that.
    platform::ReplaceFileAtomically(recordPath.c_str(), [this](std::FILE* out) {
        bool written = true;
        for (size_t at = 0; at < keys.size() && written; ++at) {
            if (stamps[at].size >= 0) {
                const Listed listed = listing(keys[at].index);
                written =
                    std::fprintf(out, "%s %" PRId64 " %" PRId64 " %s\n", listed.sha256.c_str(),
                                 stamps[at].size, stamps[at].modified, listed.file.c_str()) >= 0;
            }
        }
        return written;
    });
}
