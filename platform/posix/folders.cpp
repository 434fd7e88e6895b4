// Folders on POSIX systems, the same for the Linux backend and the test backend (whose folders
// are real folders under the per-test folder): the current folder, private folders and what
// stands at a path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/posix/folders.h"
#include "platform/system.h"

namespace platform {

namespace {

// A final separator would make the system follow a link at the path's last component.
std::string WithoutFinalSeparator(const char* path) {
    std::string text = path;
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

}  // namespace

bool SetCurrentFolder(const char* path) {
    return path != nullptr && chdir(path) == 0;
}

std::string CurrentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

bool CreatePrivateFolder(const char* path) {
    return mkdir(path, 0700) == 0;
}

FolderFacts InspectFolder(const char* path) {
    FolderFacts facts;
    struct stat info {};
    if (lstat(WithoutFinalSeparator(path).c_str(), &info) != 0) {
        return facts;
    }
    facts.exists = true;
    facts.isLink = S_ISLNK(info.st_mode);
    facts.isFolder = S_ISDIR(info.st_mode);
    facts.ownedByUser = info.st_uid == geteuid();
    facts.othersMayEnter = (info.st_mode & 077) != 0;
    return facts;
}

bool RestrictFolderToUser(const char* path) {
    // Through a descriptor of the folder itself: a link swapped in after the inspection is
    // refused instead of followed.
    const int fd =
        open(WithoutFinalSeparator(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool done = fchmod(fd, 0700) == 0;
    close(fd);
    return done;
}

std::string posix::NearestFolder(std::string path) {
    for (;;) {
        struct stat facts {};
        if (stat(path.c_str(), &facts) == 0) {
            return S_ISDIR(facts.st_mode) ? path : "";
        }
        size_t slash = path.find_last_of('/');
        if (errno != ENOENT || slash == std::string::npos) {
            return "";
        }
        path.resize(slash == 0 ? 1 : slash);
    }
}

}  // namespace platform
