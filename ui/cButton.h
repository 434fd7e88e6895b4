// A skinned image button: four built-in pictures (normal, over, down, disabled), the mouse state
// machine that picks one, and the command that a click runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "json/cJson.h"
#include "ui/cWindow.h"

class cButton : public cWindow {
public:
    enum State : int32_t { eNormal = 0, eOver = 1, eDown = 2, eDisable = 3 };
    static constexpr size_t kNameSize = 64;
    static constexpr int kStateCount = 4;
    static constexpr unsigned kHoverMs = 3333;

    // `imageBaseId`: the resource of the normal picture; the others follow it.
    explicit cButton(int imageBaseId);
    ~cButton() override;

    intptr_t HandleMessage(platform::WindowHandle window, unsigned message, uintptr_t wParam,
                           intptr_t lParam) override;

    // Reads "button" / `name` of the document: position and the four picture keys. False at
    // the first missing member.
    bool LoadConfig(cJson& root, const char* name);
    // Enables (eNormal) or disables (eDisable) the button, or shows any state; repaints.
    // Callable from any thread: the repaint happens on the UI thread.
    void SetState(State s);
    State GetState() const { return state.load(); }

    virtual void OnCreate();
    virtual void OnPaint();
    // The command; runs on the UI thread when a press is released over the button.
    virtual void OnExecute() = 0;
    virtual void OnMouseHover();
    virtual void OnMouseMove(uintptr_t keyFlags);
    virtual void OnMouseLeave();
    virtual void OnLButtonDown();
    virtual void OnLButtonUp(intptr_t point);

    // The picture keys of the configuration entry (texts owned by the document); required,
    // not drawn.
    const char16_t* normalImageName = nullptr;
    const char16_t* overImageName = nullptr;
    const char16_t* downImageName = nullptr;
    const char16_t* disableImageName = nullptr;
    char name[kNameSize] = {};
    std::atomic<State> state{eNormal};
    int imageBaseId;
    std::unique_ptr<platform::Bitmap> images[kStateCount];
};
