// The files whose content matched their manifest's SHA-256, so that a later Start (after a
// Pause, or in the next run) does not read gigabytes again that were checked already. A file is
// recognised by its path, the hash it was checked against, and its size and modification time
// taken right after the check: any write to the file since changes the time, so a file damaged
// or replaced since is checked again.
//
// Kept as "verified.txt" in the work folder (which only the user may write), one line per
// file: "<sha256> <size> <modification time> <path>". Rewritten whole through a temporary
// file that is then renamed over it, so a crash leaves the old record or the new one, never a
// cut one. Downloader threads share one record.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

inline constexpr const char* kVerifiedRecordName = "verified.txt";

class VerifiedRecord {
public:
    // What Load is given of each listed file: a hash of its path and the hash it must match
    // (eight bytes a file, where a million listed files would not fit a set of strings).
    static uint64_t KeyOf(const std::string& file, const std::string& sha256);
    // Reads the record at `path` (missing or unreadable: empty), keeping only the lines of
    // `listed` files (KeyOf each) so that files of older manifests fall out of it.
    void Load(const std::string& path, std::vector<uint64_t> listed);
    // Whether `file` was checked against `sha256` and has not changed since.
    bool IsVerified(const std::string& file, const std::string& sha256);
    // `file` has just matched `sha256`: records it as it is now, and saves the record when the
    // last save is a while ago (rewriting it for each of many small files would cost more than
    // fetching them).
    void Remember(const std::string& file, const std::string& sha256);
    // Saves what is not saved yet; at the end of a run.
    void Save();

private:
    static constexpr uint32_t kSaveIntervalMs = 2000;

    struct Stamp {
        std::string sha256;
        int64_t size = -1;
        int64_t modified = 0;
        bool operator==(const Stamp&) const = default;
    };
    // The file as it is now; false when it is not a readable regular file.
    static bool StampOf(const std::string& file, const std::string& sha256, Stamp& stamp);
    // Under `guard`.
    void SaveLocked();

    std::mutex guard;
    std::string recordPath;
    bool unsaved = false;
    uint32_t savedAt = 0;
    std::map<std::string, Stamp> files;
};
