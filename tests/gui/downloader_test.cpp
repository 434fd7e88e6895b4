// The real program in a real window under a private Xvfb, against the test server at its
// built-in address: driven with real input, judged from screenshots and the files on disk.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "downloader_window_test.h"
#include "test_package.h"
#include "x_input.h"
#include "x_session.h"

namespace {

using guitest::ButtonLayout;
using guitest::Image;
using guitest::Ink;
using guitest::kBoxCaption;
using guitest::kMainTitle;
using guitest::kPanelHeight;
using guitest::kPanelRight;
using guitest::kPanelX;
using guitest::kPanelY;
using guitest::Poll;
using guitest::ReadFile;

// The Linux program.
class DownloaderWindow : public guitest::DownloaderWindowTest {};

TEST_F(DownloaderWindow, OpensCentredWithTheFolderAndThenTheTotalSize) {
    MakePackage();
    package->Serve();
    // A manifest of 5 GiB, served slowly: the window shows its first frame before the first
    // tick has fetched it.
    package->ServeManifest(guitest::TestPackage::ManifestOfSize(5368709120));
    test_support::Behaviour slow;
    slow.bytesPerSecond = 100;
    package->server->SetBehaviour("/file.json", slow);
    StartProgram();
    int h = (kScreenHeight - background.height) / 2;
    EXPECT_EQ(left, (kScreenWidth - background.width) / 2);
    EXPECT_EQ(top, h + h / 10);
    EXPECT_TRUE(HasInk(layout.folderX, layout.folderY, 173, 19, 100));  // the folder's text
    // Before the manifest: the total size reads as nothing received does ("0.000 GBytes").
    const int totalValueX = layout.PanelEntry("total-size").valueX;
    const int totalX = kPanelX + totalValueX;
    const int totalWidth = kPanelRight - totalValueX;
    const int receivedX = kPanelX + layout.PanelEntry("total-recv").valueX;
    Image before = Shot(totalX, kPanelY, totalWidth, 20);
    Image received = Shot(receivedX, kPanelY, totalWidth, 20);
    EXPECT_GT(Ink(before, BackgroundAt(totalX, kPanelY, totalWidth, 20)), 20);
    ASSERT_TRUE(Poll([&] { return Shot(totalX, kPanelY, totalWidth, 20) != before; }, 20))
        << session.Report();
    // "5.000 GBytes": one glyph differs from "0.000 GBytes", the received field stays.
    EXPECT_EQ(Shot(receivedX, kPanelY, totalWidth, 20), received);
    EXPECT_TRUE(session.FindWindows(kBoxCaption).empty());
    SaveScreen("window-opened");
}

TEST_F(DownloaderWindow, MirrorTakesOverWhenTheServerStops) {
    ExpectMirrorTakesOver(30);
}

// Start, Pause, Start again, completion, Launch: the whole job through the window.
TEST_F(DownloaderWindow, DownloadsPausesResumesAndLaunchesTheInstaller) {
    MakePackage();
    package->Serve(150000);  // bytes per second and transfer: a few seconds in all
    // A stand-in for the elevation command that records how it was called, then runs the file.
    std::string bin = session.Folder() + "/bin";
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "/pkexec")
        << "#!/bin/sh\necho \"$PWD|$*\" > '" << session.Folder() << "/pkexec-called'\n"
        << "case \"$1\" in /*) exec \"$@\" ;; *) exec \"./$1\" ;; esac\n";
    chmod((bin + "/pkexec").c_str(), 0755);
    setenv("PATH", (bin + ":" + std::getenv("PATH")).c_str(), 1);
    StartProgram();
    ExpectPicture(layout.Button("launch"), layout.Button("launch").firstPicture + 3);

    Click("start");
    ASSERT_TRUE(Poll([&] { return BarFilled(); }, 20)) << session.Report();

    Click("pause");
    // Every transfer has stopped once the sizes hold still; they must stay so.
    std::map<std::string, int64_t> paused;
    ASSERT_TRUE(Poll([&] {
        std::map<std::string, int64_t> before = SizesOnDisk();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        paused = SizesOnDisk();
        return before == paused;
    })) << session.Report();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(SizesOnDisk(), paused);
    ASSERT_FALSE(AllDownloaded()) << "the package was complete before Pause";

    size_t requestsBefore = package->server->Requests().size();
    Click("start");
    ASSERT_TRUE(Poll([&] { return AllDownloaded(); }, 60)) << session.Report();
    ExpectPackageOnDisk();
    // The transfers after the pause went on from the bytes on disk.
    bool resumed = false;
    std::vector<test_support::ReceivedRequest> requests = package->server->Requests();
    for (size_t i = requestsBefore; i < requests.size(); ++i) {
        resumed |= !requests[i].range.empty() && requests[i].range != "bytes=0-";
    }
    EXPECT_TRUE(resumed);

