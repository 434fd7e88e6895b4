// Starting the downloaded installer on Linux: which command line starts which file, and real
// starts through stand-ins for pkexec and Wine that record how they were called.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/launch.h"
#include "platform/system.h"

namespace {

namespace fs = std::filesystem;
using platform::posix::LaunchCommand;
using platform::posix::LaunchTools;
using platform::posix::LaunchWay;
using platform::posix::PlanLaunch;
constexpr auto kRunWithUserRights = platform::WhenElevationRefused::kRunWithUserRights;
constexpr auto kStartNothing = platform::WhenElevationRefused::kStartNothing;

const std::string kElf = "\177ELF";

TEST(GtkLaunch, EachKindOfFileHasItsCommandLine) {
    const LaunchTools all{"/usr/bin/pkexec", "/usr/bin/wine", ":0", "/home/u/.Xauthority"};
    const LaunchTools none{"", "", ":0", ""};
    const std::string folder = "/home/u/ゲーム ダウンロード";
    struct Case {
        const char* what;
        std::string name;
        std::optional<std::string> head;
        LaunchTools tools;
        std::optional<LaunchWay> way;  // none: cannot be started
        std::string file;              // the installer as started
    };
    for (const Case& c : std::vector<Case>{
             {"native program", "setup.exe", kElf, all, LaunchWay::kElevated,
              folder + "/setup.exe"},
             {"script", "install.sh", std::string("#!/bin/sh"), all, LaunchWay::kElevated,
              folder + "/install.sh"},
             {"native program without pkexec", "setup.exe", kElf, none, LaunchWay::kDirect,
              folder + "/setup.exe"},
             {"windows program", "setup.exe", std::string("MZ\x90"), all, LaunchWay::kWine,
              folder + "/setup.exe"},
             {"windows program without wine",
              "setup.exe",
              std::string("MZ\x90"),
              {"/usr/bin/pkexec", "", ":0", ""},
              std::nullopt,
              ""},
             {"missing or unreadable file", "setup.exe", std::nullopt, all, std::nullopt, ""},
             {"empty file", "setup.exe", std::string(), all, std::nullopt, ""},
             {"unknown format", "setup.exe", std::string("PK\x03\x04"), all, std::nullopt, ""},
             {"absolute name", "/opt/インストーラ/setup.exe", kElf, all, LaunchWay::kElevated,
              "/opt/インストーラ/setup.exe"},
             {"name in a subfolder with a space", "disk 1/セットアップ.exe", kElf, all,
              LaunchWay::kElevated, folder + "/disk 1/セットアップ.exe"},
             {"no name", "", kElf, all, std::nullopt, ""},
         }) {
        std::optional<LaunchCommand> command =
            PlanLaunch(c.name, folder, c.head, c.tools, kRunWithUserRights);
        ASSERT_EQ(command.has_value(), c.way.has_value()) << c.what;
        if (!command) {
            continue;
        }
        EXPECT_EQ(command->way, *c.way) << c.what;
        EXPECT_EQ(command->file, c.file) << c.what;
        // Started in the download folder, whatever the name.
        EXPECT_EQ(command->folder, folder) << c.what;
        const std::vector<std::string>& argv = command->argv;
        switch (command->way) {
            case LaunchWay::kDirect:
                EXPECT_EQ(argv, std::vector<std::string>{c.file}) << c.what;
                break;
            case LaunchWay::kWine:
                EXPECT_EQ(argv, (std::vector<std::string>{"/usr/bin/wine", c.file})) << c.what;
                break;
            case LaunchWay::kElevated:
                // A shell of the user's that calls pkexec: the file and the folder pass as
                // whole arguments, never through a shell's word splitting.
                EXPECT_TRUE(argv.front().starts_with("/")) << c.what;
                for (const std::string& whole :
                     {c.tools.pkexec, c.file, folder, c.tools.display, c.tools.xauthority}) {
                    EXPECT_EQ(std::count(argv.begin(), argv.end(), whole), 1) << c.what << whole;
                }
                break;
        }
    }
}

TEST(GtkLaunch, RelativeNamesNeedTheFolder) {
    EXPECT_FALSE(PlanLaunch("setup.exe", "", kElf, {}, kRunWithUserRights).has_value());
    EXPECT_EQ(platform::posix::InstallerPath("setup.exe", "/dl/"), "/dl/setup.exe");
    EXPECT_EQ(platform::posix::InstallerPath("/abs/setup.exe", "/dl"), "/abs/setup.exe");
}

// A download folder with stand-ins for pkexec and Wine first (and alone) on PATH, and an
// installer that records where it ran, with how many arguments, whether it was elevated and
// on which display it would show.
class RealLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("dl-launch-" + std::to_string(getpid()));
        fs::remove_all(root);
        tools = root / "bin";
        downloads = root / "ダウンロード folder";
        fs::create_directories(tools);
        fs::create_directories(downloads / "disk 1");
        savedPath = std::getenv("PATH");
        setenv("PATH", tools.c_str(), 1);
        const char* display = std::getenv("DISPLAY");
        savedDisplay = display != nullptr ? std::optional<std::string>(display) : std::nullopt;
        setenv("DISPLAY", ":77", 1);
        savedFolder = platform::CurrentFolder();
        ASSERT_TRUE(platform::SetCurrentFolder(downloads.c_str()));
    }
    void TearDown() override {
        platform::SetCurrentFolder(savedFolder.c_str());
        setenv("PATH", savedPath.c_str(), 1);
        if (savedDisplay) {
            setenv("DISPLAY", savedDisplay->c_str(), 1);
        } else {
            unsetenv("DISPLAY");
        }
        fs::remove_all(root);
    }

    // A script at `path` that runs `body`; executable when `runnable`.
    void Script(const fs::path& path, const std::string& body, bool runnable = true) {
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, runnable ? fs::perms(0755) : fs::perms(0644));
    }
    // Shell lines that write the lines `values` (shell words) to `file` whole: a reader never
    // sees a part of them.
    static std::string WriteLines(const std::string& values, const fs::path& file) {
        return "printf '%s\\n' " + values + " > '" + file.string() + ".part'\n/bin/mv '" +
               file.string() + ".part' '" + file.string() + "'\n";
    }
    // A stand-in for `name` that records its folder and arguments, then runs `then`.
    void StandIn(const std::string& name, const std::string& then) {
        Script(tools / name, WriteLines("\"$PWD\" \"$@\"", root / (name + ".log")) + then);
    }
    // The installer, not runnable as downloaded.
    fs::path Installer() {
        fs::path installer = downloads / "disk 1" / "セットアップ.exe";
        Script(installer,
               WriteLines("\"$PWD\" \"$#\" \"${ELEVATED:-user}\" \"$DISPLAY\"", Record()), false);
        return installer;
    }
    fs::path Record() const { return root / "installer.record"; }

    // The lines of `file` once it exists (the installer runs detached); empty after 10 s.
    static std::vector<std::string> WaitForLines(const fs::path& file) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(file) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ifstream in(file);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    fs::path root;
    fs::path tools;
    fs::path downloads;
    std::string savedPath;
    std::optional<std::string> savedDisplay;
    std::string savedFolder;
};

