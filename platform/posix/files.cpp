// Replacing a small file whole on POSIX systems, the same for the Linux backend and the test
// backend.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

}  // namespace platform
