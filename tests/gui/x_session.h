// A private X server and the program's processes for GUI tests. Everything started here is
// stopped again, by its process id, when the session ends.
#pragma once

#include <sys/types.h>

#include <string>
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
    // The ids of the windows whose title is exactly `title`, polled for up to `seconds`.
    std::vector<std::string> WaitForWindow(const std::string& title, double seconds);
    std::vector<std::string> FindWindows(const std::string& title);
    // Focuses the window and types one key into it ("Return", "Escape").
    void PressKey(const std::string& window, const std::string& key);
    // The exit code of `pid`, or -1000 when it has not ended within `seconds` (or was killed).
    int WaitForExit(pid_t pid, double seconds);
    bool IsRunning(pid_t pid);
    void Kill(pid_t pid);
    std::string TempFolder() const { return folder + "/tmp/"; }

private:
    pid_t Spawn(const std::vector<std::string>& argv);
    std::string Run(const std::vector<std::string>& argv);

    std::string folder;
    pid_t xvfb = -1;
    std::vector<pid_t> started;
};

}  // namespace guitest
