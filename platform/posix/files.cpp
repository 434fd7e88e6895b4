// Files on POSIX systems, the same for the Linux backend and the test backend: opening,
// removing, renaming and measuring them by their narrow names (the system's own), and replacing
// a small file whole.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/files.h"
#include "platform/system.h"

namespace platform {

namespace {

bool WriteAll(int fd, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + written, bytes.size() - written);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        written += static_cast<size_t>(put);
    }
    return true;
}

// Makes a rename in `folder` reach the disk; a failure only loses that guarantee.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

bool ReplaceFileAtomically(const char* path, const std::string& bytes) {
    std::string temporary = std::string(path) + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool whole = WriteAll(fd, bytes) && fsync(fd) == 0;
    whole = close(fd) == 0 && whole;
    if (!whole || std::rename(temporary.c_str(), path) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    const std::string file = path;
    const size_t slash = file.rfind('/');
    SyncFolder(slash == std::string::npos ? "" : file.substr(0, slash + 1));
    return true;
}

std::FILE* OpenFile(const char* path, const char* mode) {
    return path != nullptr ? std::fopen(path, mode) : nullptr;
}

bool RemoveFile(const char* path) {
    return path != nullptr && std::remove(path) == 0;
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
