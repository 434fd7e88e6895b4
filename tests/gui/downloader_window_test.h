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

#include "skinned_window_test.h"
#include "test_package.h"
#include "x_input.h"

namespace guitest {

inline constexpr const char* kMainTitle = "DezirodOR Downloader";
inline constexpr const char* kBoxCaption = "kestra-downloader...";
// The information strip's place in the window and the value fields in the strip.
inline constexpr int kPanelX = 29;
inline constexpr int kPanelY = 284;
inline constexpr int kTotalSizeValueX = 420 + 95;
inline constexpr int kReceivedValueX = 240 + 102;
inline constexpr int kPanelRight = 610;

std::string ReadFile(const std::string& path);
// -1 when there is no file.
int64_t SizeOnDisk(const std::string& path);
// Pixels of `shot` that differ from `background` (both of one size).
int Ink(const Image& shot, const Image& background);
// Pixels of `shot` whose every channel is above 0xE0 (a menu's, a box's background).
int LightPixels(const Image& shot);

class DownloaderWindowTest : public SkinnedWindowTest {
protected:
    void SetUp() override;

    // The program's default download folder, as this test's file system sees it (ends in "/").
    virtual std::string DefaultDownloadFolder();
    // Starts the program; its process id.
    virtual pid_t LaunchProgram();

    // A package of four files in two folders, about 1.6 MB.
    void MakePackage();
    // Starts the program and waits for its window with its pictures drawn.
    void StartProgram();
    Image BackgroundAt(int x, int y, int width, int height);
    // Whether the window shows something other than the bare background in the rectangle.
    bool HasInk(int x, int y, int width, int height, int atLeast = 20);
    void Click(const std::string& name);
    // The bar's fill has reached past its first columns.
    bool BarFilled();
    std::map<std::string, int64_t> SizesOnDisk();
    bool AllDownloaded();
    void ExpectPackageOnDisk();
    // Starts the program and the download, then Cancel: the question's Cancel keeps downloading,
    // its OK ends the program with 1 before the package is complete. `seconds` bounds each wait.
    void ExpectOnlyOkOfTheCancelQuestionEnds(double seconds);
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
