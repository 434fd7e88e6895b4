// The window base: binding, the trace, the default handling, the process-wide set-up, the
// render target and the colour rule.
#include <memory>
#include <string>

#include "ui_fixture.h"

namespace uitest {
namespace {

using platform::WindowHandle;

class WindowBase : public UiTest {};

TEST_F(WindowBase, BindsAtNonClientCreationAndTracesEveryMessage) {
    RecordingWindow window;
    WindowHandle handle = Create(window, platform::kWsPopup, 10, 10, 100, 100);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(window.hwnd, handle);
    EXPECT_EQ(platform::WindowObject(handle), &window);
    EXPECT_EQ(window.messages, (std::vector<unsigned>{platform::kWmNcCreate, platform::kWmCreate}));
    EXPECT_EQ(fake::TraceLines().size(), 2u);

    fake::ClearRecords();
    platform::SendWindowMessage(handle, platform::kWmNcHitTest, 0,
                                platform::PackPoint(0x1234, 0xabc));
    platform::SendWindowMessage(handle, platform::kWmMouseMove, 1, platform::PackPoint(-1, -2));
    EXPECT_EQ(fake::TraceLines(), (std::vector<std::string>{"msg:00000084 lParam:0abc1234\n",
                                                            "msg:00000200 lParam:fffeffff\n"}));
}

TEST_F(WindowBase, MessagesWithoutAnObjectGetOnlyTheSystemsHandling) {
    // Before binding (and for a window created without an object) nothing of the toolkit runs.
    WindowHandle unbound = fake::NewWindow();
    EXPECT_EQ(WindowProc(unbound, platform::kWmEraseBkgnd, 0, 0), 1);
    EXPECT_EQ(WindowProc(unbound, platform::kWmNcHitTest, 0, 0), platform::kHtClient);
    EXPECT_EQ(fake::TraceLines(), (std::vector<std::string>{"msg:00000014 lParam:00000000\n",
                                                            "msg:00000084 lParam:00000000\n"}));

    RecordingWindow keepsTheClassRegistered;
    WindowHandle objectless =
        platform::CreateNativeWindow(cWindow::kClassName, cWindow::kWindowName, platform::kWsPopup,
                                     0, 0, 5, 5, nullptr, nullptr);
    ASSERT_NE(objectless, nullptr);
    platform::SendWindowMessage(objectless, platform::kWmClose, 0, 0);
    EXPECT_TRUE(fake::StateOf(objectless).destroyed);
}

TEST_F(WindowBase, CloseAndEscapeAskTheObjectAndNeverDestroy) {
    RecordingWindow window;
    WindowHandle handle = Create(window, platform::kWsPopup, 0, 0, 50, 50);
    EXPECT_EQ(platform::SendWindowMessage(handle, platform::kWmClose, 0, 0), 0);
    EXPECT_EQ(window.closes, 1);
    platform::SendWindowMessage(handle, platform::kWmKeyDown, platform::kVkEscape, 0);
    EXPECT_EQ(window.closes, 2);
    platform::SendWindowMessage(handle, platform::kWmKeyDown, 'A', 0);
    EXPECT_EQ(window.closes, 2);
    EXPECT_FALSE(fake::StateOf(handle).destroyed);
    // The system would erase (and answer 1); the toolkit never erases.
    EXPECT_EQ(platform::SendWindowMessage(handle, platform::kWmEraseBkgnd, 0, 0), 0);

    // A non-zero answer of the object is final: no default handling follows.
    window.answers[platform::kWmClose] = 7;
    EXPECT_EQ(platform::SendWindowMessage(handle, platform::kWmClose, 0, 0), 7);
    EXPECT_EQ(window.closes, 2);
}

TEST_F(WindowBase, DestructionUnbindsAndLaterInvalidationDoesNothing) {
    RecordingWindow window;
    WindowHandle handle = Create(window, platform::kWsPopup, 0, 0, 50, 50);
    platform::DestroyNativeWindow(handle);
    EXPECT_EQ(window.hwnd, nullptr);
    EXPECT_EQ(window.messages.back(), platform::kWmNcDestroy);
    fake::ClearRecords();
    window.Invalidate();
    EXPECT_TRUE(fake::Invalidated().empty());
}

TEST_F(WindowBase, ObjectGoneBeforeItsWindowTakesTheWindowAlongSafely) {
    auto window = std::make_unique<RecordingWindow>();
    WindowHandle handle = Create(*window, platform::kWsPopup, 0, 0, 50, 50);
    RecordingWindow other;
    window.reset();
    EXPECT_TRUE(fake::StateOf(handle).destroyed);
}

TEST_F(WindowBase, SizeMessageMakesTheTargetAtTheNewSize) {
    RecordingWindow window;
    WindowHandle handle = Create(window, platform::kWsPopup, 0, 0, 20, 20);
    platform::PlaceWindow(handle, 0, 0, 640, 380);
    auto ops = fake::DrawOpsOf(handle);
    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops[0].kind, fake::DrawOp::kCreateTarget);
    EXPECT_EQ(ops[0].rect.right, 640);
    EXPECT_EQ(ops[0].rect.bottom, 380);
    EXPECT_EQ(window.GetRenderTarget(), window.renderTarget.get());
}

TEST_F(WindowBase, SetUpAgainAfterTheLastWindowIsGone) {
    auto calls = [] {
        std::vector<std::string> global;
        for (const fake::WindowCall& call : fake::WindowCalls()) {
            if (call.window == nullptr) {
                global.push_back(call.call);
            }
        }
        return global;
    };
    const std::vector<std::string> setUp = {"OpenGraphics",
                                            "RegisterWindowClass base-window-class 101"};
    const std::vector<std::string> tearDown = {"UnregisterWindowClass base-window-class",
                                               "CloseGraphics"};
    {
        RecordingWindow first;
        RecordingWindow second;
        EXPECT_EQ(cWindow::WindowCount(), 2);
        EXPECT_EQ(calls(), setUp);
    }
    EXPECT_EQ(cWindow::WindowCount(), 0);
    std::vector<std::string> expected = setUp;
    expected.insert(expected.end(), tearDown.begin(), tearDown.end());
    EXPECT_EQ(calls(), expected);

    RecordingWindow again;
    expected.insert(expected.end(), setUp.begin(), setUp.end());
    EXPECT_EQ(calls(), expected);
    EXPECT_NE(Create(again, platform::kWsPopup, 0, 0, 5, 5), nullptr);
}

TEST_F(WindowBase, ColoursFromTheDocument) {
    struct Case {
        uint32_t rgb;
        float alpha;
        platform::ColorF expected;
    };
    for (const Case& c : {
             Case{0xFFFFFF, 0.79f, {1.0f, 1.0f, 1.0f, 0.79f}},
             Case{0x333333, 1.0f, {0.2f, 0.2f, 0.2f, 1.0f}},
             Case{0x33DDFF, 1.0f, {0.2f, 221 / 255.0f, 1.0f, 1.0f}},
             Case{0xFF000000u | 0xCCFF00, 0.5f, {0.8f, 1.0f, 0.0f, 0.5f}},  // high bits ignored
         }) {
        platform::ColorF color = cWindow::ToColorF(c.rgb, c.alpha);
        EXPECT_FLOAT_EQ(color.r, c.expected.r) << std::hex << c.rgb;
        EXPECT_FLOAT_EQ(color.g, c.expected.g) << std::hex << c.rgb;
        EXPECT_FLOAT_EQ(color.b, c.expected.b) << std::hex << c.rgb;
        EXPECT_FLOAT_EQ(color.a, c.expected.a) << std::hex << c.rgb;
    }
}

TEST_F(WindowBase, BitmapsOnlyFromResourcesThatAreImages) {
    RecordingWindow window;
    Create(window, platform::kWsPopup, 0, 0, 50, 50);
    fake::SetResource(102, fake::MakeBmp(64, 38, 0x102030));
    fake::SetResource(103, "{ \"not\" : \"an image\" }");
    std::unique_ptr<platform::Bitmap> image = window.LoadBitmapFromResource(102);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->PixelSize().width, 64);
    EXPECT_EQ(image->PixelSize().height, 38);
    EXPECT_EQ(window.LoadBitmapFromResource(103), nullptr);
    EXPECT_EQ(window.LoadBitmapFromResource(999), nullptr);

