// The skinned button: configuration, pictures, painting and the mouse state machine.
#include <memory>

#include "ui_fixture.h"

namespace uitest {
namespace {

using platform::PackPoint;
using platform::WindowHandle;
using State = cButton::State;

constexpr int kFirstPicture = 146;
constexpr uint32_t kPictureColours[] = {0x203040, 0x406080, 0x102030, 0x808080};

class Button : public UiTest {
protected:
    void SetUp() override {
        for (int s = 0; s < 4; ++s) {
            fake::SetResource(kFirstPicture + s, Picture(s));
        }
        main = Create(mainWindow, platform::kWsPopup, 0, 0, 640, 380);
    }

    static std::string Picture(int s) { return fake::MakeBmp(70, 30, kPictureColours[s]); }

    // Creates `button` as the owner does: at its place, 20 x 20 until it knows its picture.
    WindowHandle Make(cButton& button, int x = 390, int y = 334) {
        button.x = x;
        button.y = y;
        return Create(button, platform::kWsChild | platform::kWsTabStop, x, y, 20, 20, main);
    }

    // The picture the last paint drew; empty when it drew none.
    std::string Painted(WindowHandle handle) {
        fake::ClearRecords();
        platform::SendWindowMessage(handle, platform::kWmPaint, 0, 0);
        for (const fake::DrawOp& op : fake::DrawOpsOf(handle)) {
            if (op.kind == fake::DrawOp::kBitmap) {
                return op.image;
            }
        }
        return "";
    }

    RecordingWindow mainWindow;
    WindowHandle main = nullptr;
};

TEST_F(Button, TakesItsPictureSizeAndPaintsThePictureOfItsState) {
    CountingButton button(kFirstPicture);
    WindowHandle handle = Make(button);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(fake::CallsOn(handle),
              (std::vector<std::string>{"Create", "PlaceWindow 390 334 70 30"}));
    EXPECT_TRUE(fake::IsVisible(handle));

    fake::ClearRecords();
    platform::SendWindowMessage(handle, platform::kWmPaint, 0, 0);
    auto ops = fake::DrawOpsOf(handle);
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].kind, fake::DrawOp::kBeginDraw);
    EXPECT_EQ(ops[1].kind, fake::DrawOp::kBitmap);
    EXPECT_EQ(ops[1].image, Picture(0));
    EXPECT_FALSE(ops[1].hasRect);
    EXPECT_FALSE(ops[1].hasSource);
    EXPECT_EQ(ops[1].opacity, 1.0f);
    EXPECT_EQ(ops[1].interpolation, platform::Interpolation::kLinear);
    EXPECT_EQ(ops[2].kind, fake::DrawOp::kEndDraw);
    EXPECT_EQ(fake::CallsOn(handle),
              (std::vector<std::string>{"BeginWindowPaint", "EndWindowPaint"}));

    for (State s : {State::eOver, State::eDown, State::eDisable, State::eNormal}) {
        fake::ClearRecords();
        button.SetState(s);
        EXPECT_EQ(fake::Invalidated(), std::vector<WindowHandle>{handle});
        EXPECT_EQ(Painted(handle), Picture(s)) << s;
    }
}

TEST_F(Button, PicturesThatCannotBeHadAreSkipped) {
    // No normal picture: the button keeps the owner's size and paints nothing.
    fake::SetResource(kFirstPicture, "no picture");
    CountingButton withoutNormal(kFirstPicture);
    WindowHandle handle = Make(withoutNormal);
    EXPECT_EQ(fake::CallsOn(handle), std::vector<std::string>{"Create"});
    withoutNormal.SetState(State::eOver);
    EXPECT_EQ(Painted(handle), "");

    // Only the down picture missing: the other states still paint; down paints nothing.
    fake::SetResource(kFirstPicture, Picture(0));
    fake::RemoveResource(kFirstPicture + 2);
    CountingButton withoutDown(kFirstPicture);
    handle = Make(withoutDown);
    EXPECT_EQ(Painted(handle), Picture(0));
    withoutDown.SetState(State::eDown);
    EXPECT_EQ(Painted(handle), "");

    // No render target at all: nothing drawn, nothing breaks.
    fake::FailRenderTargets(true);
    CountingButton withoutTarget(kFirstPicture);
    handle = Make(withoutTarget);
    EXPECT_EQ(Painted(handle), "");
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(Button, FailedFrameShowsTheErrorBoxAndTheNextFrameDrawsAgain) {
    CountingButton button(kFirstPicture);
    WindowHandle handle = Make(button);
    fake::FailEndDraws(1);
    Painted(handle);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "error");
    EXPECT_EQ(Painted(handle), Picture(0));
    EXPECT_EQ(fake::MessageBoxes().size(), 1u);
}

// One mouse event delivered as the system delivers it.
enum class Event { kMove, kMoveHeld, kDown, kUp, kHover, kLeave };

