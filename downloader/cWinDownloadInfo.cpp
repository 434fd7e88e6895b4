#include "downloader/cWinDownloadInfo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "download/cMgrDownloader.h"
#include "download/cResDownloader.h"
#include "downloader/appState.h"
#include "downloader/cWinMain.h"
#include "downloader/texts.h"
#include "platform/system.h"
#include "ui/cProgressBar.h"
#include "ui/fontEntry.h"
#include "ui/utf16Text.h"

namespace {

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
constexpr size_t kLabelUnits = 13;

struct EntryLayout {
    const char* key;
    float valueLeft;
    float valueRight;
};
// By entry, in reading order: where its value sits after its label, unless the document places
// it itself ("value-x").
constexpr EntryLayout kLayout[cWinDownloadInfo::kEntryCount] = {{"time-remaining", 57, 160},
                                                                {"elapse-time", 57, 160},
                                                                {"total-recv", 102, 200},
                                                                {"total-size", 95, 195}};

}  // namespace

namespace download_figures {

int32_t Progress(int64_t received, int64_t totalSize) {
    float percent =
        static_cast<float>(static_cast<double>(received) * 100.0 / static_cast<double>(totalSize));
    float hundredths = percent * 100;
    // Never beyond what an int holds; the bar clamps to its own range.
    if (!(hundredths > 0)) {
        return 0;
    }
    return hundredths >= 2e9f ? 2000000000 : static_cast<int32_t>(hundredths);
}

float Speed(int64_t sessionReceived, uint32_t elapsedMs) {
    uint32_t seconds = elapsedMs / 1000;
    if (seconds == 0) {
        return 0.0f;
    }
    return static_cast<float>(sessionReceived) / static_cast<float>(seconds);
}

}  // namespace download_figures

namespace panel_format {

void Size(char16_t (&field)[cWinDownloadInfo::kTextSize], int64_t bytes) {
    char text[64];
    for (int decimals = 3; decimals >= 0; --decimals) {
        int length = std::snprintf(text, sizeof text, "%.*f GBytes", decimals,
                                   static_cast<double>(bytes) / kGiB);
        if (length >= 0 && static_cast<size_t>(length) < cWinDownloadInfo::kTextSize) {
            break;
        }
    }
    ui_text::CopyAscii(field, text);
}

void Time(char16_t (&field)[cWinDownloadInfo::kTextSize], uint32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    ui_text::CopyAscii(field, text);
}

void Checking(char16_t (&field)[cWinDownloadInfo::kTextSize], int32_t begun) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %d", downloader::texts::kChecking, begun);
    DocumentText(field, text);
}

void DocumentText(char16_t (&field)[cWinDownloadInfo::kTextSize], const char* text) {
    const std::u16string wide = platform::CodePageToUtf16(text, std::strlen(text));
    const size_t units = std::min(wide.size(), cWinDownloadInfo::kTextSize - 1);
    std::copy_n(wide.begin(), units, field);
    field[units] = u'\0';
}

void Label(char16_t (&field)[cWinDownloadInfo::kTextSize], const char16_t* label) {
    size_t units = label != nullptr ? ui_text::Length(label) : 0;
    if (units > kLabelUnits) {
        units = kLabelUnits;
        // A high surrogate without its partner would draw as a broken character.
        if (label[units - 1] >= 0xD800 && label[units - 1] <= 0xDBFF) {
            --units;
        }
    }
    for (size_t i = 0; i < units; ++i) {
        field[i] = label[i];
    }
    field[units] = u' ';
    field[units + 1] = u':';
    field[units + 2] = u'\0';
}

}  // namespace panel_format

cWinDownloadInfo::cWinDownloadInfo() = default;

cWinDownloadInfo::~cWinDownloadInfo() {
    labelBrush.reset();
    valueBrush.reset();
    textFormat.reset();
    background.reset();
}

void cWinDownloadInfo::OnCreate() {
    if (platform::RenderTarget* target = GetRenderTarget()) {
        labelBrush = target->CreateSolidBrush(ToColorF(labelColor, labelAlpha));
        valueBrush = target->CreateSolidBrush(ToColorF(valueColor, valueAlpha));
    }
    background = LoadBitmapFromResource(cWinMain::kBackgroundResource);
}

void cWinDownloadInfo::OnDestroy() {
    platform::StopTimer(hwnd, kTimerId);
}

