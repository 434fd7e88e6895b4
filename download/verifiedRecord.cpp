#include "download/verifiedRecord.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>

#include "platform/files.h"
#include "platform/system.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Calls `take` with each line of the file (without its end), read a block at a time: a
// record of a million files is not held twice over.
void ForEachLine(const std::string& path, const std::function<void(const std::string&)>& take) {
    const std::unique_ptr<std::FILE, FileCloser> file(platform::OpenFile(path.c_str(), "rb"));
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

bool VerifiedRecord::StampOf(const std::string& file, const std::string& sha256, Stamp& stamp) {
    const std::optional<platform::FileFacts> facts = platform::InspectFile(file.c_str());
    if (!facts) {
        return false;
    }
    stamp.sha256 = sha256;
    stamp.size = facts->size;
    stamp.modified = facts->modified;
    return true;
}

uint64_t VerifiedRecord::KeyOf(const std::string& file, const std::string& sha256) {
    // A line of an older manifest that happens to share a key only stays in the record.
    return std::hash<std::string>{}(sha256 + ' ' + file);
}

void VerifiedRecord::Load(const std::string& path, std::vector<uint64_t> listed) {
    std::sort(listed.begin(), listed.end());
    std::lock_guard<std::mutex> lock(guard);
    recordPath = path;
    files.clear();
    unsaved = false;
    savedAt = platform::TickCount();
    ForEachLine(path, [&](const std::string& line) {
        std::istringstream fields(line);
        Stamp stamp;
        std::string file;
        if ((fields >> stamp.sha256 >> stamp.size >> stamp.modified) && fields.get() == ' ' &&
            std::getline(fields, file) &&
            std::binary_search(listed.begin(), listed.end(), KeyOf(file, stamp.sha256))) {
            files[file] = stamp;
        }
    });
}

bool VerifiedRecord::IsVerified(const std::string& file, const std::string& sha256) {
    Stamp now;
    if (!StampOf(file, sha256, now)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(guard);
    const auto found = files.find(file);
    return found != files.end() && found->second == now;
}

void VerifiedRecord::Remember(const std::string& file, const std::string& sha256) {
    Stamp now;
    if (!StampOf(file, sha256, now)) {
        return;
    }
    std::lock_guard<std::mutex> lock(guard);
    files[file] = now;
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
}

void VerifiedRecord::SaveLocked() {
    unsaved = false;
    savedAt = platform::TickCount();
    if (recordPath.empty()) {
        return;
    }
    // Written line by line: the text of a large record is not built in memory first. Not
    // saved is only a later check that reads the file again: failures are left at that.
    const std::string temporary = recordPath + ".new";
    std::FILE* out = platform::OpenFile(temporary.c_str(), "wb");
    if (out == nullptr) {
        return;
    }
    bool written = true;
    for (const auto& [file, stamp] : files) {
        written =
            written && std::fprintf(out, "%s %" PRId64 " %" PRId64 " %s\n", stamp.sha256.c_str(),
                                    stamp.size, stamp.modified, file.c_str()) >= 0;
    }
    if (std::fclose(out) != 0 || !written ||
        !platform::MoveFileOver(temporary.c_str(), recordPath.c_str())) {
        platform::RemoveFile(temporary.c_str());
    }
}
