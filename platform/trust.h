// Facts that decide whether the core may trust a file or folder, read through open handles, and
// the opening itself: never through a link. The backends only report; the core decides what to
// refuse. Implemented in platform/posix/trust.cpp and platform/win32/trust.cpp, which the test
// backend shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace platform {

// Who besides the user and the administrators may change a folder's entries or a file.
enum class OthersWrite {
    kNone,
    // Others may add entries, but not remove or rename those of others (a sticky folder on
    // POSIX systems; on Windows a folder granting others creation but no deletion).
    kAddOnly,
    kAny,
};

struct TrustFacts {
    bool isFolder = false;
    bool isRegularFile = false;
    // The user running the program (its effective user), or the administrator (root; the
    // administrators, the system or the installer service on Windows).
    bool ownedByUserOrAdmin = false;
    OthersWrite othersWrite = OthersWrite::kAny;
};

// A file or folder held open by its system handle, closed with the object.
class Held {
public:
    static constexpr intptr_t kClosed = -1;
    Held() = default;
    explicit Held(intptr_t handle) : native(handle) {}
    ~Held();
    Held(Held&& other) noexcept : native(other.native) { other.native = kClosed; }
    // What this held before is let go (by `gone`), whichever backend's handle it is.
    Held& operator=(Held&& other) noexcept {
        Held gone(std::move(other));
        std::swap(native, gone.native);
        return *this;
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

    bool IsOpen() const { return native != kClosed; }
    intptr_t Native() const { return native; }

private:
    intptr_t native = kClosed;
};

// One folder or file of a path and its facts.
struct PathStep {
    std::string name;
    TrustFacts facts;
};

struct OpenedPath {
    Held item;                    // open when the whole path could be opened
    std::vector<PathStep> steps;  // what was opened, outermost first; the last is `item`
    std::string failure;          // when not open: the component that stood in the way and why
};

// The folder at `path`, where the system finds it (links in `path` resolved once), opened
// folder by folder from the root down without following any link, so that the facts of each
// step are those of the folder finally held. A component swapped for a link meanwhile fails.
OpenedPath OpenFolderFromRoot(const char* path);
// The existing file `relative` (components separated by kPathSeparator) below the open folder
// `base`, every folder and the file opened without following a link, for reading; the steps are
// the folders below `base`, then the file. On Windows the file can be neither written, renamed
// nor deleted by anyone while it is held.
OpenedPath OpenFileBelow(const Held& base, const char* relative);
// Reads up to `count` bytes of a held file from where it stands; 0 at its end, -1 on an error.
int64_t ReadHeld(const Held& file, void* buffer, size_t count);
// Makes a held folder the current folder, so that relative paths start from that very folder
// whatever happens to its path; false (the current folder unchanged) when it cannot.
bool EnterHeldFolder(const Held& folder);
enum class HeldLaunch { kStarted, kNotStarted, kChanged };
// Starts the held file `file`, named `path` relative to the current folder, as LaunchElevated
// does; kChanged, nothing started, when `path` no longer names that very file.
HeldLaunch LaunchHeldFile(const Held& file, const char* path, WhenElevationRefused whenRefused);

}  // namespace platform
