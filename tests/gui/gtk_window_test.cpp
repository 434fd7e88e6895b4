// The GTK backend of the window toolkit on a private X server, driven by real input: the order
// of the messages, timers, hover and leave, capture, dragging by the caption, keys and close
// requests, and what reaches the screen (bitmaps pixel for pixel, text in its box, fallback
// fonts).
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/draw.h"
#include "platform/gtk/gtk.h"
#include "platform/window.h"
#include "x_input.h"
#include "x_session.h"

namespace {

using namespace platform;
using Clock = std::chrono::steady_clock;

constexpr const char* kClass = "test-window-class";

struct Message {
    WindowHandle window;
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
    Clock::time_point when;
    void* param;  // the creation parameter of kWmNcCreate and kWmCreate
    std::thread::id thread = std::this_thread::get_id();
};

std::vector<Message> messages;

// A test's window: answers hit tests with `hitTest`, paints with `paint`, and lets `react` act
// on each message after it has been recorded. Close requests are recorded, not obeyed.
struct TestWindow {
    intptr_t hitTest = kHtClient;
    std::function<void(WindowHandle)> paint;
    std::function<void(WindowHandle, unsigned, uintptr_t, intptr_t)> react;
};

intptr_t Procedure(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == kWmNcCreate) {
        SetWindowObject(window, reinterpret_cast<CreateParameters*>(lParam)->param);
    }
    auto* test = static_cast<TestWindow*>(WindowObject(window));
    void* param = message == kWmNcCreate || message == kWmCreate
                      ? reinterpret_cast<CreateParameters*>(lParam)->param
                      : nullptr;
    messages.push_back({window, message, wParam, lParam, Clock::now(), param});
    if (test == nullptr) {
        return DefaultWindowProcedure(window, message, wParam, lParam);
    }
    if (test->react) {
        test->react(window, message, wParam, lParam);
    }
    switch (message) {
        case kWmNcHitTest:
            return test->hitTest;
        case kWmClose:
            return 0;
        case kWmPaint:
            BeginWindowPaint(window);
            if (test->paint) {
                test->paint(window);
            }
            EndWindowPaint(window);
            return 0;
        default:
            return DefaultWindowProcedure(window, message, wParam, lParam);
    }
}

guitest::XSession* session = nullptr;
guitest::XInput* input = nullptr;

class Display : public ::testing::Environment {
public:
    void SetUp() override {
        session = new guitest::XSession;
        platform::gtk::Init(nullptr, nullptr);
        input = new guitest::XInput;
        ASSERT_TRUE(RegisterWindowClass(kClass, Procedure, 101));
        EXPECT_FALSE(RegisterWindowClass(kClass, Procedure, 101));
    }
    void TearDown() override {
        UnregisterWindowClass(kClass);
        delete input;
        delete session;
    }
};

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new Display);