    RecordingWindow noTarget;
    Create(noTarget, platform::kWsPopup, 0, 0, 50, 50);
    fake::FailRenderTargets(true);
    EXPECT_EQ(noTarget.GetRenderTarget(), nullptr);
    EXPECT_EQ(noTarget.LoadBitmapFromResource(102), nullptr);
}

TEST_F(WindowBase, TextFormatsAndTheDrawErrorBox) {
    std::unique_ptr<platform::TextFormat> format = cWindow::MakeTextFormat(u"?? ??", 12);
    EXPECT_NE(format, nullptr);
    fake::FailTextFormats(true);
    EXPECT_EQ(cWindow::MakeTextFormat(u"?? ??", 12), nullptr);

    // Through the installed reporter (the application's box), else a plain warning box.
    static std::string reported;
    cWindow::SetDrawErrorReporter([](const char* text, unsigned style) {
        reported = std::string(text) + " " + std::to_string(style);
    });
    cWindow::ReportDrawError();
    EXPECT_EQ(reported, "error " + std::to_string(platform::kMbIconWarning));
    EXPECT_TRUE(fake::MessageBoxes().empty());
    cWindow::SetDrawErrorReporter(nullptr);
    cWindow::ReportDrawError();
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "error");
    EXPECT_EQ(boxes[0].style, platform::kMbIconWarning);
}

}  // namespace
}  // namespace uitest
