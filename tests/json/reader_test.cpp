// The lenient reading rules, on the shipped UX document, the manifest and small documents.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "json/cJson.h"
#include "tests/json/parse_helpers.h"

using json_test::At;
using json_test::ParseExact;
using json_test::ReadDataFile;
using json_test::TextAt;

namespace {

class ReaderTest : public ::testing::Test {
protected:
    cJson::JsonNode* Parsed(std::string_view text) {
        EXPECT_TRUE(ParseExact(document, text)) << text;
        return document.root;
    }

    cJson document;
};

TEST_F(ReaderTest, ShippedUxDocument) {
    cJson::JsonNode* root = Parsed(ReadDataFile("ux.json"));
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->Find("window-title")->GetString(), "DezirodOR Downloader");
    EXPECT_STREQ(root->Find("version")->GetString(), "201808301023");
    EXPECT_STREQ(root->Find("server-url")->GetString(), "http://127.0.0.1:8080/jp/");
    EXPECT_STREQ(root->Find("use-local-resource")->GetString(), "true");
    EXPECT_EQ(root->Find("message-box"), nullptr);

    // The folder keeps its final backslash; the line break and '}' after it end the object.
    EXPECT_EQ(TextAt(root, {"folder", "default"}), "c:\\download\\dezirodor\\");
    EXPECT_EQ(At(root, {"folder", "x"})->GetInt(), 123);
    EXPECT_EQ(At(root, {"folder", "y"})->GetInt(), 340);
    EXPECT_STREQ(root->Find("folder")->GetString(), "cJson::Node::eJsonNode");

    EXPECT_EQ(At(root, {"font", "title", "color"})->GetHex(), 0x33FFFF);
    EXPECT_EQ(At(root, {"font", "value", "color"})->GetHex(), 0xCCFF00);
    EXPECT_EQ(At(root, {"font", "tag", "alpha"})->GetInt(), 79);
    EXPECT_EQ(std::u16string(At(root, {"font", "tag", "name"})->GetWString()), u"?? ??");
    EXPECT_EQ(std::u16string(At(root, {"text", "tag", "time-remaining", "name"})->GetWString()),
              u"残り時間");
    EXPECT_EQ(std::u16string(At(root, {"text", "tag", "elapse-time", "name"})->GetWString()),
              u"経過時間");
    EXPECT_EQ(std::u16string(At(root, {"text", "tag", "total-recv", "name"})->GetWString()),
              u"ダウンロード済み");
    EXPECT_EQ(std::u16string(At(root, {"text", "tag", "total-size", "name"})->GetWString()),
              u"ファイルサイズ");
    EXPECT_EQ(At(root, {"text", "tag", "total-size", "x"})->GetInt(), 420);

    EXPECT_EQ(At(root, {"button", "cancel", "x"})->GetInt(), 546);
    EXPECT_EQ(TextAt(root, {"button", "folder", "normal"}), "skin/btn_folder.jpg");
    EXPECT_EQ(At(root, {"progressbar", "total", "width"})->GetInt(), 586);
    EXPECT_EQ(At(root, {"progressbar", "total", "fg-color"})->GetHex(), 0x33DDFF);
    EXPECT_EQ(TextAt(root, {"progressbar", "total", "draw-rate-text"}), "true");
    EXPECT_EQ(At(root, {"progressbar", "each-not-used", "height"})->GetInt(), 20);
}

TEST_F(ReaderTest, ManifestWithItsListAndTheMemberAfterIt) {
    cJson::JsonNode* root = Parsed(ReadDataFile("file.json"));
    EXPECT_EQ(root->Find("TotalCount")->GetInt(), 2);
    EXPECT_EQ(root->Find("TotalSize")->GetInt64(), 3000000123LL);
    EXPECT_STREQ(root->Find("URL")->GetString(), "http://127.0.0.1:8080/files/");
    EXPECT_STREQ(root->Find("Version")->GetString(), "1.0.3");
    cJson::Node* list = root->Find("FileList");
    ASSERT_EQ(static_cast<cJson::JsonNodes*>(list)->Count(), 2);
    EXPECT_STREQ(list->GetNode(0)->GetNode("Name")->GetString(), "setup.exe");
    EXPECT_EQ(list->GetNode(0)->GetNode("Size")->GetInt64(), 123);
    EXPECT_STREQ(list->GetNode(1)->GetNode("Name")->GetString(), "data/pack0001.bin");
    EXPECT_EQ(list->GetNode(1)->GetNode("Size")->GetInt64(), 3000000000LL);
    EXPECT_EQ(list->GetNode(2), nullptr);
}

TEST_F(ReaderTest, QuotesAreStrippedAtTheEndsOnly) {
    cJson::JsonNode* root = Parsed(
        "{\"escaped\":\"a\\\"b\",\"inner\":\"say \"hi\" now\",\"padded\":\"  ab  \","
        "\"unclosed\":\"abc\x82,\r\n\t\"next\" : \"ok\"}");
    // No escapes: the backslash and the quote after it stay.
    EXPECT_EQ(TextAt(root, {"escaped"}), "a\\\"b");
    EXPECT_EQ(TextAt(root, {"inner"}), "say \"hi\" now");
    EXPECT_EQ(TextAt(root, {"padded"}), "  ab");
    // A text whose closing quote a double-byte character took runs up to its ','.
    EXPECT_EQ(TextAt(root, {"unclosed"}), "abc\x82");
    EXPECT_EQ(TextAt(root, {"next"}), "ok");
}

