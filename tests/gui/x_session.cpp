#include "x_session.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

pid_t XSession::Spawn(const std::vector<std::string>& argv, const std::string& log) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!log.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = -1;
    int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
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

std::string XSession::StartServer() {
    // An explicit display number, so the server takes its lock before it makes its socket and
    // never disturbs a server that another test is starting at the same moment; numbers whose
    // lock file exists are skipped, and a server that finds its number taken ends at once.
    int first = 300 + static_cast<int>(getpid() % 400);
    for (int number = first; number < first + 100; ++number) {
        if (std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
            continue;
        }
        int fds[2];
        if (pipe(fds) != 0) {
            throw std::runtime_error("pipe");
        }
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        pid_t server =
            Spawn({XVFB_PROGRAM, ":" + std::to_string(number), "-displayfd", std::to_string(fds[1]),
                   "-nolisten", "tcp", "-screen", "0", "1280x800x24"},
                  folder + "/xvfb.log");
        close(fds[1]);
        std::string ready;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') {
            ready += c;
        }
        close(fds[0]);
        if (ready == std::to_string(number)) {
            xvfb = server;
            return ready;
        }
        waitpid(server, nullptr, 0);  // the number was taken after all
    }
    throw std::runtime_error("no free display for Xvfb");
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

    // Given back when the session ends, so that a next session in this process starts afresh.
    for (const char* name : {"DISPLAY", "GSETTINGS_BACKEND", "GDK_GL", "NO_AT_BRIDGE",
                             "XDG_RUNTIME_DIR", "TMPDIR", "HOME", "LSAN_OPTIONS", "PATH"}) {
        const char* value = std::getenv(name);
        savedEnvironment.emplace_back(
            name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
    std::string display = StartServer();
    setenv("DISPLAY", (":" + display).c_str(), 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("GDK_GL", "disable", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("XDG_RUNTIME_DIR", (folder + "/run").c_str(), 1);
    setenv("TMPDIR", (folder + "/tmp").c_str(), 1);
    setenv("HOME", (folder + "/home").c_str(), 1);
    unsetenv("XDG_STATE_HOME");  // the work folder goes to the default state folder in HOME
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
    for (const auto& [name, value] : savedEnvironment) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
}

pid_t XSession::StartProgram() {
    return Start({DOWNLOADER_PROGRAM});
}

pid_t XSession::Start(const std::vector<std::string>& argv) {
    std::string log = folder + "/program-" + std::to_string(everStarted.size()) + ".log";
    pid_t pid = Spawn(argv, log);
    started.push_back(pid);
    everStarted.push_back(pid);
    return pid;
}

std::string XSession::Report() {
    std::ostringstream report;
    bool serverRunning = xvfb > 0 && waitpid(xvfb, nullptr, WNOHANG) == 0;
    if (!serverRunning) {
        xvfb = -1;  // reaped: never signal that id again
    }
    std::string display = std::getenv("DISPLAY");
    std::ifstream serverLog(folder + "/xvfb.log");
    std::string serverOutput((std::istreambuf_iterator<char>(serverLog)),
                             std::istreambuf_iterator<char>());
    report << "X server " << (serverRunning ? "running" : "gone") << " on " << display
           << (std::filesystem::exists("/tmp/.X11-unix/X" + display.substr(1)) ? ""
                                                                               : " (no socket)")
           << ", output:\n"
           << serverOutput << "\n";
    for (size_t i = 0; i < everStarted.size(); ++i) {
        bool running = std::find(started.begin(), started.end(), everStarted[i]) != started.end() &&
                       IsRunning(everStarted[i]);
        std::ifstream log(folder + "/program-" + std::to_string(i) + ".log");
        std::string output((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        report << "program " << i << " (pid " << everStarted[i] << ") "
               << (running ? "running" : "ended") << ", stderr:\n"
               << output << "\n";
    }
    return report.str();
}

std::string XSession::OutputOf(pid_t pid) {
    auto found = std::find(everStarted.begin(), everStarted.end(), pid);
    if (found == everStarted.end()) {
        return "";
    }
    std::ifstream log(folder + "/program-" + std::to_string(found - everStarted.begin()) + ".log");
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
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

int XSession::AnswerBox(pid_t pid, const std::string& title, double seconds) {
    Clock::time_point start = Clock::now();
    while (!Expired(start, seconds)) {
        std::vector<std::string> boxes = FindWindows(title);
        if (!boxes.empty()) {
            // A key sent while the box is still being mapped can be lost: try again until the
            // program has ended.
            PressKey(boxes.front(), "Return");
        }
        int code = WaitForExit(pid, 1);
        if (code != kStillRunning) {
            return code;
        }
    }
    return kStillRunning;
}

int XSession::WaitForExit(pid_t pid, double seconds) {
    Clock::time_point start = Clock::now();
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            started.erase(std::remove(started.begin(), started.end(), pid), started.end());
            return WIFEXITED(status) ? WEXITSTATUS(status) : kKilled;
        }
        if (Expired(start, seconds)) {
            return kStillRunning;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool XSession::IsRunning(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == 0) {
        return true;
    }
    // Reaped (or never ours): never signal that id again.
    started.erase(std::remove(started.begin(), started.end(), pid), started.end());
    return false;
}

void XSession::Kill(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    started.erase(std::remove(started.begin(), started.end(), pid), started.end());
}

}  // namespace guitest
