// The overall progress bar: a filled bar in proportion to the progress, with the percentage in
// its middle and the transfer speed at its right end when configured to draw them.
#pragma once

#include <cstdint>
#include <memory>

#include "json/cJson.h"
#include "ui/cPanel.h"

class cProgressBar : public cPanel {
public:
    static constexpr int32_t kFullProgress = 10000;  // hundredths of a percent
    static constexpr size_t kRateTextSize = 8;
    // "0.000 MiB/Sec" fits in the first, with a limit "4.98 MiB/s (max 5)" in the second.
    static constexpr size_t kPlainSpeedTextSize = 16;
    static constexpr size_t kSpeedTextSize = 19;

    cProgressBar();
    ~cProgressBar() override;

    // Reads "progressbar" / "total" and "font" / "progressbar". False at the first missing
    // member.
    bool LoadConfig(cJson& root);
    // Progress in hundredths of a percent; values outside 0 to 10000 count as the nearest end.
    void SetProgress(int32_t value);
    // Speed in MiB per second.
    void SetSpeed(float mibPerSecond);
    // The speed limit in force, in whole MiB per second, shown beside the speed; 0: none.
    void SetSpeedLimit(int mibPerSecond);
    void OnPaint() override;

    std::unique_ptr<char[]> name;
    int32_t barWidth = 0;
    int32_t barHeight = 0;
    uint32_t backgroundColor = 0;
    uint32_t foregroundColor = 0;
    bool drawRateText = false;
    char16_t rateText[kRateTextSize] = u"0.00%";
    platform::RectF rateRect{};
    char16_t speedText[kSpeedTextSize] = u"0.000 MiB/Sec";
    platform::RectF speedRect{};
    std::unique_ptr<platform::TextFormat> textFormat;
    std::unique_ptr<platform::Brush> textBrush;
    uint32_t textColor = 0;
    float textAlpha = 0;
    int32_t progress = 0;
    float speed = 0;
    int speedLimit = 0;
    int32_t filledWidth = 0;
    platform::RectF fillRect{};
    std::unique_ptr<platform::Brush> foregroundBrush;

protected:
    // The brushes, and the bar's place from the document.
    void OnCreate() override;

private:
    // The speed's text from `speed` and `speedLimit`.
    void FormatSpeed();
};
