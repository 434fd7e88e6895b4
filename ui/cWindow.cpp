#include "ui/cWindow.h"

#include <cstdio>
#include <optional>
#include <string>

#include "platform/resources.h"

int32_t cWindow::windowCount = 0;
bool cWindow::commandRunning = false;

namespace {

constexpr const char* kDrawErrorText = "error";
constexpr const char16_t* kTextLocale = u"ko-kr";

void ShowWarningBox(const char* text, unsigned style) {
    platform::ShowMessageBox(nullptr, text, "", style);
}

cWindow::DrawErrorReporter drawErrorReporter = ShowWarningBox;

}  // namespace

cWindow::cWindow() {
    if (windowCount == 0) {
        platform::OpenGraphics();
        platform::RegisterWindowClass(kClassName, WindowProc, kIconResource);
    }
    ++windowCount;
}

cWindow::~cWindow() {
    // An owner that forgot its native window: detached first, so that the messages of its
    // destruction never reach this half-destroyed object.
    if (hwnd != nullptr) {
        platform::SetWindowObject(hwnd, nullptr);
        platform::DestroyNativeWindow(hwnd);
        hwnd = nullptr;
    }
    renderTarget.reset();
    if (--windowCount == 0) {
        platform::UnregisterWindowClass(kClassName);
        platform::CloseGraphics();
    }
}

platform::RenderTarget* cWindow::GetRenderTarget() {
    if (renderTarget == nullptr) {
        platform::Rect client = platform::ClientRect(hwnd);
        renderTarget = platform::CreateRenderTarget(hwnd, client.right, client.bottom);
    }
    return renderTarget.get();
}

void cWindow::ResizeRenderTarget() {
    platform::Rect client = platform::ClientRect(hwnd);
    if (platform::RenderTarget* target = GetRenderTarget()) {
        target->Resize(client.right, client.bottom);
    }
}

std::unique_ptr<platform::Bitmap> cWindow::LoadBitmapFromResource(int id) {
    std::optional<std::string> bytes = platform::LoadBuiltInResource(id);
    platform::RenderTarget* target = bytes ? GetRenderTarget() : nullptr;
    if (target == nullptr) {
        return nullptr;
    }
    return target->CreateBitmapFromImage(bytes->data(), bytes->size());
}

void cWindow::Invalidate() {
    if (hwnd != nullptr) {
        platform::InvalidateWindow(hwnd);
    }
}

std::unique_ptr<platform::TextFormat> cWindow::MakeTextFormat(const char16_t* fontFamily,
                                                              int size) {
    return platform::CreateTextFormat(fontFamily, static_cast<float>(size), kTextLocale);
}

platform::ColorF cWindow::ToColorF(uint32_t rgb, float alpha) {
    return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f,
            static_cast<float>((rgb >> 8) & 0xFF) / 255.0f, static_cast<float>(rgb & 0xFF) / 255.0f,
            alpha};
}

void cWindow::ReportDrawError() {
    drawErrorReporter(kDrawErrorText, platform::kMbIconWarning);
}

void cWindow::SetDrawErrorReporter(DrawErrorReporter reporter) {
    drawErrorReporter = reporter != nullptr ? reporter : ShowWarningBox;
}

bool cWindow::RunUserCommand(const std::function<void()>& command) {
    if (commandRunning) {
        return false;
    }
    // Cleared however the command ends (the test backend's process exit unwinds through it).
    struct Running {
        Running() { commandRunning = true; }
        ~Running() { commandRunning = false; }
    } running;
    command();
    return true;
}

intptr_t WindowProc(platform::WindowHandle window, unsigned message, uintptr_t wParam,
                    intptr_t lParam) {
    if (message == platform::kWmNcCreate) {
        auto* object =
            static_cast<cWindow*>(reinterpret_cast<platform::CreateParameters*>(lParam)->param);
        platform::SetWindowObject(window, object);
        if (object != nullptr) {
            object->hwnd = window;
        }
    }

    char trace[32];
    std::snprintf(trace, sizeof trace, "msg:%08x lParam:%08x\n", message,
                  static_cast<uint32_t>(lParam));
    platform::DebugTrace(trace);

    auto* object = static_cast<cWindow*>(platform::WindowObject(window));
    if (object != nullptr) {
        if (intptr_t result = object->HandleMessage(window, message, wParam, lParam)) {
            return result;
        }
        switch (message) {
            case platform::kWmSize:
                object->ResizeRenderTarget();
                break;
            case platform::kWmClose:
                object->OnClose();
                return 0;
            case platform::kWmEraseBkgnd:
                return 0;
            case platform::kWmNcDestroy:
                object->hwnd = nullptr;
                break;
            case platform::kWmKeyDown:
                if (wParam == platform::kVkEscape) {
                    object->OnClose();
                }
                break;
            default:
                break;
        }
    }
    return platform::DefaultWindowProcedure(window, message, wParam, lParam);
}
