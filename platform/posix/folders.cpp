// The current folder on POSIX systems, the same for the Linux backend and the test backend
// (whose folders are real folders under the per-test folder).
#include <unistd.h>

#include <climits>

#include "platform/system.h"

namespace platform {

bool SetCurrentFolder(const char* path) {
    return chdir(path) == 0;
}

std::string CurrentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

}  // namespace platform
