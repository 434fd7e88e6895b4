// The Windows program under Wine in a real window of a private Xvfb, against the test server at
// its built-in address: started, clicked and judged as the Linux program is, through the same
// fixture. scripts/test-windows runs it after the Windows build's own tests, with
// DOWNLOADER_WINDOWS_PROGRAM naming the executable and WINEPREFIX that build's Wine prefix.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "downloader_window_test.h"
#include "x_session.h"

namespace {

namespace fs = std::filesystem;
using guitest::Image;
using guitest::kBoxCaption;
using guitest::kPanelRight;
using guitest::kPanelX;
using guitest::kPanelY;
using guitest::Poll;
using guitest::XSession;

// Debian keeps the 64-bit loader off the PATH.
constexpr const char* kWine = "/usr/lib/wine/wine64";
constexpr const char* kWineServer = "/usr/lib/wine/wineserver";

class WindowsProgram : public guitest::DownloaderWindowTest {
protected:
    void SetUp() override {
        const char* exe = std::getenv("DOWNLOADER_WINDOWS_PROGRAM");
        const char* wine = std::getenv("WINEPREFIX");
        ASSERT_TRUE(exe != nullptr && wine != nullptr && fs::exists(exe) &&
                    fs::exists(fs::path(wine) / "system.reg"))
            << "run through scripts/test-windows: DOWNLOADER_WINDOWS_PROGRAM names the program "
               "and WINEPREFIX a Wine prefix made by the Windows build's tests";
        program_file = exe;
        prefix = wine;
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        DownloaderWindowTest::SetUp();
        // Wine's JPEG decoder rounds a few levels apart from the one that checks the skin.
        pictureTolerance = 8;
        // A first start: no download folder and no work folder (its version.txt would name the
        // folder of an earlier run).
        fs::remove_all(downloadFolder);
        for (const fs::path& folder : WorkFolders()) {
            fs::remove_all(folder);
        }
    }

    void TearDown() override {
        DownloaderWindowTest::TearDown();
        // The prefix's Wine processes belong to this test's display: they go with it.
        pid_t server = session.Start({kWineServer, "-k"});
        session.WaitForExit(server, 20);
        fs::remove_all(downloadFolder);
    }

    // The program's folder c:\download\dezirodor\ on Wine's drive c.
    std::string DefaultDownloadFolder() override { return prefix + "/drive_c/download/dezirodor/"; }

    pid_t LaunchProgram() override { return session.Start({kWine, program_file}); }

    // The program's work folders in the users' temporary folders of the prefix.
    std::vector<fs::path> WorkFolders() {
        std::vector<fs::path> found;
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(prefix + "/drive_c/users", error);
             it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it.depth() > 5) {
                it.disable_recursion_pending();
            } else if (it->path().filename() == "VuZediroze") {
                found.push_back(it->path());
            }
        }
        return found;
    }

    std::string program_file;
    std::string prefix;
};

TEST_F(WindowsProgram, OpensCentredWithTheSkinTheFolderAndThenTheTotalSize) {
    MakePackage();
    package->Serve();
    // A manifest of 5 GiB, served slowly: the window shows its first frame before the first
    // tick has fetched it.
    package->ServeManifest(guitest::TestPackage::ManifestOfSize(5368709120));
    test_support::Behaviour slow;
    slow.bytesPerSecond = 10;
    package->server->SetBehaviour("/file.json", slow);
    StartProgram();
    // Before the manifest the total size reads "0.000 GBytes"; under Wine the strip may stay
    // unpainted until its first tick, which fetches the manifest, has returned.
    const int totalValueX = layout.PanelEntry("total-size").valueX;
    const int totalX = kPanelX + totalValueX;
    const int totalWidth = kPanelRight - totalValueX;
    const int receivedX = kPanelX + layout.PanelEntry("total-recv").valueX;
    Image before = Shot(totalX, kPanelY, totalWidth, 20);
    int h = (kScreenHeight - background.height) / 2;
    EXPECT_EQ(left, (kScreenWidth - background.width) / 2);
    EXPECT_EQ(top, h + h / 10);
    for (const char* button : {"folder", "start", "cancel"}) {
        ExpectPicture(layout.Button(button), layout.Button(button).firstPicture);
    }
    for (const char* disabled : {"launch", "pause"}) {
        ExpectPicture(layout.Button(disabled), layout.Button(disabled).firstPicture + 3);
    }
    EXPECT_TRUE(HasInk(layout.folderX, layout.folderY, 173, 19, 100));  // the folder's text
    ASSERT_TRUE(Poll([&] { return Shot(totalX, kPanelY, totalWidth, 20) != before; }, 30))
        << session.Report();
    // Then both fields are drawn ("5.000 GBytes", "0.000 GBytes").
    EXPECT_GT(guitest::Ink(Shot(totalX, kPanelY, totalWidth, 20),
                           BackgroundAt(totalX, kPanelY, totalWidth, 20)),
              20);
    EXPECT_GT(guitest::Ink(Shot(receivedX, kPanelY, totalWidth, 20),
                           BackgroundAt(receivedX, kPanelY, totalWidth, 20)),
              20);
    SaveScreen("wine-window-opened");
}

TEST_F(WindowsProgram, DownloadsThePackageAfterAClickOnStart) {
    MakePackage();
    package->Serve(150000);  // bytes per second and transfer: a few seconds in all
    StartProgram();
    Click("start");
    ASSERT_TRUE(Poll([&] { return AllDownloaded(); }, 60)) << session.Report();
    ExpectPackageOnDisk();
    // Completion fills the bar and enables Launch.
    ExpectPicture(layout.Button("launch"), layout.Button("launch").firstPicture);
    EXPECT_TRUE(BarFilled());
    EXPECT_TRUE(Poll([&] { return ReceivedReadsAsTotal(); }, 3));
    ExpectPanelTextsApart("complete");
    SaveScreen("wine-window-complete");
}

TEST_F(WindowsProgram, PanelTextsStayApartWithTheWidestValues) {
    ExpectPanelTextsApartWithTheWidestValues(30);
}

// The system's pop-up menu on the right button and the keyboard: the limit chosen holds the
// download and is kept in the work folder.
TEST_F(WindowsProgram, ALimitChosenFromTheMenuHoldsTheDownloadAndIsKept) {
    Image chosen;
    ExpectSpeedLimitFromTheMenu(
        [&] {
            const std::vector<fs::path> work = WorkFolders();
            return work.size() == 1 ? (work[0] / "settings.txt").string() : "";
        },
        chosen);
}

TEST_F(WindowsProgram, CancelAsksAndOnlyOkStopsTheDownloadAndEnds) {
    ExpectOnlyOkOfTheCancelQuestionEnds(30);
}

}  // namespace

// A manifest changed on its way is refused in the real window before anything is fetched.
TEST_F(WindowsProgram, MirrorTakesOverWhenTheServerStops) {
    ExpectMirrorTakesOver(60);
}

TEST_F(WindowsProgram, ChangedManifestIsRefusedAndNothingIsDownloaded) {
    ExpectChangedManifestRefused(60);
}