// Runs the main loop until `done` or the deadline.
bool PumpUntil(const std::function<bool()>& done, double seconds = 10) {
    Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(seconds));
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        if (!g_main_context_iteration(nullptr, FALSE)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

size_t Count(WindowHandle window, unsigned message) {
    size_t n = 0;
    for (const Message& m : messages) {
        n += m.window == window && m.message == message;
    }
    return n;
}

const Message* Last(WindowHandle window, unsigned message) {
    for (auto m = messages.rbegin(); m != messages.rend(); ++m) {
        if (m->window == window && m->message == message) {
            return &*m;
        }
    }
    return nullptr;
}

// The messages so far, for a failure's report.
std::string Dump() {
    std::string text;
    for (const Message& m : messages) {
        char line[96];
        std::snprintf(line, sizeof line, "%p %04x %lx (%d,%d)\n", static_cast<void*>(m.window),
                      m.message, static_cast<unsigned long>(m.wParam), PointX(m.lParam),
                      PointY(m.lParam));
        text += line;
    }
    return text;
}

// The point of the window's newest `message`; -1 before the first.
intptr_t LastPoint(WindowHandle window, unsigned message) {
    const Message* last = Last(window, message);
    return last != nullptr ? last->lParam : -1;
}

// Paints the whole client area with one colour.
std::function<void(WindowHandle)> Fill(uint32_t rgb) {
    auto target = std::make_shared<std::unique_ptr<RenderTarget>>();
    return [rgb, target](WindowHandle window) {
        Rect client = ClientRect(window);
        if (*target == nullptr) {
            *target = CreateRenderTarget(window, client.right, client.bottom);
        }
        (*target)->Resize(client.right, client.bottom);
        (*target)->BeginDraw();
        (*target)->Clear(
            {(rgb >> 16 & 0xFF) / 255.0f, (rgb >> 8 & 0xFF) / 255.0f, (rgb & 0xFF) / 255.0f, 1});
        EXPECT_TRUE((*target)->EndDraw());
    };
}

bool ScreenShows(int x, int y, uint32_t rgb) {
    guitest::Image pixel = input->Grab(x, y, 1, 1);
    return pixel.width == 1 && pixel.At(0, 0) == rgb;
}

// Runs the loop until it would sleep with no timeout at all; false when it keeps waking.
bool SettlesIdle() {
    GMainContext* context = g_main_context_default();
    for (int round = 0; round < 50; ++round) {
        if (!g_main_context_acquire(context)) {
            return false;
        }
        gint priority = 0;
        bool ready = g_main_context_prepare(context, &priority);
        GPollFD fds[32];
        gint timeout = 0;
        gint count = g_main_context_query(context, priority, &timeout, fds, 32);
        g_main_context_check(context, priority, fds, 0);
        g_main_context_release(context);
        if (!ready && timeout == -1 && count <= 32) {
            return true;
        }
        g_main_context_iteration(context, TRUE);
    }
    return false;
}

class GtkWindow : public ::testing::Test {
protected:
    void SetUp() override {
        messages.clear();
        input->MoveTo(5, 5);  // away from every test window
    }
    void TearDown() override {
        for (auto window = windows.rbegin(); window != windows.rend(); ++window) {
            DestroyNativeWindow(*window);
        }
        ReleaseMouse();
        input->Release();
        PumpUntil([] { return !g_main_context_pending(nullptr); }, 2);
    }

    WindowHandle Make(TestWindow& test, int x, int y, int width, int height,
                      WindowHandle parent = nullptr) {
        WindowHandle window =
            CreateNativeWindow(kClass, "test", parent != nullptr ? kWsChild : kWsPopup, x, y, width,
                               height, parent, &test);
        if (parent == nullptr && window != nullptr) {
            windows.push_back(window);
        }
        return window;
    }

    // Shows a top-level and waits until the screen shows `rgb` at its screen point (sx, sy).
    void ShowAndWait(WindowHandle window, int sx, int sy, uint32_t rgb) {
        SetWindowVisible(window, true);
        ASSERT_TRUE(PumpUntil([&] { return ScreenShows(sx, sy, rgb); }));
    }

    // A window object that lives until the test's windows are gone.
    TestWindow& New() { return objects.emplace_back(); }

    std::vector<WindowHandle> windows;
    std::deque<TestWindow> objects;
};

TEST_F(GtkWindow, CreationAndDestructionReachTheProcedureInOrder) {
    TestWindow& top = New();
    TestWindow& child = New();
    WindowHandle parent = Make(top, 100, 100, 200, 100);
    ASSERT_NE(parent, nullptr);
    WindowHandle control = Make(child, 10, 10, 20, 20, parent);
    ASSERT_NE(control, nullptr);
    ASSERT_GE(messages.size(), 4u);
    EXPECT_EQ(messages[0].message, kWmNcCreate);
    EXPECT_EQ(messages[1].message, kWmCreate);
    EXPECT_EQ(messages[0].param, &top);
    EXPECT_EQ(messages[1].param, &top);
    EXPECT_EQ(messages[2].message, kWmNcCreate);
    EXPECT_EQ(messages[3].message, kWmCreate);
    EXPECT_EQ(messages[3].param, &child);
    EXPECT_EQ(WindowObject(parent), &top);
    EXPECT_EQ(WindowObject(control), &child);

    messages.clear();
    windows.clear();
    DestroyNativeWindow(parent);
    std::vector<std::pair<WindowHandle, unsigned>> order;
    for (const Message& m : messages) {
        order.emplace_back(m.window, m.message);
    }
    std::vector<std::pair<WindowHandle, unsigned>> expected = {{parent, kWmDestroy},
                                                               {control, kWmDestroy},
                                                               {control, kWmNcDestroy},
                                                               {parent, kWmNcDestroy}};
    EXPECT_EQ(order, expected);
}

// The message a refusing procedure refuses, and its answer.
unsigned refusedMessage = 0;
intptr_t refusal = 0;

intptr_t RefusingProcedure(WindowHandle window, unsigned message, uintptr_t wParam,
                           intptr_t lParam) {
    messages.push_back({window, message, wParam, lParam, Clock::now(), nullptr});
    if (message == refusedMessage) {
        return refusal;
    }
    return DefaultWindowProcedure(window, message, wParam, lParam);
}

TEST_F(GtkWindow, ProcedureRefusesTheWindowAtEitherCreationMessage) {
    ASSERT_TRUE(RegisterWindowClass("refusing", RefusingProcedure, 0));
    for (auto [message, answer] : {std::pair<unsigned, intptr_t>{kWmNcCreate, 0},
                                   std::pair<unsigned, intptr_t>{kWmCreate, -1}}) {
        SCOPED_TRACE(message);
        messages.clear();
        refusedMessage = message;
        refusal = answer;
        EXPECT_EQ(CreateNativeWindow("refusing", "x", kWsPopup, 0, 0, 10, 10, nullptr, nullptr),
                  nullptr);
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back().message, kWmNcDestroy);
        EXPECT_EQ(Count(messages.back().window, kWmCreate), message == kWmCreate ? 1u : 0u);
    }
    UnregisterWindowClass("refusing");
}

