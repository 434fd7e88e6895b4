// Files on POSIX systems, the same for the Linux backend and the test backend: opening,
// removing, renaming and measuring them by their narrow names (the system's own), and replacing
// a small file whole. A relative name is opened from the current folder one component at a time
// without following any link (O_NOFOLLOW at every step), so nothing reached by a relative name
// is ever outside the current folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/files.h"
#include "platform/posix/folders.h"
#include "platform/system.h"

namespace platform {

namespace {

// Makes a rename in `folder` reach the disk; a failure only loses that guarantee.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

thread_local OpenFailure lastFailure = OpenFailure::kNone;

// The open flags of an fopen mode; creating modes also create missing folders on the way.
bool FlagsOf(const char* mode, int& flags, bool& truncate) {
    const std::string text = mode;
    const bool both = text.find('+') != std::string::npos;
    truncate = false;
    switch (text.empty() ? '\0' : text[0]) {
        case 'r':
            flags = both ? O_RDWR : O_RDONLY;
            return true;
        case 'w':
            flags = (both ? O_RDWR : O_WRONLY) | O_CREAT;
            truncate = true;
            return true;
        case 'a':
            flags = (both ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
            return true;
        default:
            return false;
    }
}

// `path` split into its folder part and its last component.
std::pair<std::string, std::string> SplitLast(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {"", path};
    }
    return {path.substr(0, slash), path.substr(slash + 1)};
}

std::FILE* Fail(int fd) {
    if (fd >= 0) {
        close(fd);
    }
    lastFailure = errno == ELOOP ? OpenFailure::kLink : OpenFailure::kOther;
    return nullptr;
}

std::FILE* OpenBelowCurrentFolder(const char* path, const char* mode) {
    int flags = 0;
    bool truncate = false;
    if (!FlagsOf(mode, flags, truncate)) {
        errno = EINVAL;
        return Fail(-1);
    }
    const auto [folderPart, name] = SplitLast(path);
    const int folder = posix::OpenFolderBelow(AT_FDCWD, folderPart, (flags & O_CREAT) != 0);
    if (folder < 0 || name.empty() || name == "." || name == "..") {
        return Fail(folder);
    }
    // Not blocked by a pipe standing at the name, and nothing emptied before it is known to be
    // a regular file.
    int fd = openat(folder, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        struct stat facts {};
        if (fstatat(folder, name.c_str(), &facts, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(facts.st_mode)) {
            errno = ELOOP;
        }
    }
    const int error = errno;
    close(folder);
    errno = error;
    struct stat facts {};
    if (fd < 0 || fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode) ||
        fcntl(fd, F_SETFL, flags & O_APPEND) != 0 || (truncate && ftruncate(fd, 0) != 0)) {
        return Fail(fd);
    }
    std::FILE* file = fdopen(fd, mode);
    return file != nullptr ? file : Fail(fd);
}

}  // namespace

bool ReplaceFileAtomically(const char* path, const std::function<bool(std::FILE*)>& write) {
    std::string temporary = std::string(path) + kCopyMark + "XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        close(fd);
        unlink(temporary.c_str());
        return false;
    }
    bool whole = write(file) && std::fflush(file) == 0 && fsync(fd) == 0;
    whole = std::fclose(file) == 0 && whole;
    if (!whole || std::rename(temporary.c_str(), path) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    const std::string name = path;
    const size_t slash = name.rfind('/');
    SyncFolder(slash == std::string::npos ? "" : name.substr(0, slash + 1));
    return true;
}

void RemoveLeftoverCopies(const char* path) {
    const std::string target = path;
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string prefix = target.substr(slash + 1) + kCopyMark;
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) {
        return;
    }
    const int folderFd = dirfd(listing);
    while (const dirent* entry = readdir(listing)) {
        struct stat facts {};
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0 &&
            entry->d_name[prefix.size()] != '\0' &&
            fstatat(folderFd, entry->d_name, &facts, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(facts.st_mode)) {
            unlinkat(folderFd, entry->d_name, 0);
        }
    }
    closedir(listing);
}

std::FILE* OpenFile(const char* path, const char* mode) {
    lastFailure = OpenFailure::kNone;
    if (path == nullptr || *path == '\0') {
        lastFailure = OpenFailure::kOther;
        return nullptr;
    }
    if (path[0] != '/') {
        return OpenBelowCurrentFolder(path, mode);
    }
    std::FILE* file = std::fopen(path, mode);
    if (file == nullptr) {
        lastFailure = OpenFailure::kOther;
    }
    return file;
}

OpenFailure LastOpenFailure() {
    return lastFailure;
}

WriteFailure LastWriteFailure() {
    return errno == ENOSPC || errno == EDQUOT ? WriteFailure::kDiskFull : WriteFailure::kOther;
}

bool CreateFoldersBelow(const char* folder) {
    const int fd = posix::OpenFolderBelow(AT_FDCWD, folder, true);
    return fd >= 0 && close(fd) == 0;
}

bool RemoveFile(const char* path) {
    if (path == nullptr || *path == '\0') {
        return false;
    }
    if (path[0] == '/') {
        return std::remove(path) == 0;
    }
    const auto [folderPart, name] = SplitLast(path);
    const int folder = posix::OpenFolderBelow(AT_FDCWD, folderPart, false);
    if (folder < 0) {
        return false;
    }
    const bool removed = unlinkat(folder, name.c_str(), 0) == 0;
    close(folder);
    return removed;
}

bool FlushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fdatasync(fileno(file)) == 0;
}

bool MoveFileOver(const char* from, const char* to) {
    return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}

std::optional<FileFacts> InspectFile(const char* path) {
    if (path == nullptr) {
        return std::nullopt;
    }
    std::error_code error;
    const std::filesystem::path name(path);
    if (!std::filesystem::is_regular_file(name, error)) {
        return std::nullopt;
    }
    const uintmax_t size = std::filesystem::file_size(name, error);
    if (error) {
        return std::nullopt;
    }
    const auto modified = std::filesystem::last_write_time(name, error);
    if (error) {
        return std::nullopt;
    }
    return FileFacts{static_cast<int64_t>(size),
                     static_cast<int64_t>(modified.time_since_epoch().count())};
}

std::optional<std::string> PathFromUtf8(const std::string& name) {
    // The system takes any bytes but '/' and NUL as a name: UTF-8 names stay as they are.
    return name;
}

std::string FileNameKey(const std::string& path) {
    return path;
}

}  // namespace platform
