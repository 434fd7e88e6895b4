// The downloader's only top-level window: a borderless pop-up of the background's size that
// the user drags by any point, holding every control, painting the background and the download
// folder, asking before it closes.
#pragma once

#include <cstdint>
#include <memory>

#include "downloader/buttons.h"
#include "downloader/cWinDownloadInfo.h"
#include "json/cJson.h"
#include "ui/cProgressBar.h"
#include "ui/cWindow.h"

class cWinMain : public cWindow {
public:
    static constexpr int kBackgroundResource = 102;
    static constexpr int kChildSize = 20;

    explicit cWinMain(cJson& document);
    ~cWinMain() override;

    intptr_t HandleMessage(platform::WindowHandle window, unsigned message, uintptr_t wParam,
                           intptr_t lParam) override;
    // A close request or Escape: the exit question, as a user command of its own.
    void OnClose() override;
    // The exit question; OK stops any download and destroys the window (quit code 1).
    void AskToClose();

    void OnCreate();
    bool LoadLayout();
    void OnPaint();
    // The progress bar's last figures when the download completes.
    void UpdateProgress();
    // The speed menu at `point` (a kWmContextMenu's): the limit chosen is put in force and
    // kept, and the progress bar shows it.
    void ChooseSpeedLimit(intptr_t point);

    cBtnLaunch launchButton;
    cBtnStart startButton;
    cBtnPause pauseButton;
    cBtnCancel cancelButton;
    cBtnFolder folderButton;
    platform::RectF folderTextRect{};
    int64_t manifestTotalSize = 0;
    cProgressBar progressBar;
    cWinDownloadInfo infoPanel;
    cJson* document;
    std::unique_ptr<platform::Bitmap> background;
    std::unique_ptr<platform::TextFormat> folderTextFormat;
    std::unique_ptr<platform::Brush> folderTextBrush;

private:
    // Creates `child` as a native child of this window at its configured place.
    void CreateChild(cWindow& child, uint32_t style, int width, int height);
};
