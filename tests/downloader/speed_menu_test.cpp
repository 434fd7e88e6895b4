// The speed menu of the main window: where it opens, what it offers in the document's
// language, what a choice changes and keeps, and that nothing else runs while it is open.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "download/rateLimit.h"
#include "downloader/texts.h"
#include "window_fixture.h"

namespace windowtest {
namespace {

class SpeedMenu : public WindowTest {
protected:
    void TearDown() override {
        WindowTest::TearDown();
        DownloadRateLimit().SetRate(0);
    }
    static std::vector<std::string> Texts(const fake::MenuCall& menu) {
        std::vector<std::string> texts;
        for (const platform::MenuItem& item : menu.items) {
            texts.push_back(item.text + (item.checked ? " *" : ""));
        }
        return texts;
    }
};

TEST_F(SpeedMenu, AChoiceIsInForceShownAndKeptAndADismissalChangesNothing) {
    Open();
    const std::string none = downloader::texts::kNoSpeedLimit;
    struct Step {
        platform::WindowHandle to;  // where the right button goes up, or null for the keyboard
        int choice;
        std::vector<std::string> offered;
        int limit;
        const char* speedText;
    };
    cProgressBar& bar = window->progressBar;
    const platform::Rect barRect = platform::WindowRect(bar.hwnd);
    for (const Step& step : {
             Step{bar.hwnd,
                  4,
                  {none + " *", "1 MiB/s", "2 MiB/s", "5 MiB/s", "10 MiB/s", "20 MiB/s"},
                  5,
                  "0.00 MiB/s (max 5)"},
             Step{nullptr,
                  0,
                  {none, "1 MiB/s", "2 MiB/s", "5 MiB/s *", "10 MiB/s", "20 MiB/s"},
                  5,
                  "0.00 MiB/s (max 5)"},
             Step{handle,
                  1,
                  {none, "1 MiB/s", "2 MiB/s", "5 MiB/s *", "10 MiB/s", "20 MiB/s"},
                  0,
                  "0.000 MiB/Sec"},
         }) {
        const size_t shown = fake::Menus().size();
        fake::ScriptMenu(step.choice);
        platform::SendWindowMessage(
            step.to != nullptr ? step.to : handle, platform::kWmContextMenu, 0,
            step.to != nullptr ? platform::PackPoint(300, 200) : platform::kKeyboardPoint);
        ASSERT_EQ(fake::Menus().size(), shown + 1);
        const fake::MenuCall menu = fake::Menus().back();
        EXPECT_EQ(menu.owner, handle);
        EXPECT_EQ(Texts(menu), step.offered);
        if (step.to != nullptr) {
            EXPECT_EQ(menu.x, 300);
            EXPECT_EQ(menu.y, 200);
        } else {
            // Below the speed, where the limit shows: in the bar's right half.
            EXPECT_GE(menu.x, (barRect.left + barRect.right) / 2);
            EXPECT_LT(menu.x, barRect.right);
            EXPECT_EQ(menu.y, barRect.bottom);
        }
        EXPECT_EQ(app->settings.speedLimitMib, step.limit);
        EXPECT_EQ(DownloadRateLimit().Rate(), int64_t{step.limit} << 20);
        EXPECT_EQ(std::u16string(bar.speedText),
                  std::u16string(step.speedText, step.speedText + std::strlen(step.speedText)));
    }
    char kept[64];
    std::FILE* file = std::fopen((std::string(app->workDirectory) + "settings.txt").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    kept[std::fread(kept, 1, sizeof kept - 1, file)] = '\0';
    std::fclose(file);
    EXPECT_STREQ(kept, "speed-limit-mib=0\n");
}

TEST_F(SpeedMenu, NoOtherCommandRunsWhileItIsOpen) {
    Open();
    int menusOpen = 0;
    fake::ScriptMenu(2, [&] {
        ++menusOpen;
        platform::SendWindowMessage(handle, platform::kWmKeyDown, platform::kVkEscape, 0);
        platform::SendWindowMessage(handle, platform::kWmContextMenu, 0, platform::kKeyboardPoint);
    });
    platform::SendWindowMessage(handle, platform::kWmContextMenu, 0, platform::kKeyboardPoint);
    EXPECT_EQ(menusOpen, 1);
    EXPECT_EQ(fake::Menus().size(), 1u);
    EXPECT_TRUE(fake::MessageBoxes().empty());  // no exit question
    EXPECT_EQ(app->settings.speedLimitMib, 1);
}

}  // namespace
}  // namespace windowtest