    // Completion enables Launch and shows all of the package received; Launch starts the
    // installer and the program ends with 1.
    ExpectPicture(layout.Button("launch"), layout.Button("launch").firstPicture);
    EXPECT_TRUE(Poll([&] { return ReceivedReadsAsTotal(); }, 3));
    ExpectPanelTextsApart("complete");
    Click("launch");
    EXPECT_EQ(session.WaitForExit(program, 20), 1) << session.Report();
    ASSERT_TRUE(Poll([&] { return std::filesystem::exists(downloadFolder + "installer-ran"); }))
        << session.Report()
        << "elevation called as: " << ReadFile(session.Folder() + "/pkexec-called");
    std::string call = ReadFile(session.Folder() + "/pkexec-called");
    EXPECT_NE(call.find("setup.exe"), std::string::npos) << call;
    // Started in the download folder with no arguments.
    std::string ran = ReadFile(downloadFolder + "installer-ran");
    EXPECT_EQ(std::filesystem::path(ran.substr(0, ran.find(' '))),
              std::filesystem::path(downloadFolder).parent_path())
        << ran;
    EXPECT_EQ(ran.substr(ran.find(' ')), " \n") << ran;
}

TEST_F(DownloaderWindow, PanelTextsStayApartWithTheWidestValues) {
    ExpectPanelTextsApartWithTheWidestValues(20);
}

TEST_F(DownloaderWindow, CancelAsksAndOnlyOkStopsTheDownloadAndEnds) {
    ExpectOnlyOkOfTheCancelQuestionEnds(20);
}

// Requests that arrive while a confirmed close or a Pause waits for the transfers to stop
// are refused, not run inside the wait: the program ends once, with 1, never by a signal.
TEST_F(DownloaderWindow, RequestsDuringAStopAreRefused) {
    MakePackage();
    package->Serve(20000);
    for (int round = 0; round < 2; ++round) {
        for (const char* during : {"close", "pause"}) {
            SCOPED_TRACE(std::string(during) + " round " + std::to_string(round));
            StartProgram();
            Click("start");
            ASSERT_TRUE(Poll([&] { return BarFilled(); }, 20)) << session.Report();
            if (std::string(during) == "close") {
                Click("cancel");
                std::vector<std::string> box = session.WaitForWindow(kBoxCaption, 10);
                ASSERT_EQ(box.size(), 1u) << session.Report();
                // OK, and at once a close request and Escape while the transfers stop.
                input->Key(std::stoul(box[0]), "Return");
                input->RequestClose(xid);
                input->Key(xid, "Escape");
            } else {
                // Cancel at once after Pause: refused while the transfers stop, so the user
                // clicks again until the question shows.
                Click("pause");
                ASSERT_TRUE(Poll([&] {
                    Click("cancel");
                    return !session.WaitForWindow(kBoxCaption, 1).empty();
                })) << session.Report();
            }
            ASSERT_EQ(session.AnswerBox(program, kBoxCaption, 20), 1) << session.Report();
        }
    }
}

TEST_F(DownloaderWindow, EscapeAndACloseRequestAskTheSameQuestion) {
    MakePackage();
    package->Serve();
    for (const char* how : {"Escape", "close request"}) {
        SCOPED_TRACE(how);
        StartProgram();
        std::vector<std::string> box;
        // The first key may arrive before the window has the focus: ask again until it shows.
        ASSERT_TRUE(Poll([&] {
            if (std::string(how) == "Escape") {
                input->Key(xid, "Escape");
            } else {
                input->RequestClose(xid);
            }
            return !(box = session.WaitForWindow(kBoxCaption, 2)).empty();
        })) << session.Report();
        EXPECT_EQ(session.AnswerBox(program, kBoxCaption, 20), 1) << session.Report();
    }
}

TEST_F(DownloaderWindow, ManifestThatCannotBeFetchedWarnsAndEndsWithZero) {
    MakePackage();
    package->Serve();
    test_support::Behaviour missing;
    missing.errorStatus = 404;
    package->server->SetBehaviour("/file.json", missing);
    program = session.StartProgram();
    ASSERT_EQ(session.WaitForWindow(kBoxCaption, 20).size(), 1u) << session.Report();
    EXPECT_EQ(session.AnswerBox(program, kBoxCaption, 20), 0) << session.Report();
}