// pkexec, as the real one does, starts its program in the administrator's home folder with a
// clean environment (no display among it).
constexpr const char* kPkexec = "cd /\nexec /usr/bin/env -i ELEVATED=root \"$@\"\n";

TEST_F(RealLaunch, NativeInstallerRunsElevatedInTheDownloadFolderWithoutArguments) {
    StandIn("pkexec", kPkexec);
    fs::path installer = Installer();
    ASSERT_TRUE(platform::LaunchElevated("disk 1/セットアップ.exe", kRunWithUserRights));
    EXPECT_EQ(WaitForLines(Record()),
              (std::vector<std::string>{downloads.string(), "0", "root", ":77"}));
    // pkexec was asked from the download folder, for the installer by its absolute name.
    std::vector<std::string> asked = WaitForLines(root / "pkexec.log");
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), downloads.string());
    EXPECT_NE(std::find(asked.begin(), asked.end(), installer.string()), asked.end());
    EXPECT_TRUE((fs::status(installer).permissions() & fs::perms::owner_exec) != fs::perms::none);
}

// The user dismissed the password prompt (126) or no one could answer it (127): the installer
// runs with the user's own rights, in the download folder all the same, when the caller asks for
// that; otherwise nothing runs.
TEST_F(RealLaunch, RefusedElevationDoesWhatTheCallerSays) {
    for (const auto whenRefused : {kRunWithUserRights, kStartNothing}) {
        for (const char* refusal : {"exit 126\n", "exit 127\n"}) {
            const bool runs = whenRefused == kRunWithUserRights;
            // The stand-in tells which shell called it: once that shell has ended, whatever it
            // was to start has started.
            StandIn("pkexec", WriteLines("\"$PPID\"", root / "shell.pid") + refusal);
            Installer();
            ASSERT_TRUE(platform::LaunchElevated("disk 1/セットアップ.exe", whenRefused));
            const std::vector<std::string> shell = WaitForLines(root / "shell.pid");
            ASSERT_EQ(shell.size(), 1u) << refusal;
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (kill(std::stoi(shell[0]), 0) == 0 && std::chrono::steady_clock::now() < end) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (runs) {
                EXPECT_EQ(WaitForLines(Record()),
                          (std::vector<std::string>{downloads.string(), "0", "user", ":77"}))
                    << refusal;
            } else {
                EXPECT_FALSE(fs::exists(Record())) << refusal;
            }
            EXPECT_FALSE(WaitForLines(root / "pkexec.log").empty()) << refusal;
            for (const char* file : {"installer.record", "pkexec.log", "shell.pid"}) {
                fs::remove(root / file);
            }
        }
    }
}