void cWinDownloadInfo::OnTimer() {
    LoadDownloadInfo();
}

bool cWinDownloadInfo::Create(cJson& document, platform::WindowHandle owner, cProgressBar& bar) {
    cJson::Node* text = document.root != nullptr ? document.root->Find("text") : nullptr;
    cJson::Node* tags = text != nullptr ? text->GetNode("tag") : nullptr;
    for (int entry = 0; entry < kEntryCount; ++entry) {
        cJson::Node* tag = tags != nullptr ? tags->GetNode(kLayout[entry].key) : nullptr;
        cJson::Node* name = tag != nullptr ? tag->GetNode("name") : nullptr;
        if (name == nullptr) {
            return false;
        }
        panel_format::Label(labelTexts[entry], name->GetWString());
        cJson::Node* left = tag->GetNode("x");
        if (left == nullptr) {
            return false;
        }
        auto at = static_cast<float>(left->GetInt());
        labelRects[entry] = {at, 0, at + 100, kHeight};
        valueRects[entry] = {at + kLayout[entry].valueLeft, 0, at + kLayout[entry].valueRight,
                             kHeight};
        if (cJson::Node* valueLeft = tag->GetNode("value-x")) {
            // Placed to fit its label in its own language; its box ends at the strip's end so
            // that no value is wrapped (a box does not clip).
            valueRects[entry].left = static_cast<float>(valueLeft->GetInt());
            valueRects[entry].right = kWidth;
        }
    }

    const FontEntry label = ReadFontEntry(document, "tag");
    if (!label.family || !label.size) {
        return false;
    }
    textFormat = MakeTextFormat(*label.family, *label.size);
    if (!label.color) {
        return false;
    }
    labelColor = *label.color;
    if (!label.alpha) {
        return false;
    }
    labelAlpha = *label.alpha;
    const FontEntry value = ReadFontEntry(document, "value");
    if (!value.color) {
        return false;
    }
    valueColor = *value.color;
    if (!value.alpha) {
        return false;
    }
    valueAlpha = *value.alpha;

    parent = owner;
    x = kX;
    y = kY;
    width = kWidth;
    height = kHeight;
    platform::WindowHandle handle = platform::CreateNativeWindow(
        kClassName, kWindowName, platform::kWsChild | platform::kWsTabStop, kX, kY, kWidth, kHeight,
        owner, this);
    if (handle != nullptr) {
        platform::SetWindowVisible(handle, false);
        platform::SetWindowVisible(handle, true);
        progressBar = &bar;
        platform::StartTimer(handle, kTimerId, kTickMs);
        timerId = kTimerId;
    }
    return true;
}

void cWinDownloadInfo::OnPaint() {
    platform::RenderTarget* target = GetRenderTarget();
    if (target == nullptr) {
        return;
    }
    target->BeginDraw();
    if (background != nullptr) {
        platform::RectF source{kX, kY, kX + kWidth, kY + kHeight};
        platform::RectF destination{0, 0, kWidth, kHeight};
        target->DrawBitmap(*background, &destination, 1.0f,
                           platform::Interpolation::kNearestNeighbor, &source);
    }
    if (textFormat != nullptr && labelBrush != nullptr && valueBrush != nullptr) {
        for (int entry = 0; entry < kEntryCount; ++entry) {
            target->DrawString(labelTexts[entry], ui_text::Length(labelTexts[entry]), *textFormat,
                               labelRects[entry], *labelBrush, platform::TextOptions::kNoSnap);
        }
        for (int entry = 0; entry < kEntryCount; ++entry) {
            target->DrawString(valueTexts[entry], ui_text::Length(valueTexts[entry]), *textFormat,
                               valueRects[entry], *valueBrush, platform::TextOptions::kNoSnap);
        }
    }
    if (!target->EndDraw()) {
        ReportDrawError();
    }
}

bool cWinDownloadInfo::ManifestReady() {
    if (!manifestLoaded) {
        manifestLoaded = true;
        platform::SetCurrentFolder(theApp->resourceDirectory);
        char address[kManifestAddressSize];
        int length = std::snprintf(address, sizeof address, "%sfile.json", theApp->serverUrl);
        if (length < 0 || static_cast<size_t>(length) >= sizeof address) {
            theApp->ShowMessage(downloader::texts::kManifestAddressError, platform::kMbIconWarning);
            platform::EndProcess(0);
        }
        manifestFetch = std::make_unique<cResDownloader>();
        manifestFetch->Prepare(address);
        manifestFetchStart = platform::TickCount();
        if (!manifestFetch->Start()) {
            TakeManifest();
        }
    }
    return manifestReady || WatchManifestFetch();
}

