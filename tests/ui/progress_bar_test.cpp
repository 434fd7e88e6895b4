// The progress bar: configuration, geometry, the progress and speed texts, painting and the
// hit-test forwarding.
#include <cmath>
#include <limits>
#include <string>

#include "ui/cProgressBar.h"
#include "ui_fixture.h"

namespace uitest {
namespace {

using platform::WindowHandle;

class ProgressBar : public UiTest {
protected:
    void SetUp() override {
        LoadShippedDocument(document);
        main = Create(mainWindow, platform::kWsPopup, 0, 0, 640, 380);
    }

    // Configures and creates `bar` from the shipped document, as the owner does.
    WindowHandle Make(cProgressBar& bar) {
        EXPECT_TRUE(bar.LoadConfig(document));
        return Create(bar, platform::kWsChild, bar.x, bar.y, bar.barWidth, bar.barHeight, main);
    }

    cJson document;
    RecordingWindow mainWindow;
    WindowHandle main = nullptr;
};

void ExpectRect(const platform::RectF& rect, float left, float top, float right, float bottom) {
    EXPECT_FLOAT_EQ(rect.left, left);
    EXPECT_FLOAT_EQ(rect.top, top);
    EXPECT_FLOAT_EQ(rect.right, right);
    EXPECT_FLOAT_EQ(rect.bottom, bottom);
}

TEST_F(ProgressBar, ConfigurationAndGeometryFromTheShippedDocument) {
    cProgressBar bar;
    WindowHandle handle = Make(bar);
    EXPECT_STREQ(bar.name.get(), "total");
    EXPECT_EQ(bar.x, 30);
    EXPECT_EQ(bar.y, 306);
    EXPECT_EQ(bar.barWidth, 586);
    EXPECT_EQ(bar.barHeight, 18);
    EXPECT_EQ(bar.backgroundColor, 0x333333u);
    EXPECT_EQ(bar.foregroundColor, 0x33DDFFu);
    EXPECT_TRUE(bar.drawRateText);
    EXPECT_EQ(bar.textColor, 0xFFFFFFu);
    EXPECT_FLOAT_EQ(bar.textAlpha, 0.79f);
    ExpectRect(bar.rateRect, 263, 1, 323, 11);
    ExpectRect(bar.speedRect, 333, 1, 581, 11);
    ExpectRect(bar.fillRect, 1, 1, 1, 17);
    EXPECT_EQ(fake::CallsOn(handle),
              (std::vector<std::string>{"Create", "PlaceWindow 30 306 586 18"}));
    EXPECT_EQ(std::u16string(bar.rateText), u"0.00%");
    EXPECT_EQ(std::u16string(bar.speedText), u"0.000 MiB/Sec");
}

TEST_F(ProgressBar, ConfigurationLackingAnyMemberFails) {
    struct Case {
        const char* section;
        const char* key;
    };
    for (const Case& c :
         {Case{"total", "x"}, Case{"total", "y"}, Case{"total", "width"}, Case{"total", "height"},
          Case{"total", "bg-color"}, Case{"total", "fg-color"}, Case{"total", "draw-rate-text"},
          Case{"progressbar", "name"}, Case{"progressbar", "size"}, Case{"progressbar", "alpha"},
          Case{"progressbar", "color"}}) {
        cJson broken;
        ASSERT_TRUE(broken.Parse(ShippedWithout(c.section, c.key).c_str())) << c.key;
        cProgressBar bar;
        EXPECT_FALSE(bar.LoadConfig(broken)) << c.section << "/" << c.key;
    }
}

TEST_F(ProgressBar, OnlyTheExactTextTrueDrawsTheTexts) {
    for (const char* flag : {"True", "TRUE", "\"truer\"", "false", "1"}) {
        std::string text = ShippedWithout("total", "draw-rate-text");
        text.insert(text.find("\"bg-color\""), std::string("\"draw-rate-text\" : ") + flag + ", ");
        cJson variant;
        ASSERT_TRUE(variant.Parse(text.c_str())) << flag;
        cProgressBar bar;
        ASSERT_TRUE(bar.LoadConfig(variant)) << flag;
        EXPECT_FALSE(bar.drawRateText) << flag;
    }
}

TEST_F(ProgressBar, ProgressArithmeticAndText) {
    struct Step {
        int32_t value;
        int32_t filledWidth;
        std::u16string text;
        bool repainted;
    };
    cProgressBar bar;
    WindowHandle handle = Make(bar);
    for (const Step& step : {
             Step{0, 0, u"0.00%", false},  // already the stored value
             Step{1, 0, u"0.01%", true},   // 584 / 10000 truncated
             Step{4567, 266, u"45.67%", true},
             Step{4567, 266, u"45.67%", false},
             Step{9999, 583, u"99.99%", true},
             Step{10000, 584, u"100.00%", true},
             Step{12345, 584, u"100.00%", false},  // beyond the end counts as the end
             Step{std::numeric_limits<int32_t>::max(), 584, u"100.00%", false},
             Step{-7, 0, u"0.00%", true},
         }) {
        fake::ClearRecords();
        bar.SetProgress(step.value);
        EXPECT_EQ(bar.filledWidth, step.filledWidth) << step.value;
        EXPECT_FLOAT_EQ(bar.fillRect.right, static_cast<float>(step.filledWidth) + 1) << step.value;
        EXPECT_EQ(std::u16string(bar.rateText), step.text) << step.value;
        EXPECT_EQ(fake::Invalidated() == std::vector<WindowHandle>{handle}, step.repainted)
            << step.value;
    }
}

TEST_F(ProgressBar, SpeedTextAlwaysFitsItsField) {
    struct Step {
        float speed;
        std::u16string text;
        bool repainted;
    };
    cProgressBar bar;
    WindowHandle handle = Make(bar);
    for (const Step& step : {
             Step{0.0f, u"0.000 MiB/Sec", false},
             Step{2.25f, u"2.250 MiB/Sec", true},
             Step{1.5f, u"1.500 MiB/Sec", true},
             Step{1.5f, u"1.500 MiB/Sec", false},
             Step{999.999f, u"999.999 MiB/Sec", true},
             Step{1000.0f, u"1000.00 MiB/Sec", true},
             Step{12345.678f, u"12345.7 MiB/Sec", true},
             Step{123456.7f, u"123457 MiB/Sec", true},
             Step{1e12f, u"9999999 MiB/Sec", true},
             Step{std::numeric_limits<float>::infinity(), u"9999999 MiB/Sec", false},
             Step{-3.0f, u"0.000 MiB/Sec", true},
             Step{std::nanf(""), u"0.000 MiB/Sec", false},
         }) {
        fake::ClearRecords();
        bar.SetSpeed(step.speed);
        EXPECT_EQ(std::u16string(bar.speedText), step.text) << step.speed;
        EXPECT_LT(std::u16string(bar.speedText).size(), cProgressBar::kSpeedTextSize);
        EXPECT_EQ(fake::Invalidated() == std::vector<WindowHandle>{handle}, step.repainted)
            << step.speed;
    }
}

TEST_F(ProgressBar, SpeedLimitShowsBesideTheSpeedWithinItsField) {
    struct Step {
        int limit;
        float speed;
        std::u16string text;
    };
    cProgressBar bar;
    Make(bar);
    for (const Step& step : {
             Step{5, 0.0f, u"0.00 MiB/s (max 5)"},
             Step{5, 4.98f, u"4.98 MiB/s (max 5)"},
             Step{20, 19.98f, u"20 MiB/s (max 20)"},
             Step{1, 1234.7f, u"1235 MiB/s (max 1)"},
             Step{0, 4.98f, u"4.980 MiB/Sec"},
             Step{-2, 1.0f, u"1.000 MiB/Sec"},
         }) {
        bar.SetSpeedLimit(step.limit);
        bar.SetSpeed(step.speed);
        EXPECT_EQ(std::u16string(bar.speedText), step.text) << step.limit << " " << step.speed;
        EXPECT_LT(std::u16string(bar.speedText).size(), cProgressBar::kSpeedTextSize);
    }
}

TEST_F(ProgressBar, PaintsBackgroundFillAndBothTexts) {
    cProgressBar bar;
    WindowHandle handle = Make(bar);
    bar.SetProgress(4567);
    bar.SetSpeed(1.5f);
    fake::ClearRecords();
    platform::SendWindowMessage(handle, platform::kWmPaint, 0, 0);
    auto ops = fake::DrawOpsOf(handle);
    ASSERT_EQ(ops.size(), 6u);
    EXPECT_EQ(ops[0].kind, fake::DrawOp::kBeginDraw);
    EXPECT_EQ(ops[1].kind, fake::DrawOp::kClear);
    EXPECT_FLOAT_EQ(ops[1].color.r, 0.2f);
    EXPECT_FLOAT_EQ(ops[1].color.a, 1.0f);
    EXPECT_EQ(ops[2].kind, fake::DrawOp::kFill);
    ExpectRect(ops[2].rect, 1, 1, 267, 17);
    EXPECT_FLOAT_EQ(ops[2].color.g, 221 / 255.0f);
    EXPECT_FLOAT_EQ(ops[2].color.a, 1.0f);
    struct Text {
        std::u16string text;
        platform::TextAlignment alignment;
        float left;
        float right;
    };
    const Text texts[] = {{u"45.67%", platform::TextAlignment::kLeading, 263, 323},
                          {u"1.500 MiB/Sec", platform::TextAlignment::kTrailing, 333, 581}};
    for (int i = 0; i < 2; ++i) {
        const fake::DrawOp& op = ops[3 + i];
        EXPECT_EQ(op.kind, fake::DrawOp::kText);
        EXPECT_EQ(op.text, texts[i].text);
        EXPECT_EQ(op.alignment, texts[i].alignment);
        ExpectRect(op.rect, texts[i].left, 1, texts[i].right, 11);
        EXPECT_EQ(op.options, platform::TextOptions::kNone);
        EXPECT_EQ(op.family, u"?? ??");
        EXPECT_EQ(op.size, 12.0f);
        EXPECT_EQ(op.locale, u"ko-kr");
        EXPECT_FLOAT_EQ(op.color.r, 1.0f);
        EXPECT_FLOAT_EQ(op.color.a, 0.79f);
    }
    EXPECT_EQ(ops[5].kind, fake::DrawOp::kEndDraw);
}

TEST_F(ProgressBar, WithoutRateTextsTheBarStillMovesButDrawsNoText) {
    cProgressBar bar;
    WindowHandle handle = Make(bar);
    bar.drawRateText = false;
    fake::ClearRecords();
    bar.SetProgress(5000);
    bar.SetSpeed(3.0f);
    EXPECT_EQ(fake::Invalidated().size(), 2u);
    EXPECT_EQ(bar.filledWidth, 292);
    EXPECT_EQ(std::u16string(bar.rateText), u"0.00%");
    EXPECT_EQ(std::u16string(bar.speedText), u"0.000 MiB/Sec");
    platform::SendWindowMessage(handle, platform::kWmPaint, 0, 0);
    for (const fake::DrawOp& op : fake::DrawOpsOf(handle)) {
        EXPECT_NE(op.kind, fake::DrawOp::kText);
    }
}

TEST_F(ProgressBar, WithoutTargetOrFormatItDrawsWhatItHas) {
    fake::FailTextFormats(true);
    cProgressBar withoutFormat;
    WindowHandle handle = Make(withoutFormat);
    platform::SendWindowMessage(handle, platform::kWmPaint, 0, 0);
    int fills = 0;
    for (const fake::DrawOp& op : fake::DrawOpsOf(handle)) {
        EXPECT_NE(op.kind, fake::DrawOp::kText);
        fills += op.kind == fake::DrawOp::kFill;
    }
    EXPECT_EQ(fills, 1);

    fake::FailRenderTargets(true);
    cProgressBar withoutTarget;
    handle = Make(withoutTarget);
    withoutTarget.SetProgress(100);
    platform::SendWindowMessage(handle, platform::kWmPaint, 0, 0);
    EXPECT_TRUE(fake::DrawOpsOf(handle).empty());
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(ProgressBar, HitTestHandsTheMainWindowItsCaption) {
    cProgressBar bar;
    WindowHandle handle = Make(bar);
    fake::ClearRecords();
    intptr_t point = platform::PackPoint(300, 315);
    EXPECT_EQ(platform::SendWindowMessage(handle, platform::kWmNcHitTest, 0, point),
              platform::kHtClient);
    ASSERT_FALSE(mainWindow.messages.empty());
    EXPECT_EQ(mainWindow.messages.back(), platform::kWmNcLButtonDown);
    auto sent = fake::SentMessages();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].window, main);
    EXPECT_EQ(sent[1].wParam, static_cast<uintptr_t>(platform::kHtCaption));
    EXPECT_EQ(sent[1].lParam, point);
    // The main window does not handle it itself: the system's caption handling moves it.
    EXPECT_EQ(fake::CallsOn(main), std::vector<std::string>{"MoveDrag"});
}

}  // namespace
}  // namespace uitest
