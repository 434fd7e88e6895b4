#include "downloader_window_test.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace guitest {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

int64_t SizeOnDisk(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

int LightPixels(const Image& shot) {
    int light = 0;
    for (uint32_t pixel : shot.pixels) {
        light += (pixel >> 16 & 0xFF) > 0xE0 && (pixel >> 8 & 0xFF) > 0xE0 && (pixel & 0xFF) > 0xE0;
    }
    return light;
}

int Ink(const Image& shot, const Image& background) {
    int count = 0;
    for (size_t i = 0; i < shot.pixels.size() && i < background.pixels.size(); ++i) {
        count += shot.pixels[i] != background.pixels[i] ? 1 : 0;
    }
    return count;
}

bool ChannelsApart(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > tolerance) {
            return true;
        }
    }
    return false;
}

std::vector<TextBox> TextBoxes(const Image& shot, const Image& background, int tolerance, int gap) {
    std::vector<TextBox> boxes;
    for (int column = 0; column < shot.width; ++column) {
        bool ink = false;
        for (int row = 0; row < shot.height && !ink; ++row) {
            ink = ChannelsApart(shot.At(column, row), background.At(column, row), tolerance);
        }
        if (!ink) {
            continue;
        }
        if (!boxes.empty() && column - boxes.back().right < gap) {
            boxes.back().right = column + 1;
        } else {
            boxes.push_back({column, column + 1});
        }
    }
    return boxes;
}

void DownloaderWindowTest::SetUp() {
    SkinnedWindowTest::SetUp();
    background = LoadImageFile(std::string(SKIN_FOLDER) + "/102.jpg");
    ASSERT_EQ(background.width, 640);
    downloadFolder = DefaultDownloadFolder();
}

std::string DownloaderWindowTest::DefaultDownloadFolder() {
    return session.HomeFolder() + "download/dezirodor/";
}

pid_t DownloaderWindowTest::LaunchProgram() {
    return session.StartProgram();
}

void DownloaderWindowTest::MakePackage(bool mirrored) {
    package = std::make_unique<TestPackage>(
        session.Folder() + "/package",
        std::vector<std::pair<std::string, int64_t>>{{"data1.pak", 500000},
                                                     {"data2.pak", 400000},
                                                     {"movies/intro.bin", 450000},
                                                     {"movies/outro.bin", 300000}},
        mirrored);
}

void DownloaderWindowTest::StartProgram() {
    program = LaunchProgram();
    ASSERT_TRUE(Poll([&] { return (xid = input->FindWindow(kMainTitle)) != 0; }, 30))
        << session.Report();
    input->Origin(xid, &left, &top);
    ExpectPicture(layout.Button("start"), layout.Button("start").firstPicture);
}

Image DownloaderWindowTest::BackgroundAt(int x, int y, int width, int height) {
    Image part{width, height, {}};
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            part.pixels.push_back(background.At(column, row));
        }
    }
    return part;
}

bool DownloaderWindowTest::HasInk(int x, int y, int width, int height, int atLeast) {
    return Ink(Shot(x, y, width, height), BackgroundAt(x, y, width, height)) >= atLeast;
}

void DownloaderWindowTest::Click(const std::string& name) {
    const ButtonLayout& button = layout.Button(name);
    MoveOnto(button);
    ExpectPicture(button, button.firstPicture + 1);  // the pointer is over it
    input->Press();
    input->Release();
    input->MoveTo(left + 200, top + 100);  // off every control
}

bool DownloaderWindowTest::BarFilled() {
    const BarLayout& bar = layout.bar;
    return Shot(bar.x + 3, bar.y + bar.height - 2, 1, 1).pixels[0] == bar.foreground;
}

std::string Columns(const std::vector<TextBox>& boxes) {
    std::string seen;
    for (const TextBox& box : boxes) {
        seen += " [" + std::to_string(box.left) + ", " + std::to_string(box.right) + ")";
    }
    return seen;
}

std::vector<TextBox> DownloaderWindowTest::PanelTexts() {
    return TextBoxes(Shot(kPanelX, kPanelY, kPanelRight, kPanelHeight),
                     BackgroundAt(kPanelX, kPanelY, kPanelRight, kPanelHeight),
                     pictureTolerance + 2, kTextGap);
}

bool DownloaderWindowTest::WaitForWiderValue(int wider, int than, double seconds) {
    return Poll(
        [&] {
            std::vector<TextBox> boxes = PanelTexts();
            auto width = [&](int entry) {
                const TextBox& value = boxes[static_cast<size_t>(entry) * 2 + 1];
                return value.right - value.left;
            };
            return boxes.size() == 8 && width(wider) > width(than) + 5;
        },
        seconds);
}

