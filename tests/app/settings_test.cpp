// "settings.txt": what a file's text gives, and the round trip through the work folder into the
// limit the engine keeps to.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app_fixture.h"
#include "download/rateLimit.h"
#include "downloader/settings.h"

namespace apptest {
namespace {

TEST(SettingsTest, OnlyKnownKeysWithOfferedValuesAreTaken) {
    struct Case {
        const char* text;
        int speedLimitMib;
    };
    for (const Case& c : {
             Case{"", 0},
             Case{"speed-limit-mib=5\n", 5},
             Case{"speed-limit-mib=20", 20},
             Case{"speed-limit-mib=10\r\n", 10},
             Case{"colour=blue\nspeed-limit-mib=2\nwidth=7\n", 2},
             Case{"speed-limit-mib=5\nspeed-limit-mib=1\n", 1},
             Case{"speed-limit-mib=5\nspeed-limit-mib=oops\n", 5},
             Case{"speed-limit-mib=3\n", 0},
             Case{"speed-limit-mib=-5\n", 0},
             Case{"speed-limit-mib= 5\n", 0},
             Case{"speed-limit-mib=99999999999999999999\n", 0},
             Case{"speed-limit-mib\n", 0},
             Case{"speed-limit-mibs=5\n", 0},
             Case{"Speed-Limit-MiB=5\n", 0},
             Case{"\xff\xfe=5", 0},
         }) {
        EXPECT_EQ(downloader::ParseSettings(c.text).speedLimitMib, c.speedLimitMib) << c.text;
    }
    for (int mib : downloader::kSpeedLimits) {
        EXPECT_EQ(downloader::ParseSettings(downloader::FormatSettings({mib})).speedLimitMib, mib);
    }
}

class SettingsFileTest : public AppTest {
protected:
    void TearDown() override {
        DownloadRateLimit().SetRate(0);
        AppTest::TearDown();
    }
};

TEST_F(SettingsFileTest, AChosenLimitIsInForceAndReadAgainAtTheNextStart) {
    {
        cApp app;
        Prepare(app);
        app.LoadSettings();  // none yet
        EXPECT_EQ(app.settings.speedLimitMib, 0);
        EXPECT_EQ(DownloadRateLimit().Rate(), 0);
        app.SetSpeedLimit(5);
        EXPECT_EQ(DownloadRateLimit().Rate(), 5 << 20);
    }
    EXPECT_EQ(ReadFile(WorkDirectory() + "settings.txt"), "speed-limit-mib=5\n");
    DownloadRateLimit().SetRate(0);
    cApp next;
    Prepare(next);
    next.LoadSettings();
    EXPECT_EQ(next.settings.speedLimitMib, 5);
    EXPECT_EQ(DownloadRateLimit().Rate(), 5 << 20);
    // The stamp is no part of it.
    EXPECT_FALSE(std::filesystem::exists(WorkDirectory() + "version.txt"));
}

}  // namespace
}  // namespace apptest
