// What the GUI tests of the downloader window share, whichever system's program shows it (the
// Linux program, or the Windows program under Wine): the package it downloads, starting it,
// clicking its buttons, and judging the window and the files on disk.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "skinned_window_test.h"
#include "test_package.h"
#include "x_input.h"

namespace guitest {

inline constexpr const char* kMainTitle = "DezirodOR Downloader";
inline constexpr const char* kBoxCaption = "kestra-downloader...";
// The information strip's place in the window and its width.
inline constexpr int kPanelX = 29;
inline constexpr int kPanelY = 284;
inline constexpr int kPanelRight = 610;
inline constexpr int kPanelHeight = 20;

std::string ReadFile(const std::string& path);
// -1 when there is no file.
int64_t SizeOnDisk(const std::string& path);
// Pixels of `shot` that differ from `background` (both of one size).
int Ink(const Image& shot, const Image& background);
// Pixels of `shot` whose every channel is above 0xE0 (a menu's, a box's background).
int LightPixels(const Image& shot);

// Whether a colour channel of two 0xRRGGBB pixels differs by more than `tolerance`.
bool ChannelsApart(uint32_t a, uint32_t b, int tolerance);
// Columns [left, right) of a one-line strip that one text covers.
struct TextBox {
    int left;
    int right;
};
// The texts of a one-line strip: runs of columns with ink (a pixel with a colour channel more
// than `tolerance` from the background's), runs less than `gap` columns apart taken as one text.
std::vector<TextBox> TextBoxes(const Image& shot, const Image& background, int tolerance, int gap);
// " [left, right)" of each box, for a failure's message.
std::string Columns(const std::vector<TextBox>& boxes);

class DownloaderWindowTest : public SkinnedWindowTest {
protected:
    void SetUp() override;

    // The program's default download folder, as this test's file system sees it (ends in "/").
    virtual std::string DefaultDownloadFolder();
    // Starts the program; its process id.
    virtual pid_t LaunchProgram();

    // A package of four files in two folders, about 1.6 MB; `mirrored`: its manifest names
    // TestPackage::kMirrorUrl as a mirror.
    void MakePackage(bool mirrored = false);
    // Starts the program and waits for its window with its pictures drawn.
    void StartProgram();
    Image BackgroundAt(int x, int y, int width, int height);
    // Whether the window shows something other than the bare background in the rectangle.
    bool HasInk(int x, int y, int width, int height, int atLeast = 20);
    void Click(const std::string& name);
    // The bar's fill has reached past its first columns.
    bool BarFilled();
    // The information strip's texts as TextBoxes finds them.
    std::vector<TextBox> PanelTexts();
    // Waits until the strip shows its eight texts with the value of entry `wider` (0 to 3)
    // wider than that of `than`, as a value of more glyphs is.
    bool WaitForWiderValue(int wider, int than, double seconds);
    // The information strip's texts: exactly its eight (four labels, four values), each where
    // the layout starts it and at least kTextGap columns of bare background from the next.
    // `when` names the moment for the failure message and the screenshot.
    std::vector<TextBox> ExpectPanelTextsApart(const std::string& when);
    static constexpr int kTextGap = 7;
    // The received value reads as the total size: the two values' pixels, each seen from its
    // first column, match.
    bool ReceivedReadsAsTotal();
    std::map<std::string, int64_t> SizesOnDisk();
    bool AllDownloaded();
    void ExpectPackageOnDisk();
    // Starts the program and the download, then Cancel: the question's Cancel keeps downloading,
    // its OK ends the program with 1 before the package is complete. `seconds` bounds each wait.
    void ExpectOnlyOkOfTheCancelQuestionEnds(double seconds);
    // The first server stops in the middle of the download: the mirror completes it, without a
    // warning, and Launch is enabled. `seconds` bounds each wait.
    void ExpectMirrorTakesOver(double seconds);
    // The strip's eight texts keep apart with the widest values: sizes of "999.999 GBytes" (a
    // manifest of that size) and the remaining time's text of waiting for the server (the
    // server stopped during a run). `seconds` bounds each wait.
    void ExpectPanelTextsApartWithTheWidestValues(double seconds);
    // Serves the package's manifest changed on its way (one name rewritten, its signature as it
    // was): the window shows the warning, the program ends with 0, and no file is asked for.
    void ExpectChangedManifestRefused(double seconds);

    // The speed's field on the bar (window coordinates).
    Image Speed();
    // Starts the program, chooses 1 MiB/s from the menu of the right button (kept in the file
    // `settingsFile` names once the choice is made; `chosen`: the speed's field then) and
    // downloads the package held to it; then the menu key and Shift+F10 open the menu below the
    // speed, and Escape closes only it.
    void ExpectSpeedLimitFromTheMenu(const std::function<std::string()>& settingsFile,
                                     Image& chosen);

    std::unique_ptr<TestPackage> package;
    Image background;
    std::string downloadFolder;
    pid_t program = -1;
};

}  // namespace guitest