TEST_F(ReaderTest, CommaInsideAQuotedValueEndsIt) {
    cJson::JsonNode* root = Parsed("{\"a\":\"x,y\",\n\"b\":\"1\",\"c\":\"2\"}");
    EXPECT_EQ(TextAt(root, {"a"}), "x");
    // The rest of the value up to the next ':' became the next key.
    EXPECT_EQ(root->GetNode("b"), nullptr);
    EXPECT_EQ(TextAt(root, {"y\",\n\"b"}), "1");
    EXPECT_EQ(TextAt(root, {"c"}), "2");
}

TEST_F(ReaderTest, UnquotedValuesAreText) {
    cJson::JsonNode* root = Parsed(
        "{\"n\":-5,\"t\":true,\"z\":null,\"c\":0x33FFff,\"q\":\"0x33FFff\",\"e\":,\"f\":false}");
    EXPECT_EQ(TextAt(root, {"n"}), "-5");
    EXPECT_EQ(root->GetNode("n")->GetInt(), -5);
    EXPECT_EQ(TextAt(root, {"t"}), "true");
    EXPECT_EQ(TextAt(root, {"z"}), "null");
    EXPECT_EQ(TextAt(root, {"c"}), "0x33FFff");
    EXPECT_EQ(TextAt(root, {"q"}), "0x33FFff");
    EXPECT_EQ(TextAt(root, {"e"}), "");
    EXPECT_EQ(TextAt(root, {"f"}), "false");
}

TEST_F(ReaderTest, LineEndsIndentationAndSharedLines) {
    cJson::JsonNode* root = Parsed(
        "{\r\n\t\"a\" :\t1,\r\n\t\"b\": \"two\", \"c\":3\n\t,\"o\" : {\r\n\t\t\"d\" : "
        "4\r\n\t}\r\n}\r\n");
    EXPECT_EQ(root->GetNode("a")->GetInt(), 1);
    EXPECT_EQ(TextAt(root, {"b"}), "two");
    EXPECT_EQ(root->GetNode("c")->GetInt(), 3);
    EXPECT_EQ(At(root, {"o", "d"})->GetInt(), 4);
    // Form feed is not white space to the reader: it stays in the text.
    EXPECT_EQ(TextAt(Parsed("{\"k\":\"v\"\f}"), {"k"}), "v\"\f");
}

TEST_F(ReaderTest, KeysUpToTheirColon) {
    cJson::JsonNode* root =
        Parsed("{\"spaced\"   :  \"1\", unquoted:\"2\",  bare :\"3\",\"\":\"4\"}");
    EXPECT_EQ(TextAt(root, {"spaced"}), "1");
    // An unquoted key keeps its last byte.
    EXPECT_EQ(TextAt(root, {"unquoted"}), "2");
    EXPECT_EQ(TextAt(root, {"bare"}), "3");
    EXPECT_EQ(TextAt(root, {""}), "4");
}

TEST_F(ReaderTest, FirstMemberWithAKeyWins) {
    cJson::JsonNode* root =
        Parsed(R"({"a":"1","a":"2","o":{"x":"first"},"o":{"x":"second","y":"2"},"after":"3"})");
    EXPECT_EQ(TextAt(root, {"a"}), "1");
    EXPECT_EQ(TextAt(root, {"o", "x"}), "first");
    EXPECT_EQ(At(root, {"o", "y"}), nullptr);
    EXPECT_EQ(TextAt(root, {"after"}), "3");
    EXPECT_EQ(root->Members().EntryCount(), 3u);
}

TEST_F(ReaderTest, NestedObjectsAndTheMembersAfterThem) {
    cJson::JsonNode* root =
        Parsed(R"({"a":{"b":{"c":{"d":"deep"}}},"e":"top","o":{"x":"1"} ignored ,"f":"2"})");
    EXPECT_EQ(TextAt(root, {"a", "b", "c", "d"}), "deep");
    EXPECT_EQ(TextAt(root, {"e"}), "top");
    EXPECT_EQ(TextAt(root, {"o", "x"}), "1");
    EXPECT_EQ(TextAt(root, {"f"}), "2");
}

TEST_F(ReaderTest, ArrayOfObjectsAsLastMemberThenTheEnclosingObjectGoesOn) {
    cJson::JsonNode* root = Parsed(R"({"o":{"x":"1","list":[{"n":"1"},{"n":"2"}]},"after":"yes"})");
    cJson::Node* list = At(root, {"o", "list"});
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(TextAt(list->GetNode(0), {"n"}), "1");
    EXPECT_EQ(TextAt(list->GetNode(1), {"n"}), "2");
    EXPECT_EQ(TextAt(root, {"after"}), "yes");
    EXPECT_EQ(At(root, {"o", "after"}), nullptr);
}

