// How the Linux backend starts the downloaded installer (LaunchElevated in platform/system.h):
// the decision which command line starts it, apart from the starting, so that tests can ask
// for it without starting anything.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace platform::posix {

// What the decision needs to know of the system.
struct LaunchTools {
    std::string pkexec;      // where pkexec is installed; empty when it is not
    std::string wine;        // where wine is installed; empty when it is not
    std::string display;     // the X display the installer should show on; may be empty
    std::string xauthority;  // the key to that display; may be empty
};

enum class LaunchWay {
    kElevated,  // a native program through pkexec; when refused, as the caller says
    kDirect,    // a native program with the user's own rights (no pkexec)
    kWine,      // a Windows program through Wine
};

struct LaunchCommand {
    LaunchWay way;
    std::string file;               // the installer, absolute
    std::vector<std::string> argv;  // what to start, its program first
    std::string folder;             // the working folder to start it in
};

// The installer `name` as an absolute path: as it is, or relative to `folder`.
std::string InstallerPath(const std::string& name, const std::string& folder);

// The command that starts the installer `name` (absolute, or relative to `folder`, the
// download folder) in `folder` without arguments, given the file's first bytes (`head`, none
// when it cannot be read): a native program (ELF, or a script starting with "#!") elevated
// when pkexec is there, a Windows program ("MZ") through Wine when Wine is there. Nothing when
// it cannot be started at all.
std::optional<LaunchCommand> PlanLaunch(const std::string& name, const std::string& folder,
                                        const std::optional<std::string>& head,
                                        const LaunchTools& tools, WhenElevationRefused whenRefused);

}  // namespace platform::posix