void Deliver(WindowHandle handle, Event event, int x = 10, int y = 10) {
    switch (event) {
        case Event::kMove:
            platform::SendWindowMessage(handle, platform::kWmMouseMove, 0, PackPoint(x, y));
            break;
        case Event::kMoveHeld:
            platform::SendWindowMessage(handle, platform::kWmMouseMove, platform::kMkLButton,
                                        PackPoint(x, y));
            break;
        case Event::kDown:
            platform::SendWindowMessage(handle, platform::kWmLButtonDown, platform::kMkLButton,
                                        PackPoint(x, y));
            break;
        case Event::kUp:
            platform::SendWindowMessage(handle, platform::kWmLButtonUp, 0, PackPoint(x, y));
            break;
        case Event::kHover:
            platform::SendWindowMessage(handle, platform::kWmMouseHover, 0, PackPoint(x, y));
            break;
        case Event::kLeave:
            platform::SendWindowMessage(handle, platform::kWmMouseLeave, 0, 0);
            break;
    }
}

TEST_F(Button, EveryTransitionOfTheStateMachine) {
    struct Case {
        State from;
        Event event;
        int x;
        int y;
        State to;
        int executions;
        // The platform calls the event makes, in words.
        std::vector<std::string> calls;
    };
    const std::vector<std::string> none;
    const std::vector<std::string> track = {"TrackMouse 3333"};
    const std::vector<std::string> capture = {"CaptureMouse"};
    const Case cases[] = {
        {State::eNormal, Event::kMove, 5, 5, State::eOver, 0, track},
        {State::eOver, Event::kMove, 5, 5, State::eOver, 0, none},
        {State::eDown, Event::kMove, 5, 5, State::eOver, 0, track},
        {State::eNormal, Event::kMoveHeld, 5, 5, State::eDown, 0, track},
        {State::eOver, Event::kMoveHeld, 5, 5, State::eDown, 0, track},
        {State::eDown, Event::kMoveHeld, 5, 5, State::eDown, 0, none},
        {State::eNormal, Event::kDown, 5, 5, State::eDown, 0, capture},
        {State::eOver, Event::kDown, 5, 5, State::eDown, 0, capture},
        {State::eDown, Event::kDown, 5, 5, State::eDown, 0, none},
        {State::eDown, Event::kUp, 0, 0, State::eOver, 1, none},
        {State::eDown, Event::kUp, 69, 29, State::eOver, 1, none},
        {State::eDown, Event::kUp, 70, 10, State::eOver, 0, none},
        {State::eDown, Event::kUp, 10, 30, State::eOver, 0, none},
        {State::eDown, Event::kUp, -1, 10, State::eOver, 0, none},
        {State::eDown, Event::kUp, 10, -1, State::eOver, 0, none},
        {State::eNormal, Event::kUp, 5, 5, State::eNormal, 0, none},
        {State::eOver, Event::kUp, 5, 5, State::eOver, 0, none},
        {State::eNormal, Event::kHover, 5, 5, State::eOver, 0, none},
        {State::eOver, Event::kHover, 5, 5, State::eOver, 0, none},
        {State::eDown, Event::kHover, 5, 5, State::eOver, 0, none},
        {State::eNormal, Event::kLeave, 0, 0, State::eNormal, 0, none},
        {State::eOver, Event::kLeave, 0, 0, State::eNormal, 0, none},
        {State::eDown, Event::kLeave, 0, 0, State::eNormal, 0, none},
        {State::eDisable, Event::kMove, 5, 5, State::eDisable, 0, none},
        {State::eDisable, Event::kMoveHeld, 5, 5, State::eDisable, 0, none},
        {State::eDisable, Event::kDown, 5, 5, State::eDisable, 0, none},
        {State::eDisable, Event::kUp, 5, 5, State::eDisable, 0, none},
        {State::eDisable, Event::kHover, 5, 5, State::eDisable, 0, none},
        {State::eDisable, Event::kLeave, 0, 0, State::eDisable, 0, none},
    };
    int row = 0;
    for (const Case& c : cases) {
        CountingButton button(kFirstPicture);
        WindowHandle handle = Make(button);
        button.SetState(c.from);
        fake::ClearRecords();
        Deliver(handle, c.event, c.x, c.y);
        EXPECT_EQ(button.GetState(), c.to) << "row " << row;
        EXPECT_EQ(button.executions, c.executions) << "row " << row;
        std::vector<std::string> calls;
        for (const std::string& call : fake::CallsOn(handle)) {
            calls.push_back(call);
        }
        EXPECT_EQ(calls, c.calls) << "row " << row;
        // A state change is always painted.
        EXPECT_EQ(fake::Invalidated().empty(), c.from == c.to) << "row " << row;
        platform::DestroyNativeWindow(handle);
        ++row;
    }
}