TEST_F(RealLaunch, WithoutPkexecTheInstallerRunsWithTheUsersRights) {
    Installer();
    ASSERT_TRUE(platform::LaunchElevated("disk 1/セットアップ.exe", kRunWithUserRights));
    EXPECT_EQ(WaitForLines(Record()),
              (std::vector<std::string>{downloads.string(), "0", "user", ":77"}));
}

TEST_F(RealLaunch, WindowsInstallerRunsThroughWineInTheDownloadFolder) {
    StandIn("pkexec", kPkexec);
    fs::path installer = downloads / "setup.exe";
    std::ofstream(installer) << "MZ\x90";
    EXPECT_FALSE(platform::LaunchElevated("setup.exe", kRunWithUserRights));  // no Wine yet
    StandIn("wine", "");
    ASSERT_TRUE(platform::LaunchElevated("setup.exe", kRunWithUserRights));
    EXPECT_EQ(WaitForLines(root / "wine.log"),
              (std::vector<std::string>{downloads.string(), installer.string()}));
    EXPECT_FALSE(fs::exists(root / "pkexec.log"));
}

TEST_F(RealLaunch, WhatCannotBeStartedIsReported) {
    StandIn("pkexec", kPkexec);
    StandIn("wine", "");
    std::ofstream(downloads / "empty.exe");
    std::ofstream(downloads / "archive.exe") << "PK\x03\x04";
    fs::create_directory(downloads / "folder.exe");
    for (const char* name : {"missing.exe", "empty.exe", "archive.exe", "folder.exe"}) {
        EXPECT_FALSE(platform::LaunchElevated(name, kRunWithUserRights)) << name;
    }
    EXPECT_FALSE(fs::exists(root / "pkexec.log"));
    EXPECT_FALSE(fs::exists(root / "wine.log"));
}

}  // namespace