TEST_F(GtkWindow, TimersTickUntilStoppedOrDestroyed) {
    TestWindow& a = New();
    TestWindow& b = New();
    WindowHandle first = Make(a, 0, 0, 10, 10);
    WindowHandle second = Make(b, 0, 0, 10, 10);
    StartTimer(first, 7, 15);
    StartTimer(first, 8, 40);
    StartTimer(second, 9, 10);
    auto ticks = [](WindowHandle window, uintptr_t id) {
        size_t n = 0;
        for (const Message& m : messages) {
            n += m.window == window && m.message == kWmTimer && m.wParam == id;
        }
        return n;
    };
    ASSERT_TRUE(PumpUntil([&] { return ticks(first, 7) >= 3 && ticks(second, 9) >= 1; }));
    StopTimer(first, 7);
    DestroyNativeWindow(second);
    windows.erase(windows.begin() + 1);
    size_t stopped = ticks(first, 7);
    size_t slow = ticks(first, 8);
    ASSERT_TRUE(PumpUntil([&] { return ticks(first, 8) >= slow + 3; }));
    EXPECT_EQ(ticks(first, 7), stopped);
    for (const Message& m : messages) {
        EXPECT_FALSE(m.window == second && m.message == kWmTimer && m.when > messages.back().when);
    }
    // Starting an existing id again replaces its timer instead of adding one.
    StartTimer(first, 8, 15);
    StartTimer(first, 8, 15);
    size_t before = ticks(first, 8);
    Clock::time_point start = Clock::now();
    ASSERT_TRUE(PumpUntil([&] { return ticks(first, 8) >= before + 4; }));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(4 * 15 - 5));
}

TEST_F(GtkWindow, HoverComesAfterTheRestAndLeaveWhenThePointerGoes) {
    TestWindow& top = New();
    top.paint = Fill(0x204060);
    TestWindow& child = New();
    child.paint = Fill(0xC08040);
    child.react = [](WindowHandle window, unsigned message, uintptr_t, intptr_t) {
        if (message == kWmMouseMove) {
            TrackMouse(window, 150);
        }
    };
    WindowHandle parent = Make(top, 100, 100, 200, 100);
    WindowHandle control = Make(child, 20, 20, 60, 40, parent);
    PlaceWindow(control, 20, 20, 60, 40);
    ShowAndWait(parent, 140, 140, 0xC08040);

    input->MoveTo(130, 131);
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmMouseMove) > 0; }));
    EXPECT_EQ(Last(control, kWmMouseMove)->lParam, PackPoint(10, 11));
    EXPECT_EQ(Last(control, kWmMouseMove)->wParam, 0u);
    Clock::time_point rested = Last(control, kWmMouseMove)->when;
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmMouseHover) > 0; }));
    EXPECT_GE(Last(control, kWmMouseHover)->when - rested, std::chrono::milliseconds(150));
    EXPECT_EQ(Last(control, kWmMouseHover)->lParam, PackPoint(10, 11));
    EXPECT_EQ(Count(control, kWmMouseLeave), 0u);

    input->MoveTo(105, 105);  // onto the parent's own surface
    ASSERT_TRUE(PumpUntil([&] {
        return Count(control, kWmMouseLeave) > 0 &&
               LastPoint(parent, kWmMouseMove) == PackPoint(5, 5);
    })) << Dump();
    EXPECT_EQ(Count(control, kWmMouseHover), 1u);
    // One notice per request: moving on inside the parent brings no second leave.
    input->MoveTo(110, 108);
    ASSERT_TRUE(PumpUntil([&] { return LastPoint(parent, kWmMouseMove) == PackPoint(10, 8); }));
    EXPECT_EQ(Count(control, kWmMouseLeave), 1u);

    // Off every window and back to the very point: after a leave, the move is news again (as
    // when a modal box took the pointer away and gave it back).
    input->MoveTo(130, 131);
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmMouseMove) == 2; })) << Dump();
    input->MoveTo(600, 400);
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmMouseLeave) == 2; })) << Dump();
    input->MoveTo(130, 131);
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmMouseMove) == 3; })) << Dump();
}