TEST_F(Button, ClickRunsTheCommandOnceAndCaptureLastsUntilTheRelease) {
    CountingButton button(kFirstPicture);
    WindowHandle handle = Make(button);
    Deliver(handle, Event::kMove);
    Deliver(handle, Event::kDown);
    EXPECT_EQ(fake::CapturedWindow(), handle);
    Deliver(handle, Event::kUp);
    EXPECT_EQ(fake::CapturedWindow(), nullptr);
    EXPECT_EQ(button.executions, 1);
    EXPECT_EQ(button.GetState(), State::eOver);
    // A command that disables its own button keeps it disabled.
    button.action = [&] { button.SetState(State::eDisable); };
    Deliver(handle, Event::kDown);
    Deliver(handle, Event::kUp);
    EXPECT_EQ(button.executions, 2);
    EXPECT_EQ(button.GetState(), State::eDisable);
}

TEST_F(Button, PressDragOutAndReleaseOutsideRunsNothingAndEndsNormal) {
    CountingButton button(kFirstPicture);
    WindowHandle handle = Make(button);
    Deliver(handle, Event::kMove);
    Deliver(handle, Event::kDown);
    Deliver(handle, Event::kMoveHeld, 90, 40);
    Deliver(handle, Event::kUp, 90, 40);
    Deliver(handle, Event::kLeave);
    EXPECT_EQ(button.executions, 0);
    EXPECT_EQ(button.GetState(), State::eNormal);
    EXPECT_EQ(fake::CapturedWindow(), nullptr);
}

TEST_F(Button, PressSeenElsewhereStillClicksAndHoverDuringAPressCancelsIt) {
    CountingButton button(kFirstPicture);
    WindowHandle handle = Make(button);
    Deliver(handle, Event::kMoveHeld);
    Deliver(handle, Event::kUp);
    EXPECT_EQ(button.executions, 1);

    Deliver(handle, Event::kDown);
    Deliver(handle, Event::kHover);
    Deliver(handle, Event::kUp);
    EXPECT_EQ(button.executions, 1);
    EXPECT_EQ(button.GetState(), State::eOver);
}

TEST_F(Button, DisabledButtonReleasesACaptureItHolds) {
    CountingButton button(kFirstPicture);
    WindowHandle handle = Make(button);
    Deliver(handle, Event::kDown);
    button.SetState(State::eDisable);
    Deliver(handle, Event::kUp);
    EXPECT_EQ(fake::CapturedWindow(), nullptr);
    EXPECT_EQ(button.executions, 0);
    EXPECT_EQ(Painted(handle), Picture(3));
}

TEST_F(Button, NoCommandStartsWhileAnotherRuns) {
    CountingButton first(kFirstPicture);
    CountingButton second(kFirstPicture);
    WindowHandle firstHandle = Make(first);
    WindowHandle secondHandle = Make(second, 468);
    // The first command waits (as a question box does) while the user clicks the second.
    first.action = [&] {
        Deliver(secondHandle, Event::kDown);
        Deliver(secondHandle, Event::kUp);
    };
    Deliver(firstHandle, Event::kDown);
    Deliver(firstHandle, Event::kUp);
    EXPECT_EQ(first.executions, 1);
    EXPECT_EQ(second.executions, 0);
    EXPECT_EQ(second.GetState(), State::eOver);
    // Once the first has ended, the second runs as usual.
    Deliver(secondHandle, Event::kDown);
    Deliver(secondHandle, Event::kUp);
    EXPECT_EQ(second.executions, 1);
}

TEST_F(Button, ConfigurationFromTheShippedDocument) {
    cJson document;
    LoadShippedDocument(document);
    struct Case {
        const char* name;
        int x;
    };
    for (const Case& c : {Case{"launch", 312}, Case{"start", 390}, Case{"pause", 468},
                          Case{"cancel", 546}, Case{"folder", 30}}) {
        CountingButton button(kFirstPicture);
        ASSERT_TRUE(button.LoadConfig(document, c.name)) << c.name;
        EXPECT_STREQ(button.name, c.name);
        EXPECT_EQ(button.x, c.x);
        EXPECT_EQ(button.y, 334);
        EXPECT_NE(button.normalImageName, nullptr);
        EXPECT_NE(button.disableImageName, nullptr);
    }
    CountingButton cancel(134);
    ASSERT_TRUE(cancel.LoadConfig(document, "cancel"));
    EXPECT_EQ(std::u16string(cancel.downImageName), u"skin/btn_close_se.jpg");
    CountingButton unknown(134);
    EXPECT_FALSE(unknown.LoadConfig(document, "nonesuch"));
}

TEST_F(Button, ConfigurationLackingAnyMemberFails) {
    for (const char* key : {"x", "y", "normal", "over", "down", "disable"}) {
        cJson document;
        ASSERT_TRUE(document.Parse(ShippedWithout("cancel", key).c_str())) << key;
        CountingButton button(134);
        EXPECT_FALSE(button.LoadConfig(document, "cancel")) << key;
        // The other buttons are unaffected.
        EXPECT_TRUE(button.LoadConfig(document, "start")) << key;
    }
}

}  // namespace
}  // namespace uitest