TEST_F(ReaderTest, ByteAfterAnArrayOtherThanCommaOrBraceEndsTheObject) {
    cJson::JsonNode* root = Parsed(R"({"l":[{"a":"1"}] "b":"2"})");
    EXPECT_EQ(TextAt(root->GetNode("l")->GetNode(0), {"a"}), "1");
    EXPECT_EQ(root->GetNode("b"), nullptr);
}

TEST_F(ReaderTest, ArraysOfScalarsAndEmptyArraysAreSkipped) {
    cJson::JsonNode* root =
        Parsed(R"({"v":[1,2,3],"w":[],"x":[[1],[2,{"k":[3]}]],"y":[ 5 ,{"o":1}],"after":"7"})");
    for (const char* key : {"v", "w", "x", "y"}) {
        ASSERT_NE(root->GetNode(key), nullptr) << key;
        EXPECT_EQ(root->GetNode(key)->kind, cJson::Node::eJsonValues) << key;
        EXPECT_EQ(root->GetNode(key)->GetNode(0), nullptr) << key;
    }
    EXPECT_EQ(TextAt(root, {"after"}), "7");
    // A ']' inside quotes ends the array like any other, as a ',' ends a value; the quote after
    // it then ends the object.
    root = Parsed(R"({"s":["a]"],"after":"7"})");
    EXPECT_EQ(root->GetNode("s")->kind, cJson::Node::eJsonValues);
    EXPECT_EQ(root->GetNode("after"), nullptr);
    EXPECT_EQ(TextAt(Parsed(R"({"v":[1,2],"after":"7"})"), {"after"}), "7");
    EXPECT_EQ(TextAt(Parsed(R"({"v":[] , "after":"7"})"), {"after"}), "7");
    EXPECT_EQ(TextAt(Parsed(R"({"v":[[[[]]]]})"), {"v"}), "cJson::Node::eJsonValues");
}

TEST_F(ReaderTest, ArrayElementsHoldingContainers) {
    cJson::JsonNode* root = Parsed(
        R"({"l":[{"a":{"b":"1"},"c":[1,2],"d":[{"e":"x"}]},{"a":{"b":"2"}},{"f":"3"}],"after":"4"})");
    auto* list = static_cast<cJson::JsonNodes*>(root->GetNode("l"));
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ(TextAt(list->GetNode(0), {"a", "b"}), "1");
    EXPECT_EQ(TextAt(list->GetNode(0)->GetNode("d")->GetNode(0), {"e"}), "x");
    EXPECT_EQ(TextAt(list->GetNode(1), {"a", "b"}), "2");
    EXPECT_EQ(TextAt(list->GetNode(2), {"f"}), "3");
    EXPECT_EQ(TextAt(root, {"after"}), "4");
}

TEST_F(ReaderTest, EmptyObjectsAndTrailingCommas) {
    EXPECT_EQ(Parsed("{}")->Members().EntryCount(), 0u);
    EXPECT_EQ(Parsed(" \r\n\t{ \r\n }")->Members().EntryCount(), 0u);
    cJson::JsonNode* root = Parsed(R"({"e":{},"l":[{},{"a":"1"},],"f":"2",})");
    EXPECT_EQ(static_cast<cJson::JsonNode*>(root->GetNode("e"))->Members().EntryCount(), 0u);
    auto* list = static_cast<cJson::JsonNodes*>(root->GetNode("l"));
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(TextAt(list->GetNode(1), {"a"}), "1");
    EXPECT_EQ(TextAt(root, {"f"}), "2");
}

TEST_F(ReaderTest, TextAfterTheRootObjectIsIgnored) {
    EXPECT_EQ(Parsed(R"({"a":"1"} {"b":"2"})")->Members().EntryCount(), 1u);
    EXPECT_EQ(TextAt(Parsed("{\"a\":\"1\"}garbage\xFF"), {"a"}), "1");
    // The text ends at its first NUL.
    EXPECT_TRUE(ParseExact(document, std::string("{\"a\":\"1\"}\0{", 11)));
}

TEST_F(ReaderTest, LongestKeyAndValuesOfAnyLength) {
    const std::string key(cJson::MemberTable::kMaxKeyLength, 'k');
    const std::string value(1021, 'v');
    cJson::JsonNode* root = Parsed("{\"" + key + "\":\"" + value + "\"}");
    EXPECT_EQ(TextAt(root, {key.c_str()}), value);
    const std::string url = "http://h/" + std::string(100000, 'u') + "/";
    root = Parsed("{\"URL\":\"" + url + "\"   , \"n\":" + std::string(5000, '7') + "}");
    EXPECT_EQ(TextAt(root, {"URL"}), url);
    EXPECT_EQ(static_cast<cJson::JsonValue*>(root->GetNode("n"))->TextSize(), 5001);
    EXPECT_EQ(root->GetNode("n")->GetInt64(), INT64_MAX);
}

}  // namespace