// The folder command: the picker refuses "/", takes a new folder typed by the user; the next
// start of the program remembers it (version.txt) and downloads into it.
TEST_F(DownloaderWindow, ChosenFolderIsKeptForTheNextStartAndDownloadedInto) {
    MakePackage();
    package->Serve();
    StartProgram();
    Click("folder");
    // The picker carries the program's title: the top-level that is not the main window.
    unsigned long picker = 0;
    ASSERT_TRUE(Poll([&] {
        for (const std::string& id : session.FindWindows(kMainTitle)) {
            if (std::stoul(id) != xid) {
                picker = std::stoul(id);
            }
        }
        return picker != 0;
    })) << session.Report();
    input->Key(picker, "Control_L+l");
    input->Type(picker, "/");
    input->Key(picker, "Return");
    EXPECT_FALSE(Poll([&] { return session.FindWindows(kMainTitle).size() == 1; }, 1))
        << "the picker took \"/\"";
    const std::string chosen = session.HomeFolder() + "download/mine";
    input->Key(picker, "Control_L+l");
    input->Key(picker, "Control_L+a");
    input->Type(picker, chosen);
    input->Key(picker, "Return");
    ASSERT_TRUE(Poll([&] { return session.FindWindows(kMainTitle).size() == 1; }))
        << session.Report();
    EXPECT_TRUE(std::filesystem::is_directory(chosen));
    const std::string version = session.StateFolder() + "VuZediroze/version.txt";
    EXPECT_NE(ReadFile(version).find(chosen), std::string::npos) << ReadFile(version);

    input->Key(xid, "Escape");
    ASSERT_EQ(session.AnswerBox(program, kBoxCaption, 20), 1) << session.Report();

    StartProgram();
    downloadFolder = chosen + "/";
    Click("start");
    ASSERT_TRUE(Poll([&] { return AllDownloaded(); }, 60)) << session.Report();
    ExpectPackageOnDisk();
    EXPECT_FALSE(std::filesystem::exists(session.HomeFolder() + "download/dezirodor/data1.pak"));
}

// A server that answers the manifest's headers and then nothing: the window waits for the
// manifest's stall limit (15 s without a byte; libcurl notices some seconds later), then warns
// and ends with 0.
TEST_F(DownloaderWindow, ManifestServerThatStallsWarnsWithinTheStallLimit) {
    MakePackage();
    package->Serve();
    test_support::Behaviour stalled;
    stalled.stall = true;
    package->server->SetBehaviour("/file.json", stalled);
    program = session.StartProgram();
    std::vector<std::string> box = session.WaitForWindow(kBoxCaption, 45);
    ASSERT_EQ(box.size(), 1u) << session.Report();
    EXPECT_EQ(session.AnswerBox(program, kBoxCaption, 20), 0) << session.Report();
}

}  // namespace

// A manifest changed on its way is refused in the real window before anything is fetched.
TEST_F(DownloaderWindow, ChangedManifestIsRefusedAndNothingIsDownloaded) {
    ExpectChangedManifestRefused(20);
}

// While a slow server trickles the manifest the window keeps answering: Cancel asks, and OK
// ends the program at once with 1.
TEST_F(DownloaderWindow, CancelAnswersWhileTheManifestTrickles) {
    MakePackage();
    package->Serve();
    test_support::Behaviour slow;
    slow.bytesPerSecond = 10;
    package->server->SetBehaviour("/file.json", slow);
    StartProgram();
    Click("cancel");
    ASSERT_EQ(session.WaitForWindow(kBoxCaption, 10).size(), 1u) << session.Report();
    EXPECT_EQ(session.AnswerBox(program, kBoxCaption, 20), 1) << session.Report();
}