std::vector<TextBox> DownloaderWindowTest::ExpectPanelTextsApart(const std::string& when) {
    std::vector<TextBox> boxes = PanelTexts();
    const std::string seen = Columns(boxes);
    // Label and value of each entry, left to right.
    std::vector<int> starts;
    for (const PanelEntryLayout& entry : layout.panel) {
        starts.push_back(entry.labelX);
        starts.push_back(entry.valueX);
    }
    bool apart = boxes.size() == starts.size();
    for (size_t i = 0; apart && i < boxes.size(); ++i) {
        // A text's ink starts within a few columns of its box.
        apart = boxes[i].left >= starts[i] && boxes[i].left <= starts[i] + 4;
    }
    EXPECT_TRUE(apart) << when << ": texts of the strip (columns) at" << seen;
    std::printf("panel %s: texts at%s\n", when.c_str(), seen.c_str());
    SaveScreen(std::string(::testing::UnitTest::GetInstance()->current_test_suite()->name()) +
               "-panel-" + when);
    return boxes;
}

bool DownloaderWindowTest::ReceivedReadsAsTotal() {
    // Glyph cores only: the two values lie over different parts of the background.
    constexpr int kCore = 60;
    auto mask = [&](const char* key, int right) {
        const int x = kPanelX + layout.PanelEntry(key).valueX;
        const int width = kPanelX + right - x;
        Image shot = Shot(x, kPanelY, width, kPanelHeight);
        Image bare = BackgroundAt(x, kPanelY, width, kPanelHeight);
        std::vector<TextBox> boxes = TextBoxes(shot, bare, kCore, kTextGap);
        std::vector<bool> ink;
        if (boxes.empty()) {
            return ink;
        }
        for (int column = boxes[0].left; column < boxes[0].right; ++column) {
            for (int row = 0; row < kPanelHeight; ++row) {
                ink.push_back(ChannelsApart(shot.At(column, row), bare.At(column, row), kCore));
            }
        }
        return ink;
    };
    std::vector<bool> received = mask("total-recv", layout.PanelEntry("total-size").labelX);
    return !received.empty() && received == mask("total-size", kPanelRight);
}

std::map<std::string, int64_t> DownloaderWindowTest::SizesOnDisk() {
    std::map<std::string, int64_t> sizes;
    for (const std::string& name : package->Files()) {
        sizes[name] = SizeOnDisk(downloadFolder + name);
    }
    return sizes;
}

bool DownloaderWindowTest::AllDownloaded() {
    for (const std::string& name : package->Files()) {
        if (SizeOnDisk(downloadFolder + name) != package->SizeOf(name)) {
            return false;
        }
    }
    return true;
}

void DownloaderWindowTest::ExpectPackageOnDisk() {
    for (const std::string& name : package->Files()) {
        EXPECT_TRUE(ReadFile(downloadFolder + name) == ReadFile(package->Path(name)))
            << name << " differs from the package";
    }
}

void DownloaderWindowTest::ExpectOnlyOkOfTheCancelQuestionEnds(double seconds) {
    MakePackage();
    package->Serve(50000);
    StartProgram();
    Click("start");
    ASSERT_TRUE(Poll([&] { return BarFilled(); }, seconds)) << session.Report();

    Click("cancel");
    std::vector<std::string> box = session.WaitForWindow(kBoxCaption, seconds);
    ASSERT_EQ(box.size(), 1u) << session.Report();
    session.PressKey(box[0], "Escape");  // Cancel: keep downloading
    ASSERT_TRUE(Poll([&] { return session.FindWindows(kBoxCaption).empty(); }));
    std::map<std::string, int64_t> before = SizesOnDisk();
    EXPECT_TRUE(Poll([&] { return SizesOnDisk() != before; })) << "the download stopped";
    EXPECT_TRUE(session.IsRunning(program));

    Click("cancel");
    EXPECT_EQ(session.AnswerBox(program, kBoxCaption, seconds), 1) << session.Report();
    EXPECT_FALSE(AllDownloaded());
}

}  // namespace guitest

