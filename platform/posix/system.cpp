// System services of POSIX systems: platform/system.h but for LaunchElevated (launch.cpp of the
// window backend) and the folder and file services in files.cpp and folders.cpp.
#include "platform/system.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/posix/folders.h"

namespace platform {

namespace {

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

// The user's home folder: $HOME, else the password database's entry.
std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

// The user's runtime folder ($XDG_RUNTIME_DIR), else the user's cache folder, as the base
// directory rules fall back.
std::string RuntimeFolder() {
    for (const char* variable : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME"}) {
        if (const char* folder = std::getenv(variable); folder != nullptr && folder[0] == '/') {
            return folder;
        }
    }
    return WithSeparator(HomeFolder()) + ".cache";
}

}  // namespace

bool AcquireSingleInstance(const char* name) {
    // A lock on a file in the user's runtime folder: the kernel drops it when the process ends,
    // however it ends, so a crashed copy never blocks the next start.
    std::string path = WithSeparator(RuntimeFolder()) + name + ".lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return true;  // no lock to be had: run rather than refuse
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    return true;  // the descriptor stays open for the life of the process
}

std::string UserStateFolder() {
    // A relative XDG_STATE_HOME is invalid and ignored, as the base directory rules ask.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return WithSeparator(state);
    }
    return WithSeparator(HomeFolder()) + ".local/state/";
}

std::string ModuleFolder() {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return "";
    }
    std::string path(buffer, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

bool CreateFolder(const char* path) {
    // Never writable by group or others, whatever the umask: a download folder must not be.
    return mkdir(path, 0755) == 0;
}

std::string ExpandUserPath(const char* path) {
    std::string text = path;
    if (text.starts_with("~/")) {
        return WithSeparator(HomeFolder()) + text.substr(2);
    }
    return text;
}

uint32_t TickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000);
}

void SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t FreeDiskSpace(const char* path) {
    // A folder that does not exist yet (one the user typed into the folder picker) will be
    // made on the volume of the nearest folder above it.
    std::string folder = posix::NearestFolder(path);
    struct statvfs info {};
    if (folder.empty() || statvfs(folder.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

void EndProcess(int code) {
    _exit(code);
}

}  // namespace platform
