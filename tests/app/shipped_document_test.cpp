// The UX documents built into the program, read as the program reads them.
#include <gtest/gtest.h>

#include "app_fixture.h"
#ifdef _WIN32
#include "platform/win32/codepage.h"
#else
#include "platform/iconv/codepage.h"
#endif

namespace fake = platform::fake;

namespace {

// The default download folders: a Windows path there, below the user's home elsewhere.
#ifdef _WIN32
constexpr const char* kDefaultFolderJa = "c:\\download\\dezirodor\\";
constexpr const char* kDefaultFolderKo = "c:\\download\\dedozuriv\\";
#else
constexpr const char* kDefaultFolderJa = "~/download/dezirodor/";
constexpr const char* kDefaultFolderKo = "~/download/dedozuriv/";
#endif

std::string Variant(int id) {
    return apptest::ReadFile(UX_DOCUMENT_DIR "ux" + std::to_string(id) + ".json");
}

}  // namespace

class ShippedDocument : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        Ship(Variant(105));
        ASSERT_TRUE(document.LoadFromResource());
        ASSERT_NE(document.root, nullptr);
    }
    cJson::Node* At(std::initializer_list<const char*> path) {
        cJson::Node* node = nullptr;
        for (const char* key : path) {
            node = node == nullptr ? document.root->Find(key) : node->GetNode(key);
            if (node == nullptr) {
                ADD_FAILURE() << "missing key " << key;
                return nullptr;
            }
        }
        return node;
    }
    std::string Text(std::initializer_list<const char*> path) {
        cJson::Node* node = At(path);
        return node != nullptr ? node->GetString() : "";
    }
    int Int(std::initializer_list<const char*> path) {
        cJson::Node* node = At(path);
        return node != nullptr ? node->GetInt() : -12345;
    }
    int Hex(std::initializer_list<const char*> path) {
        cJson::Node* node = At(path);
        return node != nullptr ? node->GetHex() : -12345;
    }
    std::u16string Wide(std::initializer_list<const char*> path) {
        cJson::Node* node = At(path);
        return node != nullptr && node->GetWString() != nullptr ? node->GetWString() : u"<none>";
    }
    cJson document;
};

TEST_F(ShippedDocument, RootKeys) {
    EXPECT_EQ(Text({"version"}), "201808301023");
    EXPECT_EQ(Text({"use-local-resource"}), "true");
    EXPECT_EQ(Text({"server-url"}), SHIPPED_SERVER_URL);
    EXPECT_EQ(Text({"window-title"}), "DezirodOR Downloader");
    EXPECT_EQ(document.root->Find("message-box"), nullptr);
}

TEST_F(ShippedDocument, Folder) {
    EXPECT_EQ(Text({"folder", "default"}), kDefaultFolderJa);
    EXPECT_EQ(Int({"folder", "x"}), 123);
    EXPECT_EQ(Int({"folder", "y"}), 340);
}

TEST_F(ShippedDocument, Fonts) {
    for (const char* font : {"value", "tag", "progressbar"}) {
        EXPECT_EQ(Wide({"font", font, "name"}), u"?? ??") << font;
        // The panel's texts are smaller: its Japanese labels are wide.
        EXPECT_EQ(Int({"font", font, "size"}), std::string(font) == "tag" ? 10 : 12) << font;
        EXPECT_EQ(Int({"font", font, "alpha"}), 79) << font;
    }
    EXPECT_EQ(Hex({"font", "value", "color"}), 0xCCFF00);
    EXPECT_EQ(Hex({"font", "tag", "color"}), 0xFFFFFF);
    EXPECT_EQ(Hex({"font", "progressbar", "color"}), 0xFFFFFF);
}

TEST_F(ShippedDocument, PanelLabels) {
    EXPECT_EQ(Wide({"text", "tag", "time-remaining", "name"}), u"残り時間");
    EXPECT_EQ(Wide({"text", "tag", "elapse-time", "name"}), u"経過時間");
    EXPECT_EQ(Wide({"text", "tag", "total-recv", "name"}), u"ダウンロード済み");
    EXPECT_EQ(Wide({"text", "tag", "total-size", "name"}), u"ファイルサイズ");
    struct Place {
        const char* key;
        int label;
        int value;
    };
    for (const Place& p : {Place{"time-remaining", 0, 54}, Place{"elapse-time", 136, 190},
                           Place{"total-recv", 240, 333}, Place{"total-size", 420, 502}}) {
        EXPECT_EQ(Int({"text", "tag", p.key, "x"}), p.label) << p.key;
        EXPECT_EQ(Int({"text", "tag", p.key, "value-x"}), p.value) << p.key;
    }
}