TEST_F(GtkWindow, CaptureKeepsThePointerAndHoldsTheLeaveUntilItEnds) {
    TestWindow& top = New();
    top.paint = Fill(0x204060);
    TestWindow& child = New();
    child.paint = Fill(0x40C080);
    child.react = [](WindowHandle window, unsigned message, uintptr_t, intptr_t) {
        if (message == kWmLButtonDown) {
            CaptureMouse(window);
            TrackMouse(window, 10000);
        } else if (message == kWmLButtonUp) {
            ReleaseMouse();
        }
    };
    WindowHandle parent = Make(top, 100, 100, 200, 100);
    WindowHandle control = Make(child, 20, 20, 60, 40, parent);
    PlaceWindow(control, 20, 20, 60, 40);
    ShowAndWait(parent, 140, 140, 0x40C080);

    input->MoveTo(130, 130);
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmMouseMove) > 0; }));
    input->Press();
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmLButtonDown) > 0; }));
    EXPECT_EQ(Last(control, kWmLButtonDown)->wParam, kMkLButton);
    EXPECT_EQ(Last(control, kWmLButtonDown)->lParam, PackPoint(10, 10));

    // Outside the parent altogether: the moves still come to the captured control.
    input->MoveTo(400, 300);
    ASSERT_TRUE(PumpUntil([&] { return LastPoint(control, kWmMouseMove) == PackPoint(280, 180); }));
    EXPECT_EQ(Last(control, kWmMouseMove)->wParam, kMkLButton);
    input->MoveTo(50, 60);  // left of and above the control: negative points
    ASSERT_TRUE(PumpUntil([&] { return LastPoint(control, kWmMouseMove) == PackPoint(-70, -60); }));
    EXPECT_EQ(Count(control, kWmMouseLeave), 0u);

    input->Release();
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmMouseLeave) > 0; }));
    const Message* up = Last(control, kWmLButtonUp);
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(up->lParam, PackPoint(-70, -60));
    EXPECT_EQ(up->wParam, 0u);
    EXPECT_LT(up->when, Last(control, kWmMouseLeave)->when);
}

WindowHandle dragParent = nullptr;

TEST_F(GtkWindow, CaptionAnswersDragTheTopLevel) {
    struct Case {
        const char* name;
        bool onChild;  // the press lands on a child that hands the parent the caption
    };
    for (Case c : {Case{"surface", false}, Case{"forwarding child", true}}) {
        SCOPED_TRACE(c.name);
        TestWindow& top = New();
        top.hitTest = kHtCaption;
        top.paint = Fill(0x806020);
        TestWindow& child = New();
        child.paint = Fill(0x2060A0);
        child.react = [](WindowHandle, unsigned message, uintptr_t, intptr_t lParam) {
            if (message == kWmNcHitTest) {
                SendWindowMessage(dragParent, kWmNcLButtonDown, static_cast<uintptr_t>(kHtCaption),
                                  lParam);
            }
        };
        WindowHandle parent = Make(top, 100, 100, 200, 100);
        dragParent = parent;
        WindowHandle control = Make(child, 100, 60, 80, 20, parent);
        PlaceWindow(control, 100, 60, 80, 20);
        ShowAndWait(parent, 110, 110, 0x806020);
        ASSERT_TRUE(PumpUntil([&] { return ScreenShows(210, 170, 0x2060A0); }));

        int x = c.onChild ? 210 : 110;
        int y = c.onChild ? 170 : 110;
        input->MoveTo(x, y);
        input->Press();
        for (int step = 1; step <= 5; ++step) {
            input->MoveTo(x + 10 * step, y + 6 * step);
            PumpUntil([] { return !g_main_context_pending(nullptr); }, 1);
        }
        input->Release();
        ASSERT_TRUE(PumpUntil([&] { return WindowRect(parent).left == 150; }))
            << WindowRect(parent).left;
        EXPECT_EQ(WindowRect(parent).top, 130);
        EXPECT_TRUE(PumpUntil([&] { return ScreenShows(151, 131, 0x806020); }));
        EXPECT_EQ(Count(parent, kWmLButtonDown), 0u);
        DestroyNativeWindow(parent);
        windows.clear();
    }
}

