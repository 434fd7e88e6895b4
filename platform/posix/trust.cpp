// Trust facts on POSIX systems, the same for the Linux backend and the test backend: owners and
// write permissions read through open descriptors, folders opened one component at a time with
// O_NOFOLLOW, and the start of a held file (LaunchElevated itself is the backend's).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/posix/folders.h"
#include "platform/system.h"
#include "platform/trust.h"

namespace platform {

namespace {

// The components of a relative path, without empty ones and "."; false for "..", which would
// leave the folder the path is relative to.
bool SplitComponents(const std::string& path, std::vector<std::string>& components) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string component = path.substr(start, end - start);
        if (component == "..") {
            return false;
        }
        if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        start = end + 1;
    }
    return true;
}

// Why `name` in the folder `at` could not be opened as asked, errno kept.
int Refusal(int at, const char* name, int error) {
    struct stat facts {};
    if (fstatat(at, name, &facts, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(facts.st_mode)) {
        error = ELOOP;
    }
    errno = error;
    return -1;
}

std::string FailureText(const std::string& name, int error) {
    if (error == ELOOP) {
        return name + " is a link";
    }
    if (error == ENOTDIR) {
        return name + " is not a folder";
    }
    return name + " cannot be opened";
}

std::string Joined(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

Held::~Held() {
    if (native != kClosed) {
        close(static_cast<int>(native));
    }
}

TrustFacts posix::FactsOf(int fd) {
    TrustFacts facts;
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return facts;
    }
    facts.isFolder = S_ISDIR(info.st_mode);
    facts.isRegularFile = S_ISREG(info.st_mode);
    facts.ownedByUserOrAdmin = info.st_uid == geteuid() || info.st_uid == 0;
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
        facts.othersWrite = OthersWrite::kNone;
    } else if (facts.isFolder && (info.st_mode & S_ISVTX) != 0) {
        facts.othersWrite = OthersWrite::kAddOnly;
    } else {
        facts.othersWrite = OthersWrite::kAny;
    }
    return facts;
}

int posix::OpenFolderBelow(int base, const std::string& relative, bool create,
                           std::vector<PathStep>* steps) {
    std::vector<std::string> components;
    if (!SplitComponents(relative, components)) {
        errno = EINVAL;
        return -1;
    }
    int current = base == AT_FDCWD ? open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                   : fcntl(base, F_DUPFD_CLOEXEC, 0);
    for (const std::string& component : components) {
        if (current < 0) {
            return -1;
        }
        constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = openat(current, component.c_str(), kFlags);
        if (next < 0 && errno == ENOENT && create &&
            (mkdirat(current, component.c_str(), 0755) == 0 || errno == EEXIST)) {
            next = openat(current, component.c_str(), kFlags);
        }
        if (next < 0) {
            Refusal(current, component.c_str(), errno);
        }
        const int error = errno;
        close(current);
        errno = error;
        current = next;
        if (current >= 0 && steps != nullptr) {
            steps->push_back({component, FactsOf(current)});
        }
    }
    return current;
}

OpenedPath OpenFolderFromRoot(const char* path) {
    OpenedPath opened;
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(path, nullptr), &std::free);
    if (!real) {
        opened.failure = FailureText(path, errno);
        return opened;
    }
    const int root = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        opened.failure = FailureText("/", errno);
        return opened;
    }
    Held rootHeld(root);
    opened.steps.push_back({"/", posix::FactsOf(root)});
    const int folder = posix::OpenFolderBelow(root, real.get(), false, &opened.steps);
    const int error = errno;
    // Each step named by its whole path, as a message names it.
    std::string walked;
    for (size_t i = 1; i < opened.steps.size(); ++i) {
        walked = Joined(walked.empty() ? "/" : walked, opened.steps[i].name);
        opened.steps[i].name = walked;
    }
    if (folder < 0) {
        opened.failure = FailureText(real.get(), error);
        return opened;
    }
    opened.item = Held(folder);
    return opened;
}

OpenedPath OpenFileBelow(const Held& base, const char* relative) {
    OpenedPath opened;
    const std::string path = relative;
    const size_t slash = path.rfind('/');
    const std::string folderPart = slash == std::string::npos ? "" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const int folder =
        posix::OpenFolderBelow(static_cast<int>(base.Native()), folderPart, false, &opened.steps);
    if (folder < 0) {
        opened.failure = FailureText(folderPart, errno);
        return opened;
    }
    Held folderHeld(folder);
    // Not blocked by a pipe or device standing at the name: the facts tell what it is.
    int fd = openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Refusal(folder, name.c_str(), errno);
        opened.failure = FailureText(path, errno);
        return opened;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    opened.steps.push_back({name, posix::FactsOf(fd)});
    opened.item = Held(fd);
    return opened;
}

int64_t ReadHeld(const Held& file, void* buffer, size_t count) {
    for (;;) {
        const ssize_t got = read(static_cast<int>(file.Native()), buffer, count);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

bool EnterHeldFolder(const Held& folder) {
    return folder.IsOpen() && fchdir(static_cast<int>(folder.Native())) == 0;
}

HeldLaunch LaunchHeldFile(const Held& file, const char* path, WhenElevationRefused whenRefused) {
    // The start goes by name (an elevation helper cannot take a descriptor): the name must still
    // lead to the held file, as the starter will read it, from the current folder's path.
    struct stat held {};
    struct stat named {};
    const std::string name = path;
    const std::string absolute = name.starts_with('/') ? name : Joined(CurrentFolder(), name);
    if (!file.IsOpen() || fstat(static_cast<int>(file.Native()), &held) != 0 ||
        stat(absolute.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
        held.st_ino != named.st_ino) {
        return HeldLaunch::kChanged;
    }
    return LaunchElevated(path, whenRefused) ? HeldLaunch::kStarted : HeldLaunch::kNotStarted;
}

}  // namespace platform
