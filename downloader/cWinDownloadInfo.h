// The strip of the main window that shows the remaining and elapsed time, the bytes received
// and the total size, and the display's heartbeat: its timer fetches the manifest once and then
// refreshes the figures and the progress bar while a download runs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "json/cJson.h"
#include "ui/cPanel.h"

class cProgressBar;
class cResDownloader;

class cWinDownloadInfo : public cPanel {
public:
    enum Entry { kRemaining = 0, kElapsed = 1, kReceived = 2, kTotalSize = 3, kEntryCount = 4 };
    static constexpr size_t kTextSize = 16;
    static constexpr uintptr_t kTimerId = 1;
    static constexpr unsigned kTickMs = 333;
    static constexpr int kX = 29;
    static constexpr int kY = 284;
    static constexpr int kWidth = 610;
    static constexpr int kHeight = 20;
    static constexpr size_t kManifestAddressSize = 512;

    cWinDownloadInfo();
    ~cWinDownloadInfo() override;

    // Reads the labels and fonts, creates the window as a child of `owner` and starts the
    // timer. False at the first missing key: then there is no panel and no timer.
    bool Create(cJson& document, platform::WindowHandle owner, cProgressBar& bar);
    // One tick of the timer.
    void LoadDownloadInfo();
    // True once the manifest has been fetched and checked. Until then begins its fetch (at the
    // first tick, or earlier when Start comes first), which runs on a thread of its own while
    // the ticks watch it, and answers false; `startWhenReady` has Start run once it is in.
    bool ManifestReady();
    // The speed limit changed: once a full second has passed, the speed (and the remaining
    // time it gives) is measured from now instead of from the run's start, so that it shows
    // the new limit and not the average of the whole run.
    void MeasureSpeedFromNow();
    void OnPaint() override;

    std::unique_ptr<platform::Brush> labelBrush;
    std::unique_ptr<platform::Brush> valueBrush;
    std::unique_ptr<platform::TextFormat> textFormat;
    platform::RectF labelRects[kEntryCount]{};
    platform::RectF valueRects[kEntryCount]{};
    char16_t labelTexts[kEntryCount][kTextSize] = {};
    char16_t valueTexts[kEntryCount][kTextSize] = {u"00:00:00", u"00:00:00", u"0.000 GBytes",
                                                   u"0.000 GBytes"};
    std::unique_ptr<platform::Bitmap> background;
    uint32_t labelColor = 0;
    float labelAlpha = 0;
    uint32_t valueColor = 0;
    float valueAlpha = 0;
    uintptr_t timerId = 0;
    bool manifestLoaded = false;
    bool startWhenReady = false;
    cProgressBar* progressBar = nullptr;
    // The manifest that has not arrived by then is given up, as one that cannot be fetched.
    uint32_t manifestTimeLimitMs = 180000;

protected:
    // The brushes and the background.
    void OnCreate() override;
    void OnDestroy() override;
    void OnTimer() override;

private:
    // Follows the manifest's fetch: false while it runs.
    bool WatchManifestFetch();
    // The fetch has ended: shows its total size, or ends the program as the manifest is missing.
    void TakeManifest();

    std::unique_ptr<cResDownloader> manifestFetch;
    uint32_t manifestFetchStart = 0;
    bool manifestReady = false;
    // Where the speed is measured from; only for the run that began at `runStart`.
    struct SpeedMark {
        uint32_t runStart;
        uint32_t tick;
        int64_t sessionReceived;
    };
    std::optional<SpeedMark> speedMark;
};

// The figures of a running download, as the panel and the main window show them.
namespace download_figures {
// Progress in hundredths of a percent (the bar keeps it within 0 to 10000).
int32_t Progress(int64_t received, int64_t totalSize);
// Bytes per second over the whole run: 0 in its first second.
float Speed(int64_t sessionReceived, uint32_t elapsedMs);
}  // namespace download_figures

// The panel's value formats, each fitted to its field.
namespace panel_format {
// "%.3f GBytes" of bytes / 2^30, fewer decimals where the whole part needs the room.
void Size(char16_t (&field)[cWinDownloadInfo::kTextSize], int64_t bytes);
// "%02d:%02d:%02d" of hours, minutes and seconds.
void Time(char16_t (&field)[cWinDownloadInfo::kTextSize], uint32_t seconds);
// The checking text and the count of files whose check began: no wider than a time, which
// the field is made for.
void Checking(char16_t (&field)[cWinDownloadInfo::kTextSize], int32_t begun);
// A text of the document's code page, cut to the field.
void DocumentText(char16_t (&field)[cWinDownloadInfo::kTextSize], const char* text);
// The label followed by " :", cut after 13 units (never inside a surrogate pair).
void Label(char16_t (&field)[cWinDownloadInfo::kTextSize], const char16_t* label);
}  // namespace panel_format