// A 24-bit BMP of `pixels` (0xRRGGBB, rows from the top), written here so the expected pixels
// do not come from the decoder under test.
std::string Bmp(int width, int height, const std::vector<uint32_t>& pixels) {
    int stride = (width * 3 + 3) / 4 * 4;
    std::string bytes(54 + static_cast<size_t>(stride) * height, '\0');
    auto put = [&bytes](size_t at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
        }
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, static_cast<uint32_t>(bytes.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, width, 4);
    put(22, height, 4);  // positive: bottom-up rows
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, static_cast<uint32_t>(stride) * height, 4);
    for (int y = 0; y < height; ++y) {
        size_t row = 54 + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            uint32_t p = pixels[static_cast<size_t>(y) * width + x];
            put(row + 3 * x, p, 3);  // blue, green, red
        }
    }
    return bytes;
}

// The pixels GdkPixbuf decodes from `bytes` (for lossy formats, what any decoder of the same
// library gives).
guitest::Image Decode(const std::string& bytes) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(),
                            nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    guitest::Image image;
    image.width = gdk_pixbuf_get_width(pixbuf);
    image.height = gdk_pixbuf_get_height(pixbuf);
    const guint8* data = gdk_pixbuf_read_pixels(pixbuf);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const guint8* p =
                data + y * gdk_pixbuf_get_rowstride(pixbuf) + x * gdk_pixbuf_get_n_channels(pixbuf);
            image.pixels.push_back(static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
        }
    }
    g_object_unref(loader);
    return image;
}

std::string Jpeg(int width, int height, const std::vector<uint32_t>& pixels) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            guint8* p =
                gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) + 3 * x;
            uint32_t c = pixels[static_cast<size_t>(y) * width + x];
            p[0] = c >> 16 & 0xFF;
            p[1] = c >> 8 & 0xFF;
            p[2] = c & 0xFF;
        }
    }
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "jpeg", nullptr, "quality", "90", nullptr);
    std::string bytes(buffer, size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return bytes;
}

// Draws with a render target of its own on every paint.
struct Painter {
    std::unique_ptr<RenderTarget> target;
    std::function<void(RenderTarget&)> draw;
    std::function<void(WindowHandle)> Paint() {
        return [this](WindowHandle window) {
            if (target == nullptr) {
                Rect client = ClientRect(window);
                target = CreateRenderTarget(window, client.right, client.bottom);
            }
            target->BeginDraw();
            draw(*target);
            EXPECT_TRUE(target->EndDraw());
        };
    }
};

TEST_F(GtkWindow, BitmapsReachTheScreenPixelForPixel) {
    constexpr int kWidth = 37;
    constexpr int kHeight = 23;
    std::vector<uint32_t> pattern;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            pattern.push_back(static_cast<uint32_t>((x * 7) << 16 | (y * 11) << 8 | (x * y) % 256));
        }
    }
    guitest::Image exact{kWidth, kHeight, pattern};
    std::string bmp = Bmp(kWidth, kHeight, pattern);
    std::string jpeg = Jpeg(kWidth, kHeight, pattern);
    struct Case {
        const char* format;
        const std::string* bytes;
        guitest::Image expected;
    };
    for (const Case& c : {Case{"24-bit BMP", &bmp, exact}, Case{"JPEG", &jpeg, Decode(jpeg)}}) {
        SCOPED_TRACE(c.format);
        Painter painter;
        std::unique_ptr<Bitmap> bitmap;
        painter.draw = [&](RenderTarget& target) {
            if (bitmap == nullptr) {
                bitmap = target.CreateBitmapFromImage(c.bytes->data(), c.bytes->size());
                ASSERT_NE(bitmap, nullptr);
                EXPECT_EQ(bitmap->PixelSize().width, kWidth);
                EXPECT_EQ(bitmap->Size().height, kHeight);
            }
            target.Clear({0, 0, 1, 1});
            target.DrawBitmap(*bitmap, nullptr, 1.0f, Interpolation::kLinear, nullptr);
        };
        TestWindow& test = New();
        test.paint = painter.Paint();
        WindowHandle window = Make(test, 200, 150, 60, 40);
        ShowAndWait(window, 259, 189, 0x0000FF);
        guitest::Image shot;
        bool same = PumpUntil([&] {
            shot = input->Grab(200, 150, kWidth, kHeight);
            return shot == c.expected;
        });
        EXPECT_TRUE(same) << guitest::FirstDifference(shot, c.expected);
        EXPECT_TRUE(ScreenShows(200 + kWidth, 150, 0x0000FF));
        EXPECT_TRUE(ScreenShows(200, 150 + kHeight, 0x0000FF));
        DestroyNativeWindow(window);
        windows.clear();
        EXPECT_EQ(painter.target->CreateBitmapFromImage("GIF89a", 6), nullptr);
        EXPECT_EQ(painter.target->CreateBitmapFromImage(c.bytes->data(), 20), nullptr);
    }
}

