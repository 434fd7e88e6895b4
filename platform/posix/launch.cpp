// Starting the downloaded installer on Linux: LaunchElevated (platform/system.h) and the
// decision behind it, PlanLaunch (platform/posix/launch.h). Nothing else of the interface lives
// here.
//
// A native program is started through pkexec, which asks for the administrator's password as
// the elevation prompt does elsewhere. pkexec runs its program in a clean environment and in
// the administrator's home folder, so an elevated shell first goes to the download folder and
// brings the user's display along. A small shell of the user's own waits for pkexec (which
// refuses to serve a parent that is gone, and the downloader closes at once): when pkexec
// could not authorise (the user dismissed the prompt, 126, or no one can answer it, 127), it
// runs the installer with the user's own rights instead where the caller asks for that, else
// nothing. Every command is detached from the downloader, which never waits for it.
#include "platform/posix/launch.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "platform/system.h"

namespace platform {

namespace posix {

namespace {

constexpr const char* kShell = "/bin/sh";

// Runs as the administrator: $1 the download folder, $2 the installer, $3 and $4 the user's
// display and its key. One short line, as the password prompt shows it. The installer's own
// exit code is not passed on, so that 126 and 127 can only come from pkexec itself.
constexpr const char* kElevatedScript =
    "cd -- \"$1\" && DISPLAY=\"$3\" XAUTHORITY=\"$4\" \"$2\"; exit 0";

// Runs as the user in the download folder: $1 pkexec, $2 the elevated script, $3 to $6 its
// arguments; the second line runs the installer with the user's rights after a refusal.
constexpr const char* kUserScript = "\"$1\" /bin/sh -c \"$2\" sh \"$3\" \"$4\" \"$5\" \"$6\"\n";
constexpr const char* kUserRightsAfterRefusal = "case $? in 126|127) exec \"$4\" ;; esac\n";

bool IsNative(const std::string& head) {
    return head.starts_with("\177ELF") || head.starts_with("#!");
}

}  // namespace

std::string InstallerPath(const std::string& name, const std::string& folder) {
    if (name.starts_with('/')) {
        return name;
    }
    return folder + (folder.ends_with('/') ? "" : "/") + name;
}

std::optional<LaunchCommand> PlanLaunch(const std::string& name, const std::string& folder,
                                        const std::optional<std::string>& head,
                                        const LaunchTools& tools,
                                        WhenElevationRefused whenRefused) {
    if (name.empty() || folder.empty() || !head) {
        return std::nullopt;
    }
    std::string file = InstallerPath(name, folder);
    if (IsNative(*head)) {
        if (tools.pkexec.empty()) {
            return LaunchCommand{LaunchWay::kDirect, file, {file}, folder};
        }
        return LaunchCommand{
            LaunchWay::kElevated,
            file,
            {kShell, "-c",
             std::string(kUserScript) + (whenRefused == WhenElevationRefused::kRunWithUserRights
                                             ? kUserRightsAfterRefusal
                                             : ""),
             "sh", tools.pkexec, kElevatedScript, folder, file, tools.display, tools.xauthority},
            folder};
    }
    if (head->starts_with("MZ") && !tools.wine.empty()) {
        return LaunchCommand{LaunchWay::kWine, file, {tools.wine, file}, folder};
    }
    return std::nullopt;
}

namespace {

// The first bytes of a regular file; none when it is no such file or cannot be read.
std::optional<std::string> ReadHead(const std::string& file) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat facts {};
    char bytes[4];
    ssize_t got =
        fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode) ? read(fd, bytes, sizeof bytes) : -1;
    close(fd);
    if (got < 0) {
        return std::nullopt;
    }
    return std::string(bytes, static_cast<size_t>(got));
}

// The first runnable regular file `program` in the folders of $PATH; empty when none.
std::string ProgramOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        end = end == std::string::npos ? folders.size() : end;
        const std::string folder = folders.substr(start, end - start);
        const std::string file = (folder.empty() ? "." : folder) + "/" + program;
        struct stat facts {};
        if (stat(file.c_str(), &facts) == 0 && S_ISREG(facts.st_mode) &&
            access(file.c_str(), X_OK) == 0) {
            return file;
        }
        start = end + 1;
    }
    return "";
}

// The user's home folder: $HOME, else where the usual key would not be found.
std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

// The key to the user's display, which the administrator's shell cannot find by itself.
std::string DisplayKey() {
    const char* key = std::getenv("XAUTHORITY");
    if (key != nullptr && key[0] != '\0') {
        return key;
    }
    std::string usual = HomeFolder() + "/.Xauthority";
    return access(usual.c_str(), R_OK) == 0 ? usual : "";
}

// A downloaded file carries no permission to run: it is given one wherever it may be read, as
// the user's asking to start it means.
bool MakeRunnable(const std::string& file) {
    struct stat facts {};
    if (stat(file.c_str(), &facts) != 0) {
        return false;
    }
    mode_t runnable = facts.st_mode | S_IXUSR | ((facts.st_mode & (S_IRGRP | S_IROTH)) >> 2);
    if (runnable != facts.st_mode) {
        chmod(file.c_str(), runnable & 07777);
    }
    return access(file.c_str(), X_OK) == 0;
}

}  // namespace

}  // namespace posix

bool LaunchElevated(const char* path, WhenElevationRefused whenRefused) {
    std::string folder = CurrentFolder();
    const char* display = std::getenv("DISPLAY");
    posix::LaunchTools tools{posix::ProgramOnPath("pkexec"), posix::ProgramOnPath("wine"),
                             display != nullptr ? display : "", posix::DisplayKey()};
    std::optional<posix::LaunchCommand> command = posix::PlanLaunch(
        path, folder, posix::ReadHead(posix::InstallerPath(path, folder)), tools, whenRefused);
    if (!command) {
        return false;
    }
    if (command->way != posix::LaunchWay::kWine && !posix::MakeRunnable(command->file)) {
        return false;
    }
    std::vector<char*> argv;
    for (std::string& argument : command->argv) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // In its folder, with none of the downloader's descriptors but the standard three; it
    // outlives the downloader, which never waits for it but lets no finished child linger.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, command->folder.c_str());
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t child = 0;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return false;
    }
    std::thread([child] { waitpid(child, nullptr, 0); }).detach();
    return true;
}

}  // namespace platform
