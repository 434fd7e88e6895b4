#include "downloader/cWinMain.h"

#include "download/cMgrDownloader.h"
#include "downloader/appState.h"
#include "downloader/texts.h"
#include "platform/system.h"
#include "ui/fontEntry.h"
#include "ui/utf16Text.h"

namespace {

// A member of `section` of the document's root; null when either is absent.
cJson::Node* Member(cJson& document, const char* section, const char* key) {
    cJson::Node* node = document.root != nullptr ? document.root->Find(section) : nullptr;
    return node != nullptr ? node->GetNode(key) : nullptr;
}

}  // namespace

cWinMain::cWinMain(cJson& document) : document(&document) {
    // The window's share of a completed download: the panel shows the final figures at once
    // (not at its next tick), Pause goes off, Launch comes on.
    cMgrDownloader::CompletionHook() = [] {
        if (cWinMain* window = theApp->mainWindow) {
            window->infoPanel.LoadDownloadInfo();
            window->pauseButton.SetState(cButton::eDisable);
            window->launchButton.SetState(cButton::eNormal);
        }
    };
    // A run that ended with files missing: the panel shows what arrived, and Start (which
    // fetches the missing files again, resuming) and Folder come back; Launch stays off.
    cMgrDownloader::IncompleteHook() = [] {
        if (cWinMain* window = theApp->mainWindow) {
            window->infoPanel.LoadDownloadInfo();
            window->pauseButton.SetState(cButton::eDisable);
            window->startButton.SetState(cButton::eNormal);
            window->folderButton.SetState(cButton::eNormal);
        }
    };
}

cWinMain::~cWinMain() {
    folderTextFormat.reset();
    folderTextBrush.reset();
    background.reset();
}

intptr_t cWinMain::HandleMessage(platform::WindowHandle, unsigned message, uintptr_t,
                                 intptr_t lParam) {
    switch (message) {
        case platform::kWmCreate:
            OnCreate();
            return 0;
        case platform::kWmDestroy:
            platform::StopTimer(hwnd, cMgrDownloader::kCompletionTimerId);
            platform::PostQuit(1);
            return 0;
        case platform::kWmPaint:
            OnPaint();
            return 0;
        case platform::kWmNcHitTest:
            // Every point of the window is its caption: the user drags it from anywhere.
            return platform::kHtCaption;
        case platform::kWmTimer:
            UpdateProgress();
            return 0;
        case platform::kWmContextMenu:
            RunUserCommand([this, lParam] { ChooseSpeedLimit(lParam); });
            return 1;
        default:
            return 0;
    }
}

void cWinMain::OnCreate() {
    platform::Size screen = platform::ScreenSize();
    background = LoadBitmapFromResource(kBackgroundResource);
    if (background != nullptr) {
        platform::SizeF size = background->PixelSize();
        width = static_cast<int32_t>(size.width);
        height = static_cast<int32_t>(size.height);
    }
    x = (screen.width - width) / 2;
    int32_t h = (screen.height - height) / 2;
    y = h + h / 10;
    platform::SetCurrentFolder(theApp->resourceDirectory);

    if (!LoadLayout()) {
        platform::ShowMessageBox(hwnd, downloader::texts::kLayoutError, theApp->messageBoxTitle,
                                 platform::kMbIconWarning);
        platform::PostQuit(-1);
        return;
    }
    for (cButton* button :
         {static_cast<cButton*>(&folderButton), static_cast<cButton*>(&launchButton),
          static_cast<cButton*>(&startButton), static_cast<cButton*>(&pauseButton),
          static_cast<cButton*>(&cancelButton)}) {
        CreateChild(*button, platform::kWsChild | platform::kWsTabStop, kChildSize, kChildSize);
    }
    CreateChild(progressBar, platform::kWsChild, progressBar.barWidth, progressBar.barHeight);
    infoPanel.Create(*document, hwnd, progressBar);
}

void cWinMain::CreateChild(cWindow& child, uint32_t style, int childWidth, int childHeight) {
    child.parent = hwnd;
    child.width = childWidth;
    child.height = childHeight;
    platform::WindowHandle handle = platform::CreateNativeWindow(
        kClassName, kWindowName, style, child.x, child.y, childWidth, childHeight, hwnd, &child);
    if (handle != nullptr) {
        platform::SetWindowVisible(handle, false);
        platform::SetWindowVisible(handle, true);
    }
}

