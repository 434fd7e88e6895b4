// A test program of the window toolkit: a skinned main window (background resource 102, dragged
// by any point of its surface) with the five buttons and the progress bar laid out from the
// shipped document. Each button's command prints "execute NAME" on standard output.
//
//   toolkit-demo [--progress N] [--speed MIB] [--disable NAME]... [--tick MS] [--ask NAME]
//
// --progress and --speed are set on the bar once the window is up; --disable disables a
// button; --tick updates the bar every MS milliseconds (progress up by 1, speed changing), as
// the download panel does while a download runs; --ask makes the command of the button NAME ask
// an OK/Cancel question in a box of no owner (the window stays live meanwhile, so only the
// toolkit keeps a second command from starting) and print "answer N" when it is answered.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "json/cJson.h"
#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <ole2.h>

#include "platform/win32/ui_thread.h"
#else
#include "platform/gtk/gtk.h"
#endif
#include "platform/ui.h"
#include "platform/window.h"
#include "ui/cButton.h"
#include "ui/cProgressBar.h"

namespace {

constexpr int kBackgroundResource = 102;
constexpr uintptr_t kTickTimer = 1;

class DemoButton : public cButton {
public:
    using cButton::cButton;
    void OnExecute() override {
        std::printf("execute %s\n", name);
        std::fflush(stdout);
        if (asks) {
            int answer =
                platform::ShowMessageBox(nullptr, "Go on?", "toolkit question",
                                         platform::kMbOkCancel | platform::kMbIconQuestion);
            std::printf("answer %d\n", answer);
            std::fflush(stdout);
        }
    }
    bool asks = false;
};

struct Options {
    int progress = -1;
    float speed = -1;
    std::vector<std::string> disabled;
    unsigned tickMs = 0;
    std::string asking;
};

class DemoMain : public cWindow {
public:
    DemoMain(cJson& document, const Options& options) : document(document), options(options) {}

    intptr_t HandleMessage(platform::WindowHandle, unsigned message, uintptr_t, intptr_t) override {
        switch (message) {
            case platform::kWmCreate:
                OnCreate();
                return 0;
            case platform::kWmPaint:
                OnPaint();
                return 0;
            case platform::kWmNcHitTest:
                return platform::kHtCaption;
            case platform::kWmTimer:
                Tick();
                return 0;
            case platform::kWmDestroy:
                platform::PostQuit(0);
                return 0;
            default:
                return 0;
        }
    }

    void OnClose() override { platform::DestroyNativeWindow(hwnd); }

private:
    struct Control {
        const char* name;
        DemoButton button;
    };

    void OnCreate() {
        background = LoadBitmapFromResource(kBackgroundResource);
        if (background != nullptr) {
            width = static_cast<int32_t>(background->PixelSize().width);
            height = static_cast<int32_t>(background->PixelSize().height);
        }
        platform::Size screen = platform::ScreenSize();
        x = (screen.width - width) / 2;
        int32_t h = (screen.height - height) / 2;
        y = h + h / 10;
        platform::MoveNativeWindow(hwnd, x, y, width, height);

        for (Control& control : buttons) {
            if (!control.button.LoadConfig(document, control.name)) {
                std::fprintf(stderr, "no layout for the button %s\n", control.name);
                platform::PostQuit(-1);
                return;
            }
            control.button.parent = hwnd;
            platform::CreateNativeWindow(
                kClassName, kWindowName, platform::kWsChild | platform::kWsTabStop,
                control.button.x, control.button.y, 20, 20, hwnd, &control.button);
            control.button.asks = options.asking == control.name;
            for (const std::string& name : options.disabled) {
                if (name == control.name) {
                    control.button.SetState(cButton::eDisable);
                }
            }
        }
        if (!bar.LoadConfig(document)) {
            std::fprintf(stderr, "no layout for the progress bar\n");
            platform::PostQuit(-1);
            return;
        }
        bar.parent = hwnd;
        bar.width = bar.barWidth;
        bar.height = bar.barHeight;
        bar.fillRect = {1, 1, 1, static_cast<float>(bar.barHeight - 1)};
        platform::CreateNativeWindow(kClassName, kWindowName, platform::kWsChild, bar.x, bar.y,
                                     bar.width, bar.height, hwnd, &bar);
        if (options.progress >= 0) {
            bar.SetProgress(options.progress);
        }
        if (options.speed >= 0) {
            bar.SetSpeed(options.speed);
        }
        if (options.tickMs > 0) {
            platform::StartTimer(hwnd, kTickTimer, options.tickMs);
        }
    }

    void OnPaint() {
        platform::BeginWindowPaint(hwnd);
        platform::RenderTarget* target = GetRenderTarget();
        if (target != nullptr) {
            target->BeginDraw();
            if (background != nullptr) {
                target->DrawBitmap(*background, nullptr, 1.0f,
                                   platform::Interpolation::kNearestNeighbor, nullptr);
            }
            if (!target->EndDraw()) {
                ReportDrawError();
            }
        }
        platform::EndWindowPaint(hwnd);
        for (Control& control : buttons) {
            control.button.Invalidate();
        }
        bar.Invalidate();
    }

    void Tick() {
        ++ticks;
        bar.SetProgress(ticks % (cProgressBar::kFullProgress + 1));
        bar.SetSpeed(static_cast<float>(ticks % 100) / 8.0f);
    }

    cJson& document;
    Options options;
    std::unique_ptr<platform::Bitmap> background;
    Control buttons[5] = {{"folder", DemoButton(138)},
                          {"launch", DemoButton(142)},
                          {"start", DemoButton(146)},
                          {"pause", DemoButton(150)},
                          {"cancel", DemoButton(134)}};
    cProgressBar bar;
    int32_t ticks = 0;
};

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        const char* value = argv[++i];
        if (option == "--progress") {
            options->progress = std::atoi(value);
        } else if (option == "--speed") {
            options->speed = std::strtof(value, nullptr);
        } else if (option == "--disable") {
            options->disabled.emplace_back(value);
        } else if (option == "--ask") {
            options->asking = value;
        } else if (option == "--tick") {
            options->tickMs = static_cast<unsigned>(std::atoi(value));
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    platform::win32::StartUiThread();
    OleInitialize(nullptr);
#else
    platform::gtk::Init(&argc, &argv);
#endif
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: toolkit-demo [--progress N] [--speed MIB] [--disable NAME]... "
                     "[--tick MS] [--ask NAME]\n");
        return 2;
    }
    cJson document;
    if (!document.LoadFromResource()) {
        std::fprintf(stderr, "the program has no layout document\n");
        return 1;
    }
    DemoMain main(document, options);
    platform::WindowHandle window =
        platform::CreateNativeWindow(cWindow::kClassName, cWindow::kWindowName, platform::kWsPopup,
                                     10, 10, 100, 100, nullptr, &main);
    if (window == nullptr) {
        std::fprintf(stderr, "cannot create the window\n");
        return 1;
    }
    platform::SetWindowTitle(window, "toolkit demo");
    platform::ShowNativeWindow(window);
    return platform::RunMessageLoop();
}
