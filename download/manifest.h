// The download manifest "file.json": reading and checking it as a whole before anything is
// fetched, and the rules that turn an entry's "Name" into a local path, a URL and the launch
// file name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "download/manifestNames.h"
#include "json/cJson.h"
#include "platform/system.h"

struct ManifestEntry {
    std::string name;       // as listed (UTF-8), "/" or "\" between components
    std::string localPath;  // relative to the download folder, platform separators and names
    int64_t size = 0;
    std::string sha256;  // 64 lowercase hexadecimal digits; empty when the entry has none
};

// The entries of a manifest, packed: a package may list a million files, and a vector of
// ManifestEntry would spend three strings and their heap blocks on each. Reads build the entry.
class ManifestFiles {
public:
    class Iterator {
    public:
        Iterator(const ManifestFiles& files, size_t index) : files_(&files), index_(index) {}
        ManifestEntry operator*() const { return (*files_)[index_]; }
        Iterator& operator++() {
            ++index_;
            return *this;
        }
        bool operator==(const Iterator&) const = default;

    private:
        const ManifestFiles* files_;
        size_t index_;
    };

    void push_back(const ManifestEntry& entry);
    // Room for `count` entries and their hashes, so that a long list is not copied as it grows.
    void reserve(size_t count) {
        packed_.reserve(count);
        hashes_.reserve(count);
    }
    // Gives back what growing left unused.
    void shrink_to_fit();
    size_t size() const { return packed_.size(); }
    bool empty() const { return packed_.empty(); }
    ManifestEntry operator[](size_t index) const;
    Iterator begin() const { return Iterator(*this, 0); }
    Iterator end() const { return Iterator(*this, size()); }

private:
    static constexpr uint32_t kNoHash = UINT32_MAX;
    struct Packed {
        uint64_t at = 0;  // of the name in `text_`; the local path follows it when it differs
        int64_t size = 0;
        uint32_t hash = kNoHash;  // index in `hashes_`
        uint16_t nameLength = 0;
        uint16_t pathLength = 0;  // 0: the local path is the name
    };
    using Sha256Bytes = std::array<uint8_t, 32>;
    std::string text_;
    std::vector<Packed> packed_;
    std::vector<Sha256Bytes> hashes_;
};

struct Manifest {
    int32_t totalCount = 0;
    int64_t totalSize = 0;
    std::string url;
    // Further base addresses serving the same files, tried in order when a server fails
    // ("Mirrors": [{"URL": ...}, ...], optional).
    std::vector<std::string> mirrors;
    ManifestFiles files;  // the first "TotalCount" entries of "FileList"
};

// Whether file names follow Windows' rules: names that differ only in case are one file, and
// device names ("CON", "NUL", "COM1", "aux.txt", ...) are no files at all.
inline constexpr bool kWindowsFileNames = platform::kWindowsFileNameRules;

// Reads the loaded document, emptying each "FileList" entry it has read. False with `problem` set
// when a key is missing or not what it must be, "TotalCount" exceeds the list, or a name is unsafe
// or listed twice (with `windowsNames`: also in another case, or a device name). An entry's
// "SHA256" is optional; when present it must be 64 hexadecimal digits. "Mirrors" is optional: at
// most kMostMirrors objects whose "URL" is an http or https address ending in "/".
bool ReadManifest(cJson& document, Manifest& manifest, std::string& problem,
                  bool windowsNames = kWindowsFileNames);

// "/" and "\" become the platform's separator.
std::string LocalPathOf(const std::string& name);
// The base URL followed by the name, "\" sent as "/", and bytes that cannot stand in a URL
// path percent-encoded (so that "#", "?" or a blank cannot change what is asked for).
std::string FileUrlOf(const std::string& baseUrl, const std::string& name);
// True when the first ".exe" in `name` ends it (case-sensitive).
bool IsLaunchName(const std::string& name);
// Creates every folder that `localPath` needs, outermost first; failures are left to the
// file open that follows.
void CreateParentFolders(const std::string& localPath);
