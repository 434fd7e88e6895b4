#include "ui/cButton.h"

#include <cstring>

cButton::cButton(int imageBaseId) : imageBaseId(imageBaseId) {}

cButton::~cButton() {
    for (auto& image : images) {
        image.reset();
    }
}

intptr_t cButton::HandleMessage(platform::WindowHandle, unsigned message, uintptr_t wParam,
                                intptr_t lParam) {
    switch (message) {
        case platform::kWmCreate:
            OnCreate();
            break;
        case platform::kWmPaint:
            OnPaint();
            break;
        case platform::kWmMouseMove:
            OnMouseMove(wParam);
            break;
        case platform::kWmLButtonDown:
            OnLButtonDown();
            break;
        case platform::kWmLButtonUp:
            OnLButtonUp(lParam);
            break;
        case platform::kWmMouseHover:
            OnMouseHover();
            break;
        case platform::kWmMouseLeave:
            OnMouseLeave();
            break;
        default:
            break;
    }
    return 0;
}

bool cButton::LoadConfig(cJson& root, const char* key) {
    std::strncpy(name, key, kNameSize - 1);
    name[kNameSize - 1] = '\0';
    cJson::Node* buttons = root.root != nullptr ? root.root->Find("button") : nullptr;
    cJson::Node* entry = buttons != nullptr ? buttons->GetNode(key) : nullptr;
    if (entry == nullptr) {
        return false;
    }
    cJson::Node* node = entry->GetNode("x");
    if (node == nullptr) {
        return false;
    }
    x = node->GetInt();
    if ((node = entry->GetNode("y")) == nullptr) {
        return false;
    }
    y = node->GetInt();
    const char16_t** pictures[] = {&normalImageName, &overImageName, &downImageName,
                                   &disableImageName};
    const char* keys[] = {"normal", "over", "down", "disable"};
    for (int i = 0; i < kStateCount; ++i) {
        if ((node = entry->GetNode(keys[i])) == nullptr) {
            return false;
        }
        *pictures[i] = node->GetWString();
    }
    return true;
}

void cButton::SetState(State s) {
    state = s;
    Invalidate();
}

void cButton::OnCreate() {
    for (int s = 0; s < kStateCount; ++s) {
        images[s] = LoadBitmapFromResource(imageBaseId + s);
    }
    if (images[0] == nullptr) {
        return;
    }
    platform::SizeF size = images[0]->Size();
    platform::PlaceWindow(hwnd, x, y, static_cast<int>(size.width), static_cast<int>(size.height));
}

void cButton::OnPaint() {
    platform::BeginWindowPaint(hwnd);
    platform::RenderTarget* target = images[0] != nullptr ? GetRenderTarget() : nullptr;
    if (target != nullptr) {
        target->BeginDraw();
        // The picture covers the whole window: nothing to clear first.
        if (platform::Bitmap* picture = images[state.load()].get()) {
            target->DrawBitmap(*picture, nullptr, 1.0f, platform::Interpolation::kLinear, nullptr);
        }
        if (!target->EndDraw()) {
            ReportDrawError();
        }
    }
    platform::EndWindowPaint(hwnd);
}

void cButton::OnMouseMove(uintptr_t keyFlags) {
    State now = state.load();
    if (now == eDisable) {
        return;
    }
    State wanted = (keyFlags & platform::kMkLButton) != 0 ? eDown : eOver;
    if (now != wanted) {
        platform::TrackMouse(hwnd, kHoverMs);
        SetState(wanted);
    }
}

void cButton::OnLButtonDown() {
    State now = state.load();
    if (now == eDisable || now == eDown) {
        return;
    }
    platform::CaptureMouse(hwnd);
    SetState(eDown);
}

void cButton::OnLButtonUp(intptr_t point) {
    platform::ReleaseMouse();
    if (state.load() != eDown) {
        return;
    }
    SetState(eOver);
    int px = platform::PointX(point);
    int py = platform::PointY(point);
    if (px < 0 || py < 0) {
        return;
    }
    platform::Rect rect = platform::WindowRect(hwnd);
    if (px < rect.right - rect.left && py < rect.bottom - rect.top) {
        RunUserCommand([this] { OnExecute(); });
    }
}

void cButton::OnMouseHover() {
    State now = state.load();
    if (now == eDisable || now == eOver) {
        return;
    }
    SetState(eOver);
}

void cButton::OnMouseLeave() {
    State now = state.load();
    if (now == eDisable || now == eNormal) {
        return;
    }
    SetState(eNormal);
}
