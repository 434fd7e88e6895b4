#include "private_network.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace guitest {

namespace {

bool WriteProcFile(const char* path, const std::string& text, std::string* why) {
    int fd = open(path, O_WRONLY);
    bool written =
        fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (!written) {
        *why = std::string(path) + ": " + std::strerror(errno);
    }
    if (fd >= 0) {
        close(fd);
    }
    return written;
}

}  // namespace

bool EnterPrivateNetwork(std::string* why) {
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        *why = std::string("unshare: ") + std::strerror(errno);
        return false;
    }
    // The same ids inside, so that files keep their owner and the program's ownership checks
    // see the user they expect.
    if (!WriteProcFile("/proc/self/setgroups", "deny", why) ||
        !WriteProcFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1",
                       why) ||
        !WriteProcFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1",
                       why)) {
        return false;
    }
    // A new network has only a loopback, and it is down.
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP | IFF_RUNNING;
    up = up && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (!up) {
        *why = std::string("loopback: ") + std::strerror(errno);
    }
    if (fd >= 0) {
        close(fd);
    }
    return up;
}

}  // namespace guitest
