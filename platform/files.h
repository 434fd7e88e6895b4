// Files as the core opens, measures, removes and renames them. Paths are the core's narrow
// paths (see kPathsInDocumentCodePage in system.h): on Windows they go to the wide calls, so
// that a name in the documents' code page reaches the disk unchanged whatever the system's
// ANSI code page is. Implemented in platform/posix and platform/win32, which the test backend
// shares.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// Opens the file at `path` as fopen does with `mode` ("rb", "rb+", "wb+", "ab", ...); null
// when it cannot be opened. A relative `path` never leads outside the current folder: each of
// its folders and the file itself are opened without following a link (on Windows: refused
// where a reparse point stands), only a regular file is opened, and a creating mode ("w", "a")
// also creates the missing folders on the way.
std::FILE* OpenFile(const char* path, const char* mode);
// Writes out what `file` buffers and waits until the file's bytes are on the disk itself, so
// that a power cut cannot lose them; false when that failed.
bool FlushToDisk(std::FILE* file);
enum class OpenFailure { kNone, kLink, kOther };
// Why the calling thread's last OpenFile failed: kLink when a link stood where a folder or the
// file of the path belongs.
OpenFailure LastOpenFailure();
enum class WriteFailure { kOther, kDiskFull };
// Why the calling thread's last write, flush or close of a file failed, asked right after it
// failed: kDiskFull when the volume (or the user's share of it) had no room left.
WriteFailure LastWriteFailure();
// Creates the missing folders of the relative path `folder` below the current folder, never
// through a link; false when a link or something other than a folder stands on the way.
bool CreateFoldersBelow(const char* folder);
// Replaces the file at `path` with new content so that a crash at any moment leaves the old
// content or the new, never a part: a temporary file in the same folder, written out to the
// disk, then renamed over it. `write` puts the content into the temporary file (a large one
// need not be built in memory first) and answers whether it wrote it all. False, with the old
// file untouched and no temporary left, when that fails.
bool ReplaceFileAtomically(const char* path, const std::function<bool(std::FILE*)>& write);
// The same with `bytes` as the new content.
inline bool ReplaceFileAtomically(const char* path, const std::string& bytes) {
    return ReplaceFileAtomically(path, [&bytes](std::FILE* file) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    });
}
// Removes the temporary copies that a ReplaceFileAtomically of `path` cut short (a kill, a power
// cut) left beside it: regular files named after it with kCopyMark and a suffix. Only while
// nothing else rewrites `path`, whose own copy in progress would go too.
void RemoveLeftoverCopies(const char* path);
inline constexpr const char* kCopyMark = ".tmp-";
// Removes the file at `path` (a relative one found as OpenFile finds it); false when there was
// none or it could not be removed.
bool RemoveFile(const char* path);
// Renames the file `from` to `to`, replacing a file at `to`; false, with both untouched, when
// that fails.
bool MoveFileOver(const char* from, const char* to);

struct FileFacts {
    int64_t size = 0;
    // The last modification in the system's own unit: only compared with itself.
    int64_t modified = 0;
};
// The facts of the regular file at `path`, followed through links; nothing when no regular
// file stands there.
std::optional<FileFacts> InspectFile(const char* path);

// A name written in UTF-8 (a manifest's "Name") as a path of this system: the same bytes on
// POSIX systems, whose names are bytes; the documents' code page on Windows, and nothing when
// the name is no valid UTF-8 or holds a character that code page lacks (which would otherwise
// become a different name).
std::optional<std::string> PathFromUtf8(const std::string& name);
// A key under which two paths are equal when the system takes them for one file: on Windows,
// whose names ignore case in every script ("Ａ" and "ａ", "Ω" and "ω"), the path in upper case
// as the file system compares names, in UTF-8; elsewhere the path itself.
std::string FileNameKey(const std::string& path);

}  // namespace platform
