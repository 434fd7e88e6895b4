// The speed menu of the main window: no limit or one of the offered limits, the one in force
// marked.
#include <cstdio>
#include <iterator>
#include <vector>

#include "downloader/appState.h"
#include "downloader/cWinMain.h"
#include "downloader/settings.h"
#include "downloader/texts.h"
#include "platform/menu.h"

namespace {

// Menu ids are the limits' places in downloader::kSpeedLimits, from 1: 0 stands for no choice.
constexpr int kFirstId = 1;

std::vector<platform::MenuItem> SpeedItems(int current) {
    std::vector<platform::MenuItem> items;
    int id = kFirstId;
    for (int mib : downloader::kSpeedLimits) {
        char text[32];
        if (mib == 0) {
            std::snprintf(text, sizeof text, "%s", downloader::texts::kNoSpeedLimit);
        } else {
            std::snprintf(text, sizeof text, downloader::texts::kSpeedLimitFormat, mib);
        }
        items.push_back({id++, text, mib == current});
    }
    return items;
}

}  // namespace

void cWinMain::ChooseSpeedLimit(intptr_t point) {
    int x = platform::PointX(point);
    int y = platform::PointY(point);
    if (point == platform::kKeyboardPoint) {
        // From the keyboard: below the speed's text, where the limit shows. The text stands at
        // the right of its box and reaches about this far leftwards with a limit.
        constexpr int kSpeedTextReach = 135;
        const platform::Rect bar = platform::WindowRect(progressBar.hwnd);
        x = bar.right - kSpeedTextReach;
        y = bar.bottom;
    }
    const int chosen =
        platform::ShowPopupMenu(hwnd, SpeedItems(theApp->settings.speedLimitMib), x, y);
    const int index = chosen - kFirstId;
    if (index < 0 || index >= static_cast<int>(std::size(downloader::kSpeedLimits)) ||
        hwnd == nullptr) {
        return;
    }
    theApp->SetSpeedLimit(downloader::kSpeedLimits[index]);
    progressBar.SetSpeedLimit(downloader::kSpeedLimits[index]);
    infoPanel.MeasureSpeedFromNow();
}
