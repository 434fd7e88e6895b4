#include "x_session.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace guitest {

namespace {

using Clock = std::chrono::steady_clock;

bool Expired(Clock::time_point start, double seconds) {
    return std::chrono::duration<double>(Clock::now() - start).count() > seconds;
}

}  // namespace

pid_t XSession::Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    return pid;
}

std::string XSession::Run(const std::vector<std::string>& argv) {
    std::string command;
    for (const std::string& arg : argv) {
        command += "'" + arg + "' ";
    }
    FILE* pipe = popen((command + "2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return "";
    }
    std::string output;
    char buffer[256];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    pclose(pipe);
    return output;
}

XSession::XSession() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dl-gui-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make the session folder");
    }
    folder = pattern;
    for (const char* sub : {"run", "tmp", "home"}) {
        std::filesystem::create_directory(folder + "/" + sub);
    }
    std::filesystem::permissions(folder + "/run", std::filesystem::perms::owner_all);

    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe");
    }
    xvfb = Spawn({XVFB_PROGRAM, "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-screen",
                  "0", "1280x800x24"});
    close(fds[1]);
    std::string display;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') {
        display += c;
    }
    close(fds[0]);
    if (display.empty()) {
        throw std::runtime_error("Xvfb did not start");
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("GDK_GL", "disable", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("XDG_RUNTIME_DIR", (folder + "/run").c_str(), 1);
    setenv("TMPDIR", (folder + "/tmp").c_str(), 1);
    setenv("HOME", (folder + "/home").c_str(), 1);
    // A sanitizer build of the program: leave the GUI libraries' own allocations alone.
    setenv("LSAN_OPTIONS", "suppressions=" LSAN_SUPPRESSIONS, 1);
}

XSession::~XSession() {
    for (pid_t pid : started) {
        Kill(pid);
    }
    if (xvfb > 0) {
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

pid_t XSession::StartProgram() {
    pid_t pid = Spawn({DOWNLOADER_PROGRAM});
    started.push_back(pid);
    return pid;
}

std::vector<std::string> XSession::FindWindows(const std::string& title) {
    std::string pattern = "^";
    for (char c : title) {
        if (std::string(".^$*+?()[]{}|\\").find(c) != std::string::npos) {
            pattern += '\\';
        }
        pattern += c;
    }
    std::istringstream lines(
        Run({XDOTOOL_PROGRAM, "search", "--onlyvisible", "--name", pattern + "$"}));
    std::vector<std::string> ids;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            ids.push_back(line);
        }
    }
    return ids;
}

std::vector<std::string> XSession::WaitForWindow(const std::string& title, double seconds) {
    Clock::time_point start = Clock::now();
    for (;;) {
        std::vector<std::string> ids = FindWindows(title);
        if (!ids.empty() || Expired(start, seconds)) {
            return ids;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void XSession::PressKey(const std::string& window, const std::string& key) {
    Run({XDOTOOL_PROGRAM, "windowfocus", "--sync", window});
    Run({XDOTOOL_PROGRAM, "key", "--clearmodifiers", key});
}

int XSession::WaitForExit(pid_t pid, double seconds) {
    Clock::time_point start = Clock::now();
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            started.erase(std::remove(started.begin(), started.end(), pid), started.end());
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
        }
        if (Expired(start, seconds)) {
            return -1000;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool XSession::IsRunning(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

void XSession::Kill(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    started.erase(std::remove(started.begin(), started.end(), pid), started.end());
}

}  // namespace guitest