TEST_F(GtkWindow, BitmapsScaleCropAndBlendAsAsked) {
    // Red, green / blue, white.
    std::string bmp = Bmp(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    Painter painter;
    std::unique_ptr<Bitmap> bitmap;
    painter.draw = [&](RenderTarget& target) {
        if (bitmap == nullptr) {
            bitmap = target.CreateBitmapFromImage(bmp.data(), bmp.size());
            ASSERT_NE(bitmap, nullptr);
        }
        target.Clear({0, 0, 0, 1});
        RectF scaled{0, 0, 20, 20};
        target.DrawBitmap(*bitmap, &scaled, 1.0f, Interpolation::kNearestNeighbor, nullptr);
        RectF greenOnly{1, 0, 2, 1};
        RectF cropped{30, 0, 40, 10};
        target.DrawBitmap(*bitmap, &cropped, 1.0f, Interpolation::kNearestNeighbor, &greenOnly);
        RectF half{50, 0, 52, 2};
        target.DrawBitmap(*bitmap, &half, 0.5f, Interpolation::kNearestNeighbor, nullptr);
        std::unique_ptr<Brush> veil = target.CreateSolidBrush({1, 1, 1, 0.25f});
        target.FillRectangle({60, 0, 70, 10}, *veil);
        RectF smooth{70, 10, 78, 14};
        target.DrawBitmap(*bitmap, &smooth, 1.0f, Interpolation::kLinear, nullptr);
        std::unique_ptr<Brush> marker = target.CreateSolidBrush({1, 0, 1, 1});
        target.FillRectangle({79, 29, 80, 30}, *marker);  // drawn last: the frame is done
    };
    TestWindow& test = New();
    test.paint = painter.Paint();
    WindowHandle window = Make(test, 600, 500, 80, 30);
    ShowAndWait(window, 679, 529, 0xFF00FF);
    guitest::Image shot = input->Grab(600, 500, 80, 30);
    struct Expected {
        int x;
        int y;
        uint32_t rgb;
    };
    for (Expected e :
         {Expected{0, 0, 0xFF0000}, Expected{9, 9, 0xFF0000}, Expected{10, 0, 0x00FF00},
          Expected{19, 9, 0x00FF00}, Expected{0, 10, 0x0000FF}, Expected{19, 19, 0xFFFFFF},
          Expected{20, 20, 0x000000}, Expected{30, 0, 0x00FF00}, Expected{39, 9, 0x00FF00},
          Expected{40, 0, 0x000000}}) {
        EXPECT_EQ(shot.At(e.x, e.y), e.rgb) << e.x << "," << e.y;
    }
    // Half opacity over black halves each channel; a quarter-white veil gives a quarter grey.
    EXPECT_NEAR(static_cast<int>(shot.At(50, 0) >> 16), 128, 1);
    EXPECT_EQ(shot.At(50, 0) & 0xFFFF, 0u);
    EXPECT_NEAR(static_cast<int>(shot.At(61, 1) & 0xFF), 64, 1);
    // Linear interpolation blends neighbours where nearest-neighbour keeps them apart.
    uint32_t between = shot.At(74, 10);
    EXPECT_GT(between >> 16 & 0xFF, 0u);
    EXPECT_GT(between >> 8 & 0xFF, 0u);
    EXPECT_LT(between >> 16 & 0xFF, 0xFFu);
}

// The columns and rows of `image` that hold ink (pixels other than `background`).
struct Ink {
    int left = 1 << 20;
    int right = -1;
    int top = 1 << 20;
    int bottom = -1;
    int pixels = 0;
};

Ink InkOf(const guitest::Image& image, uint32_t background) {
    Ink ink;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.At(x, y) != background) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
                ++ink.pixels;
            }
        }
    }
    return ink;
}