bool cWinDownloadInfo::WatchManifestFetch() {
    if (manifestFetch == nullptr) {
        return false;
    }
    if (manifestFetch->running) {
        if (platform::TickCount() - manifestFetchStart < manifestTimeLimitMs) {
            return false;
        }
        manifestFetch->StopTransfer();
        theApp->ShowMessage(downloader::texts::kManifestTimeout, platform::kMbIconWarning);
        platform::EndProcess(0);
    }
    TakeManifest();
    return manifestReady;
}

void cWinDownloadInfo::TakeManifest() {
    manifestFetch->StopTransfer();
    const std::unique_ptr<cResDownloader> fetch = std::move(manifestFetch);
    if (!fetch->problem.empty()) {
        const std::string text = downloader::texts::kManifestRefused + fetch->problem;
        theApp->ShowMessage(text.c_str(), platform::kMbIconWarning);
        platform::EndProcess(0);
    }
    if (fetch->fetched == 0) {
        theApp->ShowMessage(downloader::texts::kManifestError, platform::kMbIconWarning);
        platform::EndProcess(0);
    }
    manifestReady = true;
    if (theApp->mainWindow != nullptr) {
        theApp->mainWindow->manifestTotalSize = fetch->totalSize;
    }
    panel_format::Size(valueTexts[kTotalSize], fetch->totalSize);
    Invalidate();
    if (startWhenReady && theApp->mainWindow != nullptr) {
        startWhenReady = false;
        theApp->mainWindow->startButton.OnExecute();
    }
}

void cWinDownloadInfo::MeasureSpeedFromNow() {
    const cMgrDownloader* manager = theApp->downloadManager;
    if (manager == nullptr || !manager->running) {
        speedMark.reset();  // the next run measures from its start anyway
        return;
    }
    speedMark = SpeedMark{manager->startTick, platform::TickCount(), manager->sessionReceived};
}

void cWinDownloadInfo::LoadDownloadInfo() {
    cMgrDownloader* manager = theApp->downloadManager;
    if (manager == nullptr) {
        ManifestReady();
        return;
    }
    if (manager->finished) {
        // The last update of the run: the figures stay as they are from now on.
        platform::StopTimer(hwnd, kTimerId);
    } else if (!manager->running) {
        // A run that ended incomplete had its last update at its end; the figures stay until
        // the next Start.
        return;
    }
    int64_t totalSize = manager->totalSize;
    // Bytes found on disk count once they are checked: the figures move while files are read.
    const int64_t received = std::max<int64_t>(manager->received - manager->uncheckedBytes, 0);
    int64_t sessionReceived = manager->sessionReceived;
    uint32_t startTick = manager->startTick;
    if (totalSize == 0) {
        return;
    }
    panel_format::Size(valueTexts[kReceived], received);
    const uint32_t now = platform::TickCount();
    uint32_t elapsed = now - startTick;
    panel_format::Time(valueTexts[kElapsed], elapsed / 1000);
    if (speedMark && speedMark->runStart == startTick && now - speedMark->tick >= 1000) {
        sessionReceived -= speedMark->sessionReceived;
        elapsed = now - speedMark->tick;
    }
    float speed = download_figures::Speed(sessionReceived, elapsed);
    if (progressBar != nullptr) {
        progressBar->SetSpeed(speed / (1 << 20));
    }
    float remaining = static_cast<float>(totalSize - received) / speed;
    uint32_t seconds = 0;
    if (std::isfinite(remaining) && remaining > 0) {
        seconds = remaining >= 4294967295.0f ? std::numeric_limits<uint32_t>::max()
                                             : static_cast<uint32_t>(remaining);
    }
    panel_format::Time(valueTexts[kRemaining], seconds);
    if (manager->checking > 0) {
        panel_format::Checking(valueTexts[kRemaining], manager->checksBegun);
    } else if (manager->waitingForServer > 0) {
        panel_format::DocumentText(valueTexts[kRemaining], downloader::texts::kWaitingForServer);
    }
    if (progressBar != nullptr) {
        progressBar->SetProgress(download_figures::Progress(received, totalSize));
    }
    Invalidate();
}