namespace guitest {

void DownloaderWindowTest::ExpectPanelTextsApartWithTheWidestValues(double seconds) {
    MakePackage();
    package->Serve();
    package->ServeManifest(TestPackage::ManifestOfSize(1073740750635));
    StartProgram();
    ASSERT_TRUE(WaitForWiderValue(3, 2, seconds))
        << "texts of the strip at" << Columns(PanelTexts()) << session.Report();
    std::vector<TextBox> widest = ExpectPanelTextsApart("widest-sizes");
    ASSERT_EQ(widest.size(), 8u);
    Click("cancel");
    ASSERT_EQ(session.AnswerBox(program, kBoxCaption, seconds), 1) << session.Report();

    package->server.reset();
    package->Serve(20000);
    StartProgram();
    Click("start");
    ASSERT_TRUE(Poll([&] { return BarFilled(); }, seconds)) << session.Report();
    package->server.reset();
    ASSERT_TRUE(WaitForWiderValue(0, 1, seconds))
        << "texts of the strip at" << Columns(PanelTexts()) << session.Report();
    std::vector<TextBox> waiting = ExpectPanelTextsApart("waiting-for-server");
    ASSERT_EQ(waiting.size(), 8u);
    EXPECT_FALSE(ReceivedReadsAsTotal()) << "part of the package came before the stop";
    // The times' digits are as wide as any other digits, so "00:00:01" stands for "99:59:59";
    // the received value takes as many columns as the total did with as many digits.
    EXPECT_LE(waiting[5].left + (widest[7].right - widest[7].left) + kTextGap, waiting[6].left)
        << "a received value of the widest size would touch the total size's label";
}

void DownloaderWindowTest::ExpectChangedManifestRefused(double seconds) {
    MakePackage();
    package->Serve();
    std::string manifest = ReadFile(package->Path("file.json"));
    manifest.replace(manifest.find("data1.pak"), 9, "data9.pak");
    package->server->AddFile("/file.json", manifest);
    StartProgram();
    ASSERT_EQ(session.WaitForWindow(kBoxCaption, seconds).size(), 1u) << session.Report();
    EXPECT_EQ(session.AnswerBox(program, kBoxCaption, seconds), 0) << session.Report();
    for (const auto& request : package->server->Requests()) {
        EXPECT_TRUE(request.path == "/file.json" || request.path == "/file.json.sig")
            << request.path;
    }
    for (const auto& [name, size] : SizesOnDisk()) {
        EXPECT_LE(size, 0) << name;
    }
}

void DownloaderWindowTest::ExpectMirrorTakesOver(double seconds) {
    MakePackage(true);
    package->Serve(100000);  // bytes per second and transfer
    package->ServeMirror();
    StartProgram();
    Click("start");
    ASSERT_TRUE(Poll([&] { return BarFilled(); }, seconds)) << session.Report();
    ASSERT_FALSE(AllDownloaded()) << "the package was complete before the server stopped";
    const size_t askedBefore = package->mirror->Requests().size();
    package->server->Stop();

    ASSERT_TRUE(Poll([&] { return AllDownloaded(); }, seconds)) << session.Report();
    ExpectPackageOnDisk();
    EXPECT_GT(package->mirror->Requests().size(), askedBefore);
    ExpectPicture(layout.Button("launch"), layout.Button("launch").firstPicture);
    EXPECT_TRUE(session.FindWindows(kBoxCaption).empty()) << session.Report();
    SaveScreen(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

}  // namespace guitest

namespace guitest {

Image DownloaderWindowTest::Speed() {
    return Shot(30 + 586 - 135, 306, 130, 14);
}

void DownloaderWindowTest::ExpectSpeedLimitFromTheMenu(
    const std::function<std::string()>& settingsFile, Image& chosen) {
    MakePackage();
    package->Serve();
    StartProgram();
    const Image unlimited = Speed();
    input->MoveTo(left + 200, top + 150);
    input->Press(3);
    input->Release(3);
    // The menu's light background where the window is dark, at the pointer.
    ASSERT_TRUE(Poll([&] { return LightPixels(Shot(202, 152, 100, 100)) > 5000; }, 20))
        << session.Report();
    SaveScreen("speed-menu");
    // The second item, "1 MiB/s", from the keyboard of the open menu.
    input->Key(0, "Down");
    input->Key(0, "Down");
    input->Key(0, "Return");
    ASSERT_TRUE(Poll([&] { return Speed() != unlimited; }, 20)) << session.Report();
    chosen = Speed();
    EXPECT_EQ(ReadFile(settingsFile()), "speed-limit-mib=1\n");

    const auto start = std::chrono::steady_clock::now();
    Click("start");
    ASSERT_TRUE(Poll([&] { return AllDownloaded(); }, 60)) << session.Report();
    ExpectPackageOnDisk();
    SaveScreen("speed-limited-done");
    // About 1.6 MB at 1 MiB a second, less what the first reads take before any wait.
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.8);

    const Image below = Shot(30 + 586 - 135, 326, 120, 50);
    for (const char* key : {"Menu", "Shift_L+F10"}) {
        input->Key(xid, key);
        ASSERT_TRUE(Poll([&] { return Shot(30 + 586 - 135, 326, 120, 50) != below; }, 20))
            << key << "\n"
            << session.Report();
        SaveScreen("speed-menu-keyboard");
        input->Key(0, "Escape");
        ASSERT_TRUE(Poll([&] { return Shot(30 + 586 - 135, 326, 120, 50) == below; }, 20))
            << key << "\n"
            << session.Report();
    }
    EXPECT_TRUE(session.FindWindows(kBoxCaption).empty());
}

}  // namespace guitest