bool cWinMain::LoadLayout() {
    if (cJson::Node* folderDefault = Member(*document, "folder", "default")) {
        if (theApp->downloadDirectory[0] == '\0') {
            theApp->CreateDownloadDirectory(
                platform::DocumentTextToPath(folderDefault->GetString()).c_str());
        }
        if (cJson::Node* left = Member(*document, "folder", "x")) {
            folderTextRect.left = static_cast<float>(left->GetInt());
            folderTextRect.right = folderTextRect.left + 173;
            if (cJson::Node* top = Member(*document, "folder", "y")) {
                folderTextRect.top = static_cast<float>(top->GetInt());
                folderTextRect.bottom = folderTextRect.top + 19;
            }
        }
    }

    const FontEntry font = ReadFontEntry(*document, "value");
    if (font.family && font.size && font.alpha && font.color) {
        folderTextFormat = MakeTextFormat(*font.family, *font.size);
        if (platform::RenderTarget* target = GetRenderTarget()) {
            folderTextBrush = target->CreateSolidBrush(ToColorF(*font.color, *font.alpha));
        }
    }

    struct Configured {
        cButton* button;
        const char* name;
    };
    for (const Configured& entry :
         {Configured{&launchButton, "launch"}, Configured{&startButton, "start"},
          Configured{&pauseButton, "pause"}, Configured{&cancelButton, "cancel"},
          Configured{&folderButton, "folder"}}) {
        if (!entry.button->LoadConfig(*document, entry.name)) {
            return false;
        }
    }
    if (!progressBar.LoadConfig(*document)) {
        return false;
    }
    progressBar.SetSpeedLimit(theApp->settings.speedLimitMib);
    theApp->SaveVersion();
    Invalidate();
    return true;
}

void cWinMain::OnPaint() {
    platform::BeginWindowPaint(hwnd);
    if (platform::RenderTarget* target = GetRenderTarget()) {
        target->BeginDraw();
        if (background != nullptr) {
            platform::RectF whole{0, 0, static_cast<float>(width), static_cast<float>(height)};
            target->DrawBitmap(*background, &whole, 0.99f,
                               platform::Interpolation::kNearestNeighbor, &whole);
        }
        if (folderTextFormat != nullptr && folderTextBrush != nullptr) {
            const char16_t* folder = theApp->downloadDirectoryWide;
            target->DrawString(folder, ui_text::Length(folder), *folderTextFormat, folderTextRect,
                               *folderTextBrush, platform::TextOptions::kClip);
        }
        if (!target->EndDraw()) {
            ReportDrawError();
        }
    }
    platform::EndWindowPaint(hwnd);
    // The controls draw over the frame just painted.
    for (cWindow* child :
         {static_cast<cWindow*>(&cancelButton), static_cast<cWindow*>(&folderButton),
          static_cast<cWindow*>(&launchButton), static_cast<cWindow*>(&pauseButton),
          static_cast<cWindow*>(&startButton), static_cast<cWindow*>(&progressBar),
          static_cast<cWindow*>(&infoPanel)}) {
        child->Invalidate();
    }
}

void cWinMain::UpdateProgress() {
    cMgrDownloader* manager = theApp->downloadManager;
    if (manager == nullptr || !manager->running || manager->finished || manager->totalSize == 0) {
        return;
    }
    uint32_t elapsed = platform::TickCount() - manager->startTick;
    progressBar.SetSpeed(download_figures::Speed(manager->sessionReceived, elapsed) / (1 << 20));
    progressBar.SetProgress(download_figures::Progress(manager->received, manager->totalSize));
    Invalidate();
}

void cWinMain::OnClose() {
    RunUserCommand([this] { AskToClose(); });
}

void cWinMain::AskToClose() {
    int answer = platform::ShowMessageBox(hwnd, theApp->exitQuestion, theApp->messageBoxTitle,
                                          platform::kMbOkCancel | platform::kMbIconQuestion);
    if (answer != platform::kIdOk) {
        return;
    }
    theApp->StopDownload();
    if (hwnd != nullptr) {
        platform::DestroyNativeWindow(hwnd);
    }
}
