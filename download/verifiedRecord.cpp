#include "download/verifiedRecord.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

bool VerifiedRecord::StampOf(const std::string& file, const std::string& sha256, Stamp& stamp) {
    std::error_code error;
    const std::filesystem::path path(file);
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        return false;
    }
    const auto modified = std::filesystem::last_write_time(path, error);
    if (error) {
        return false;
    }
    stamp.sha256 = sha256;
    stamp.size = static_cast<int64_t>(size);
    stamp.modified = static_cast<int64_t>(modified.time_since_epoch().count());
    return true;
}

void VerifiedRecord::Load(const std::string& path,
                          const std::set<std::pair<std::string, std::string>>& listed) {
    std::lock_guard<std::mutex> lock(guard);
    recordPath = path;
    files.clear();
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Stamp stamp;
        std::string file;
        if (!(fields >> stamp.sha256 >> stamp.size >> stamp.modified) || fields.get() != ' ' ||
            !std::getline(fields, file) || !listed.contains({file, stamp.sha256})) {
            continue;
        }
        files[file] = stamp;
    }
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
    Save();
}

void VerifiedRecord::Save() {
    if (recordPath.empty()) {
        return;
    }
    std::string text;
    for (const auto& [file, stamp] : files) {
        char numbers[64];
        std::snprintf(numbers, sizeof numbers, " %" PRId64 " %" PRId64 " ", stamp.size,
                      stamp.modified);
        text += stamp.sha256 + numbers + file + "\n";
    }
    // Not saved is only a later check that reads the file again: failures are left at that.
    const std::string temporary = recordPath + ".new";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        return;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) {
        std::remove(temporary.c_str());
        return;
    }
    std::error_code ignored;
    std::filesystem::rename(temporary, recordPath, ignored);
}
