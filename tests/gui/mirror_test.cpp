// A mirror taking over in the real program: the first server stops in the middle of the
// download, the files come from the mirror named in the manifest, and the window completes as
// always, without a warning.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "downloader_window_test.h"
#include "test_package.h"
#include "x_session.h"

namespace {

using guitest::kBoxCaption;
using guitest::Poll;

class MirrorWindow : public guitest::DownloaderWindowTest {};

TEST_F(MirrorWindow, MirrorTakesOverWhenTheServerStops) {
    package = std::make_unique<guitest::TestPackage>(
        session.Folder() + "/package",
        std::vector<std::pair<std::string, int64_t>>{
            {"data1.pak", 500000}, {"data2.pak", 400000}, {"movies/intro.bin", 450000}},
        true);
    package->Serve(100000);  // bytes per second and transfer
    package->ServeMirror();
    StartProgram();
    Click("start");
    ASSERT_TRUE(Poll([&] { return BarFilled(); }, 20)) << session.Report();
    ASSERT_FALSE(AllDownloaded()) << "the package was complete before the server stopped";
    const size_t askedBefore = package->mirror->Requests().size();
    package->server->Stop();

    ASSERT_TRUE(Poll([&] { return AllDownloaded(); }, 60)) << session.Report();
    ExpectPackageOnDisk();
    EXPECT_GT(package->mirror->Requests().size(), askedBefore);
    // Completion enables Launch, and nothing was shown.
    ExpectPicture(layout.Button("launch"), layout.Button("launch").firstPicture);
    EXPECT_TRUE(session.FindWindows(kBoxCaption).empty()) << session.Report();
    SaveScreen("mirror-took-over");
}

}  // namespace