TEST_F(ShippedDocument, Buttons) {
    struct Button {
        const char* name;
        int x;
        const char* image;
    };
    for (const Button& b :
         {Button{"launch", 312, "run"}, Button{"start", 390, "start"}, Button{"pause", 468, "stop"},
          Button{"cancel", 546, "close"}, Button{"folder", 30, "folder"}}) {
        std::string stem = std::string("skin/btn_") + b.image;
        EXPECT_EQ(Int({"button", b.name, "x"}), b.x) << b.name;
        EXPECT_EQ(Int({"button", b.name, "y"}), 334) << b.name;
        EXPECT_EQ(Text({"button", b.name, "normal"}), stem + ".jpg") << b.name;
        EXPECT_EQ(Text({"button", b.name, "over"}), stem + "_mo.jpg") << b.name;
        EXPECT_EQ(Text({"button", b.name, "down"}), stem + "_se.jpg") << b.name;
        EXPECT_EQ(Text({"button", b.name, "disable"}), stem + "_di.jpg") << b.name;
    }
}

TEST_F(ShippedDocument, ProgressBar) {
    EXPECT_EQ(Int({"progressbar", "total", "x"}), 30);
    EXPECT_EQ(Int({"progressbar", "total", "y"}), 306);
    EXPECT_EQ(Int({"progressbar", "total", "width"}), 586);
    EXPECT_EQ(Int({"progressbar", "total", "height"}), 18);
    EXPECT_EQ(Hex({"progressbar", "total", "bg-color"}), 0x333333);
    EXPECT_EQ(Hex({"progressbar", "total", "fg-color"}), 0x33DDFF);
    EXPECT_EQ(Text({"progressbar", "total", "draw-rate-text"}), "true");
}

TEST_F(ShippedDocument, UnreadKeysAreCarried) {
    EXPECT_EQ(Text({"created"}), "201804191022");
    EXPECT_EQ(Text({"bg-image"}), "skin/bg.jpg");
    EXPECT_EQ(Wide({"font", "title", "name"}), u"???");
    EXPECT_EQ(Int({"font", "tag", "bold"}), 500);
    EXPECT_EQ(Text({"text", "title", "status", "name"}), "[????]");
    EXPECT_EQ(Int({"text", "tag", "available-storage", "y"}), 110);
    EXPECT_EQ(Hex({"progressbar", "each-not-used", "fg-color"}), 0x993300);
}

TEST_F(ShippedDocument, LabelsAreCodePage932Bytes) {
    std::string bytes = Variant(105);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front(), '{');  // no byte-order mark
    EXPECT_NE(bytes.find("\"\x8e\x63\x82\xe8\x8e\x9e\x8a\xd4\""), std::string::npos);
    EXPECT_NE(bytes.find("\"\x83\x74\x83\x40\x83\x43\x83\x8b\x83\x54\x83\x43\x83\x59\""),
              std::string::npos);
}

TEST_F(ShippedDocument, KoreanVariantsAreCarriedInCodePage949) {
    for (int id : {103, 104}) {
        std::string bytes = Variant(id);
        ASSERT_FALSE(bytes.empty()) << id;
#ifdef _WIN32
        std::string text = platform::win32_codepage::ToUtf8(949, bytes.data(), bytes.size());
#else
        std::string text = platform::iconv_codepage::ToUtf8("CP949", bytes.data(), bytes.size());
#endif
        EXPECT_NE(text.find("\"남은 시간\""), std::string::npos) << id;
        EXPECT_NE(text.find("\"x\" : 429"), std::string::npos) << id;
        cJson variant;
        ASSERT_TRUE(variant.Parse(bytes.c_str()));
        EXPECT_EQ(variant.root->Find("text")
                      ->GetNode("tag")
                      ->GetNode("total-recv")
                      ->GetNode("x")
                      ->GetInt(),
                  269);
    }
    cJson korea;
    ASSERT_TRUE(korea.Parse(Variant(104).c_str()));
    EXPECT_STREQ(korea.root->Find("window-title")->GetString(), "DedozurIV Downloader");
    EXPECT_STREQ(korea.root->Find("folder")->GetNode("default")->GetString(), kDefaultFolderKo);
}

TEST_F(ShippedDocument, ShippedStartUpRunsWithTheDefaultTexts) {
    cApp app;
    Prepare(app);
    fake::OnMessageLoop([&] {
        EXPECT_EQ(fake::StateOf(fake::MainWindows().front()).title, "DezirodOR Downloader");
        EXPECT_STREQ(app.serverUrl, SHIPPED_SERVER_URL);
        EXPECT_STREQ(app.versionString, "201808301023");
        EXPECT_STREQ(app.messageBoxTitle, "kestra-downloader...");
        platform::PostQuit(1);
    });
    EXPECT_EQ(app.OnExecute(), 1);
}