// The download folder on a small file system of the test's own (the test runs in a user
// namespace of its own, so it may mount one): Start refuses what does not fit, a disk that fills
// during the run is told once, and Start after space was freed completes the same files.
TEST_F(DownloaderWindow, RoomIsCheckedAtStartAndAFullDiskIsToldOnce) {
    MakePackage();
    package->Serve(100000);
    std::filesystem::create_directories(downloadFolder);
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << std::strerror(errno);
    ASSERT_EQ(mount("room", downloadFolder.c_str(), "tmpfs", 0, "size=1m,mode=700"), 0)
        << std::strerror(errno);
    StartProgram();
    Click("start");
    std::vector<std::string> box = session.WaitForWindow(kBoxCaption, 20);
    ASSERT_EQ(box.size(), 1u) << session.Report();
    SaveScreen("room-refused-at-start");
    for (const auto& request : package->server->Requests()) {
        EXPECT_EQ(request.path.rfind("/file.json", 0), 0u) << request.path;
    }
    session.PressKey(box[0], "Return");
    ASSERT_TRUE(Poll([&] { return session.FindWindows(kBoxCaption).empty(); }, 10));

    ASSERT_EQ(mount(nullptr, downloadFolder.c_str(), nullptr, MS_REMOUNT, "size=8m,mode=700"), 0);
    Click("start");
    ASSERT_TRUE(Poll([&] { return BarFilled(); }, 20)) << session.Report();
    // Fills the disk but for a little: the transfers write into what is left.
    struct statvfs room {};
    ASSERT_EQ(statvfs(downloadFolder.c_str(), &room), 0);
    const std::string filler = downloadFolder + "filler";
    std::ofstream(filler, std::ios::binary)
        << std::string(room.f_bavail * room.f_frsize - 64 * 1024, 'x');
    box = session.WaitForWindow(kBoxCaption, 30);
    ASSERT_EQ(box.size(), 1u) << session.Report();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(session.FindWindows(kBoxCaption).size(), 1u);
    SaveScreen("disk-full-during-the-run");
    session.PressKey(box[0], "Return");
    ASSERT_TRUE(Poll([&] { return session.FindWindows(kBoxCaption).empty(); }, 10));

    std::filesystem::remove(filler);
    Click("start");
    ASSERT_TRUE(Poll([&] { return AllDownloaded(); }, 60)) << session.Report();
    ExpectPackageOnDisk();
    EXPECT_TRUE(session.FindWindows(kBoxCaption).empty());
}

// Clock ticks the process `pid` has run for.
long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        user = i == 14 ? std::stol(field) : user;
        system = i == 15 ? std::stol(field) : system;
    }
    return user + system;
}

// A package found whole in the download folder is read back at Start: while it is checked the
// bar fills and the remaining time's place shows the checking text with its count.
TEST_F(DownloaderWindow, FilesFoundWholeAreCheckedWithTheBarAndTheStatusMoving) {
    // Zeros that take a few seconds to check but no time to write (sparse files).
    const std::string big = "big.bin";
    const auto makeBig = [&](const std::string& folder) {
        std::filesystem::create_directories(folder);
        std::ofstream(folder + big, std::ios::binary).flush();
        std::filesystem::resize_file(folder + big, uintmax_t{2} << 30);
    };
    makeBig(session.Folder() + "/package/");
    MakePackage();
    package->Serve();
    makeBig(downloadFolder);
    for (const std::string& name : package->Files()) {
        std::filesystem::create_directories(
            std::filesystem::path(downloadFolder + name).parent_path());
        std::filesystem::copy_file(package->Path(name), downloadFolder + name);
    }
    StartProgram();
    const int statusX = kPanelX + 57;
    const Image status = Shot(statusX, kPanelY, 103, 20);
    const guitest::BarLayout& bar = layout.bar;
    const auto fill = [&] {
        const Image row = Shot(bar.x, bar.y + bar.height - 2, bar.width, 1);
        return std::count(row.pixels.begin(), row.pixels.end(), bar.foreground);
    };
    Click("start");
    std::set<long> fills;
    bool statusShown = false;
    const auto watch = [&](bool toTheEnd) {
        return Poll(
            [&] {
                const long filled = fill();
                if (filled > 0 && filled < bar.width - 8) {
                    fills.insert(filled);
                    if (!statusShown && (statusShown = Shot(statusX, kPanelY, 103, 20) != status)) {
                        SaveScreen("checking-files-found-whole");
                    }
                }
                if (!toTheEnd) {
                    return fills.size() >= 2 && statusShown;
                }
                return session.FindWindows(kBoxCaption).empty() && filled >= bar.width - 8;
            },
            120);
    };
    ASSERT_TRUE(watch(false)) << session.Report();
    // A Pause ends the check at once: the busy program goes idle, and Start is back.
    const auto ticksInASecond = [&] {
        const long before = CpuTicks(program);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return CpuTicks(program) - before;
    };
    const long checking = ticksInASecond();
    Click("pause");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long paused = ticksInASecond();
    EXPECT_LT(paused * 4, checking) << paused << " ticks paused, " << checking << " checking";
    ExpectPicture(layout.Button("start"), layout.Button("start").firstPicture);
    Click("start");
    ASSERT_TRUE(watch(true)) << session.Report();
    EXPECT_GE(fills.size(), 3u);
    EXPECT_TRUE(statusShown);
    ExpectPicture(layout.Button("launch"), layout.Button("launch").firstPicture);
    ExpectPackageOnDisk();
}