// Draws `text` once in `box` on white and returns the window's pixels.
guitest::Image DrawText(const std::u16string& text, const char16_t* family, TextAlignment alignment,
                        RectF box, TextOptions options) {
    Painter painter;
    std::unique_ptr<TextFormat> format = CreateTextFormat(family, 14, u"ko-kr");
    EXPECT_NE(format, nullptr);
    format->SetAlignment(alignment);
    painter.draw = [&](RenderTarget& target) {
        target.Clear({1, 1, 1, 1});
        std::unique_ptr<Brush> black = target.CreateSolidBrush({0, 0, 0, 1});
        target.DrawString(text.data(), text.size(), *format, box, *black, options);
        std::unique_ptr<Brush> marker = target.CreateSolidBrush({1, 0, 0, 1});
        target.FillRectangle({199, 119, 200, 120}, *marker);  // drawn last: the frame is done
    };
    TestWindow window;
    window.paint = painter.Paint();
    static int placed = 0;
    int x = 300 + (placed++ % 2) * 10;  // a fresh place, so no older frame can pass for this one
    WindowHandle handle =
        CreateNativeWindow(kClass, "text", kWsPopup, x, 300, 200, 120, nullptr, &window);
    SetWindowVisible(handle, true);
    EXPECT_TRUE(PumpUntil([&] { return ScreenShows(x + 199, 419, 0xFF0000); }));
    guitest::Image shot = input->Grab(x, 300, 199, 119);
    DestroyNativeWindow(handle);
    return shot;
}

TEST_F(GtkWindow, TextStaysInItsBoxWithItsAlignment) {
    RectF box{20, 10, 180, 40};
    struct Case {
        const char* name;
        TextAlignment alignment;
        TextOptions options;
        std::u16string text;
    };
    const std::u16string shortText = u"Sample 123";
    const std::u16string longText = u"many words that will not fit on one line of this box";
    for (const Case& c : {Case{"leading", TextAlignment::kLeading, TextOptions::kNone, shortText},
                          Case{"trailing", TextAlignment::kTrailing, TextOptions::kNone, shortText},
                          Case{"center", TextAlignment::kCenter, TextOptions::kNone, shortText},
                          Case{"wrapped", TextAlignment::kLeading, TextOptions::kNone, longText},
                          Case{"clipped", TextAlignment::kLeading, TextOptions::kClip, longText}}) {
        SCOPED_TRACE(c.name);
        Ink ink = InkOf(DrawText(c.text, u"DejaVu Sans", c.alignment, box, c.options), 0xFFFFFF);
        ASSERT_GT(ink.pixels, 20);
        EXPECT_GE(ink.left, box.left);
        EXPECT_LE(ink.right, box.right);
        EXPECT_GE(ink.top, box.top);
        EXPECT_LE(ink.top, box.top + 6);  // paragraphs start at the top of the box
        if (c.alignment == TextAlignment::kLeading) {
            EXPECT_LE(ink.left, box.left + 3);
        } else if (c.alignment == TextAlignment::kTrailing) {
            EXPECT_GE(ink.right, box.right - 4);
        } else {
            EXPECT_NEAR((ink.left + ink.right) / 2.0, (box.left + box.right) / 2, 3);
        }
        if (c.text == longText && c.options == TextOptions::kNone) {
            EXPECT_GT(ink.bottom, box.bottom);  // the wrapped lines run on below the box
        } else {
            EXPECT_LT(ink.bottom, box.bottom);
        }
    }
    // A clipped box that ends inside its second line shows the first line only, no marks of
    // the cut one along its bottom edge.
    RectF field{20, 10, 180, 29};
    Ink cut = InkOf(
        DrawText(longText, u"DejaVu Sans", TextAlignment::kLeading, field, TextOptions::kClip),
        0xFFFFFF);
    EXPECT_GT(cut.pixels, 20);
    EXPECT_LT(cut.bottom, field.bottom - 2);
}

