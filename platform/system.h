// System services the portable core asks of its platform. One backend implements every
// function declared here: platform/gtk on Linux, platform/win32 on Windows, platform/fake in
// tests (chosen at link time).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The separator the core uses where it builds or splits a path, and the encoding of the paths
// it handles: the system's own narrow file names, UTF-8 on POSIX systems (as GTK and the file
// system give them), the documents' code page on Windows (where a double-byte character may
// hold the separator's byte, so paths are split character by character).
// Where paths start with a drive ("C:\\"), and where file names follow Windows' rules (names
// that differ only in case are one file; device names such as "CON" or "aux.txt" are no files).
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr bool kPathsInDocumentCodePage = true;
inline constexpr bool kPathsStartWithDrive = true;
inline constexpr bool kWindowsFileNameRules = true;
#else
inline constexpr char kPathSeparator = '/';
inline constexpr bool kPathsInDocumentCodePage = false;
inline constexpr bool kPathsStartWithDrive = false;
inline constexpr bool kWindowsFileNameRules = false;
#endif

// Takes the process-wide single-instance lock named `name`. False when another running copy
// holds it. The lock is released by the system when the process ends, however it ends.
bool AcquireSingleInstance(const char* name);

// The user's own folder for the program's state, ending in kPathSeparator; it may not exist
// yet. On Linux $XDG_STATE_HOME when that is an absolute path, else ~/.local/state (it survives
// a reboot, unlike the temporary folder, which every user shares); on Windows the user's own
// temporary folder.
std::string UserStateFolder();
// The folder of the running program file, ending in kPathSeparator.
std::string ModuleFolder();
// Creates one folder; false when it could not be created (an existing folder included).
bool CreateFolder(const char* path);
// Creates one folder that only the user may enter (0700 on POSIX); false when it could not be
// created (an existing folder included).
bool CreatePrivateFolder(const char* path);

// What stands at a path, as far as trusting it as a folder of the user's own goes. A link is
// reported as a link, never followed.
struct FolderFacts {
    bool exists = false;
    bool isLink = false;
    bool isFolder = false;
    bool ownedByUser = false;
    bool othersMayEnter = false;  // group or others have any access to it
};
FolderFacts InspectFolder(const char* path);
// Takes every access to the folder away from group and others; false when that failed (a
// link at `path` is not followed).
bool RestrictFolderToUser(const char* path);

// False when `path` is null or cannot be entered (the current folder stays).
bool SetCurrentFolder(const char* path);
std::string CurrentFolder();
// Expands a leading "~/" to the user's home folder (POSIX backends); other paths unchanged.
std::string ExpandUserPath(const char* path);

// Milliseconds since an arbitrary start, wrapping like a 32-bit tick count.
uint32_t TickCount();
void SleepMs(uint32_t ms);
// Bytes free for the user on the volume holding `path`; -1 when unknown.
int64_t FreeDiskSpace(const char* path);

// Text in the documents' code page (932 for the shipped document) to UTF-16 and UTF-8.
std::u16string CodePageToUtf16(const char* bytes, size_t length);
std::string CodePageToUtf8(const char* bytes, size_t length);
// A path (in the encoding above) to UTF-16 for display.
std::u16string PathToUtf16(const char* path, size_t length);
// A path written in a document (the documents' code page) as a path of this system.
std::string DocumentTextToPath(const char* text);

// What a start does when the user refuses the administrator's rights (or nobody can grant them
// now): the core decides, every backend does as it is told.
enum class WhenElevationRefused { kStartNothing, kRunWithUserRights };

// Starts the program `path` (absolute, or relative to the current folder) as a process of its
// own in the current folder, with no arguments and the administrator's rights, without waiting
// for it; when those rights are refused, as `whenRefused` says. False when it cannot be started
// at all, or was refused and nothing started (where the system tells it before the start).
bool LaunchElevated(const char* path, WhenElevationRefused whenRefused);

// Ends the process at once with `code`, without any teardown. The fake backend lets tests
// observe the call instead.
[[noreturn]] void EndProcess(int code);

}  // namespace platform
