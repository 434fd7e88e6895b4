// A private X server and the program's processes for GUI tests. Everything started here is
// stopped again, by its process id, when the session ends.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace guitest {

class XSession {
public:
    // Starts Xvfb on a free display and points this process's environment at it and at
    // private runtime, temporary and home folders.
    XSession();
    ~XSession();

    // Starts the program; its process id.
    pid_t StartProgram();
    // Starts `argv` (the program file first) with its output in the session's logs; its id.
    pid_t Start(const std::vector<std::string>& argv);
    // The ids of the windows whose title is exactly `title`, polled for up to `seconds`.
    std::vector<std::string> WaitForWindow(const std::string& title, double seconds);
    std::vector<std::string> FindWindows(const std::string& title);
    // Focuses the window and types one key into it ("Return", "Escape").
    void PressKey(const std::string& window, const std::string& key);
    static constexpr int kStillRunning = -1000;
    static constexpr int kKilled = -1001;
    // The exit code of `pid`, kStillRunning when it has not ended within `seconds`, kKilled
    // when a signal ended it.
    int WaitForExit(pid_t pid, double seconds);
    // Answers the box titled `title` with Return until `pid` ends; its exit code as above.
    int AnswerBox(pid_t pid, const std::string& title, double seconds);
    bool IsRunning(pid_t pid);
    void Kill(pid_t pid);
    // What `pid` (started here) has written to its standard output and error so far.
    std::string OutputOf(pid_t pid);
    // The session's private folder, removed when it ends.
    const std::string& Folder() const { return folder; }
    // The home folder of the session's user (ends in "/").
    std::string HomeFolder() const { return folder + "/home/"; }
    // The user's state folder of the session, which holds the program's work folder.
    std::string StateFolder() const { return HomeFolder() + ".local/state/"; }
    // For a failure message: whether the X server and each started program still run, and
    // what the programs wrote to their standard error.
    std::string Report();

private:
    // Starts Xvfb on a free display; its number.
    std::string StartServer();
    // Starts `argv`; its standard output and error go to `log` when one is given.
    pid_t Spawn(const std::vector<std::string>& argv, const std::string& log = "");
    std::string Run(const std::vector<std::string>& argv);

    std::string folder;
    pid_t xvfb = -1;
    std::vector<pid_t> started;
    std::vector<pid_t> everStarted;
    std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment;
};

}  // namespace guitest
