#include "ui/cProgressBar.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "ui/fontEntry.h"
#include "ui/utf16Text.h"

namespace {

// The largest speed whose text still fits the field without decimals.
constexpr float kLargestSpeedShown = 9999999.0f;

}  // namespace

cProgressBar::cProgressBar() = default;

cProgressBar::~cProgressBar() {
    name.reset();
    foregroundBrush.reset();
    textBrush.reset();
    textFormat.reset();
}

void cProgressBar::OnCreate() {
    if (platform::RenderTarget* target = GetRenderTarget()) {
        foregroundBrush = target->CreateSolidBrush(ToColorF(foregroundColor, 1.0f));
        textBrush = target->CreateSolidBrush(ToColorF(textColor, textAlpha));
    }
    platform::PlaceWindow(hwnd, x, y, barWidth, barHeight);
}

bool cProgressBar::LoadConfig(cJson& root) {
    name = std::make_unique<char[]>(6);
    std::memcpy(name.get(), "total", 6);
    cJson::Node* bars = root.root != nullptr ? root.root->Find("progressbar") : nullptr;
    cJson::Node* entry = bars != nullptr ? bars->GetNode("total") : nullptr;
    if (entry == nullptr) {
        return false;
    }
    cJson::Node* node;
    int32_t* integers[] = {&x, &y, &barWidth, &barHeight};
    const char* integerKeys[] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        if ((node = entry->GetNode(integerKeys[i])) == nullptr) {
            return false;
        }
        *integers[i] = node->GetInt();
    }
    if ((node = entry->GetNode("bg-color")) == nullptr) {
        return false;
    }
    backgroundColor = static_cast<uint32_t>(node->GetHex());
    if ((node = entry->GetNode("fg-color")) == nullptr) {
        return false;
    }
    foregroundColor = static_cast<uint32_t>(node->GetHex());
    if ((node = entry->GetNode("draw-rate-text")) == nullptr) {
        return false;
    }
    const char* flag = node->GetString();
    drawRateText = flag != nullptr && std::strcmp(flag, "true") == 0;

    const FontEntry font = ReadFontEntry(root, "progressbar");
    if (!font.family || !font.size) {
        return false;
    }
    textFormat = MakeTextFormat(*font.family, *font.size);
    if (!font.alpha) {
        return false;
    }
    textAlpha = *font.alpha;
    if (!font.color) {
        return false;
    }
    textColor = *font.color;

    float middle = static_cast<float>(barWidth) * 0.5f;
    rateRect = {middle - 30, 1, middle - 30 + 60, 11};
    float right = static_cast<float>(barWidth);
    // Right-aligned, and reaching leftwards to just past the percentage's box: a longer speed
    // text grows towards the middle and is never wrapped.
    speedRect = {middle + 40, 1, right - 5, 11};
    // The empty fill inside the one-pixel border, ready before the window exists.
    fillRect = {1, 1, static_cast<float>(filledWidth) + 1.0f, static_cast<float>(barHeight - 1)};
    return true;
}

void cProgressBar::SetProgress(int32_t value) {
    // A fill beyond the bar or a percentage wider than its field is never shown.
    if (value < 0) {
        value = 0;
    } else if (value > kFullProgress) {
        value = kFullProgress;
    }
    if (value == progress) {
        return;
    }
    if (drawRateText) {
        char text[kRateTextSize];
        std::snprintf(text, sizeof text, "%.02f%%", static_cast<float>(value) / 100.0f);
        ui_text::CopyAscii(rateText, text);
    }
    progress = value;
    int64_t filled = int64_t{value} * (barWidth - 2) / kFullProgress;
    filledWidth = filled > 0 ? static_cast<int32_t>(filled) : 0;
    fillRect.right = static_cast<float>(filledWidth) + 1.0f;
    Invalidate();
}

void cProgressBar::SetSpeed(float mibPerSecond) {
    // No speed is negative or not a number; one too large for the field shows its largest.
    if (!(mibPerSecond > 0.0f)) {
        mibPerSecond = 0.0f;
    } else if (mibPerSecond > kLargestSpeedShown) {
        mibPerSecond = kLargestSpeedShown;
    }
    if (mibPerSecond == speed) {
        return;
    }
    speed = mibPerSecond;
    FormatSpeed();
}

void cProgressBar::SetSpeedLimit(int mibPerSecond) {
    speedLimit = mibPerSecond > 0 ? mibPerSecond : 0;
    FormatSpeed();
}

void cProgressBar::FormatSpeed() {
    if (drawRateText) {
        // Three decimals up to 999.999 (two beside a limit); fewer as the whole part grows, so
        // the text always fits.
        char text[48];
        const size_t room = speedLimit > 0 ? kSpeedTextSize : kPlainSpeedTextSize;
        for (int decimals = speedLimit > 0 ? 2 : 3; decimals >= 0; --decimals) {
            int length = speedLimit > 0
                             ? std::snprintf(text, sizeof text, "%.*f MiB/s (max %d)", decimals,
                                             speed, speedLimit)
                             : std::snprintf(text, sizeof text, "%.*f MiB/Sec", decimals, speed);
            if (length >= 0 && static_cast<size_t>(length) < room) {
                break;
            }
        }
        ui_text::CopyAscii(speedText, text);
    }
    Invalidate();
}

void cProgressBar::OnPaint() {
    platform::RenderTarget* target = GetRenderTarget();
    if (target == nullptr) {
        return;
    }
    target->BeginDraw();
    target->Clear(ToColorF(backgroundColor, 1.0f));
    if (foregroundBrush != nullptr) {
        target->FillRectangle(fillRect, *foregroundBrush);
    }
    if (drawRateText && textFormat != nullptr && textBrush != nullptr) {
        textFormat->SetAlignment(platform::TextAlignment::kLeading);
        target->DrawString(rateText, ui_text::Length(rateText), *textFormat, rateRect, *textBrush,
                           platform::TextOptions::kNone);
        textFormat->SetAlignment(platform::TextAlignment::kTrailing);
        target->DrawString(speedText, ui_text::Length(speedText), *textFormat, speedRect,
                           *textBrush, platform::TextOptions::kNone);
    }
    if (!target->EndDraw()) {
        ReportDrawError();
    }
}
