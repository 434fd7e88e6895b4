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
#include <functional>
#include <mutex>
#include <string>
#include <vector>

inline constexpr const char* kVerifiedRecordName = "verified.txt";

class VerifiedRecord {
public:
    // A listed file: its path as the downloaders name it, and the hash it must match (empty:
    // none, and the file is not recorded).
    struct Listed {
        std::string file;
        std::string sha256;
    };
    // The listed file at an index below the count given to Load. Asked again whenever a line
    // is written or a file looked up: the record keeps only keys and stamps, where a million
    // paths and hashes would cost hundreds of MiB.
    using Listing = std::function<Listed(size_t index)>;

    // Reads the record at `path` (missing or unreadable: empty), keeping only the lines of
    // the `count` listed files so that files of older manifests fall out of it. `listing`
    // must answer until Save.
    void Load(const std::string& path, size_t count, Listing listing);
    // Whether `file` was checked against `sha256` and has not changed since.
    bool IsVerified(const std::string& file, const std::string& sha256);
    // `file` has just matched `sha256`: records it as it is now, and saves the record when the
    // last save is a while ago (rewriting it for each of many small files would cost more than
    // fetching them).
    void Remember(const std::string& file, const std::string& sha256);
    // Saves what is not saved yet and lets go of the listing; at the end of a run.
    void Save();
    // A number for `file` with `sha256`, the same in every run: the record's key, and the name
    // of other records kept for the file.
    static uint64_t HashOf(const std::string& file, const std::string& sha256);

private:
    static constexpr uint32_t kSaveIntervalMs = 2000;
    static constexpr size_t kNotListed = SIZE_MAX;

    struct Stamp {
        int64_t size = -1;  // -1: not verified
        int64_t modified = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Key {
        uint64_t hash;   // of the hash and the path
        uint32_t index;  // in the listing
        auto operator<=>(const Key&) const = default;
    };
    // The file as it is now; false when it is not a readable regular file.
    static bool StampOf(const std::string& file, Stamp& stamp);
    // Under `guard`: the position in `keys` of the listed `file` with `sha256`, or kNotListed.
    size_t Find(const std::string& file, const std::string& sha256) const;
    // Under `guard`.
    void SaveLocked();

    std::mutex guard;
    std::string recordPath;
    bool unsaved = false;
    uint32_t savedAt = 0;
    Listing listing;
    std::vector<Key> keys;      // sorted
    std::vector<Stamp> stamps;  // of each key
};