TEST_F(GtkWindow, UnknownFamilyFallsBackToAFontWithTheGlyphs) {
    RectF box{10, 10, 190, 60};
    const std::u16string japanese = u"日本語のテキスト";
    guitest::Image fallback = DrawText(japanese, u"No Such Family Anywhere",
                                       TextAlignment::kLeading, box, TextOptions::kNone);
    guitest::Image cjk =
        DrawText(japanese, u"Noto Sans CJK KR", TextAlignment::kLeading, box, TextOptions::kNone);
    Ink ink = InkOf(fallback, 0xFFFFFF);
    EXPECT_GT(ink.pixels, 200);
    EXPECT_TRUE(fallback == cjk) << "the fallback did not draw the CJK font's glyphs";
    // Latin text in an unknown family draws too.
    EXPECT_GT(InkOf(DrawText(u"Latin", u"No Such Family Anywhere", TextAlignment::kLeading, box,
                             TextOptions::kNone),
                    0xFFFFFF)
                  .pixels,
              20);
}

TEST_F(GtkWindow, KeysAndCloseRequestsBecomeMessages) {
    TestWindow& top = New();
    top.paint = Fill(0x336699);
    WindowHandle window = Make(top, 400, 100, 80, 60);
    ShowAndWait(window, 401, 101, 0x336699);
    unsigned long xid = input->FindWindow("test");
    ASSERT_NE(xid, 0u);
    input->Key(xid, "Escape");
    ASSERT_TRUE(PumpUntil([&] { return Count(window, kWmKeyDown) > 0; }));
    EXPECT_EQ(Last(window, kWmKeyDown)->wParam, kVkEscape);
    input->RequestClose(xid);
    ASSERT_TRUE(PumpUntil([&] { return Count(window, kWmClose) > 0; }));
    // The procedure did not destroy it: it is still there.
    EXPECT_EQ(Count(window, kWmDestroy), 0u);
    EXPECT_TRUE(ScreenShows(401, 101, 0x336699));
}

TEST_F(GtkWindow, InvalidationPaintsOnceAndIdleWindowsWakeNothing) {
    TestWindow& top = New();
    top.paint = Fill(0x102030);
    TestWindow& child = New();
    child.paint = Fill(0x405060);
    WindowHandle parent = Make(top, 500, 300, 100, 80);
    WindowHandle control = Make(child, 10, 10, 30, 30, parent);
    PlaceWindow(control, 10, 10, 30, 30);
    ShowAndWait(parent, 515, 315, 0x405060);
    ASSERT_TRUE(PumpUntil([] { return !g_main_context_pending(nullptr); }));
    size_t parentPaints = Count(parent, kWmPaint);
    size_t childPaints = Count(control, kWmPaint);
    EXPECT_EQ(parentPaints, 1u);
    EXPECT_EQ(childPaints, 1u);

    InvalidateWindow(control);
    InvalidateWindow(control);
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmPaint) == childPaints + 1; }));
    ASSERT_TRUE(PumpUntil([] { return !g_main_context_pending(nullptr); }));
    EXPECT_EQ(Count(control, kWmPaint), childPaints + 1);
    EXPECT_EQ(Count(parent, kWmPaint), parentPaints);
    EXPECT_EQ(Count(control, kWmEraseBkgnd), 0u);

    // A worker's invalidation is carried out by the UI thread.
    std::thread([control] { InvalidateWindow(control); }).join();
    ASSERT_TRUE(PumpUntil([&] { return Count(control, kWmPaint) == childPaints + 2; }));
    EXPECT_EQ(Last(control, kWmPaint)->thread, std::this_thread::get_id());

    // Nothing is left to run: once the loop has settled, no source wakes it while the windows
    // idle (no polling timer).
    EXPECT_TRUE(SettlesIdle());
}

std::vector<std::string> traced;

void CollectTrace(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
    traced.emplace_back(message);
}

TEST_F(GtkWindow, TraceGoesToTheDebugLogOfItsDomain) {
    guint handler = g_log_set_handler("downloader", G_LOG_LEVEL_DEBUG, CollectTrace, nullptr);
    DebugTrace("msg:00000084 lParam:00c80064\n");
    g_log_remove_handler("downloader", handler);
    EXPECT_EQ(traced, std::vector<std::string>{"msg:00000084 lParam:00c80064"});
}

}  // namespace
