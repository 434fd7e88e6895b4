// Texts the reader refuses: Parse answers false and the document keeps its earlier tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/cJson.h"
#include "tests/json/parse_helpers.h"

using json_test::ParseExact;
using json_test::ReadDataFile;
using json_test::TextAt;

namespace {

std::string Nested(int depth) {
    std::string text;
    for (int i = 0; i < depth - 1; ++i) {
        text += "{\"o\":";
    }
    text += "{\"leaf\":\"1\"}";
    for (int i = 0; i < depth - 1; ++i) {
        text += "}";
    }
    return text;
}

std::string NestedArrays(int depth) {
    std::string text;
    for (int i = 0; i < depth - 1; ++i) {
        text += "{\"l\":[";
    }
    text += "{\"leaf\":\"1\"}";
    for (int i = 0; i < depth - 1; ++i) {
        text += "]}";
    }
    return text;
}

class RefusalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ParseExact(document, R"({"kept":"yes"})"));
        earlier = document.root;
    }
    void ExpectRefused(const std::string& text) {
        EXPECT_FALSE(ParseExact(document, text)) << text;
        ASSERT_EQ(document.root, earlier) << text;
        EXPECT_EQ(TextAt(document.root, {"kept"}), "yes") << text;
    }

    cJson document;
    cJson::JsonNode* earlier = nullptr;
};

TEST_F(RefusalTest, NotAnObject) {
    for (const char* text : {"", " \r\n\t", "\xEF\xBB\xBF{\"a\":\"1\"}", "[{\"a\":\"1\"}]", "\f{}",
                             "\v{}", "x{}", "\"a\":1"}) {
        ExpectRefused(text);
    }
    EXPECT_FALSE(document.Parse(nullptr));
    EXPECT_EQ(document.root, earlier);
}

TEST_F(RefusalTest, TextEndingInsideAnObjectOrArray) {
    for (const char* text : {"{",
                             "{ ",
                             "{\"a\"",
                             "{\"a\":",
                             "{\"a\": ",
                             "{\"a\":1",
                             "{\"a\":\"1\",",
                             "{\"a\":\"1\", ",
                             "{\"a\":\"unterminated",
                             "{\"o\":{\"b\":1}",
                             "{\"o\":{\"b\":1} ",
                             "{\"o\":{}",
                             "{\"l\":[{\"b\":1}",
                             "{\"l\":[{\"b\":1}]",
                             "{\"l\":[{\"b\":1},",
                             "{\"l\":[{",
                             "{\"l\":[",
                             "{\"l\":[1,2",
                             "{\"l\":[[1,2]",
                             "{\"l\":[]"}) {
        ExpectRefused(text);
    }
}

TEST_F(RefusalTest, EveryCutOfTheShippedDocumentsBeforeTheirLastBrace) {
    for (const char* name : {"ux.json", "file.json"}) {
        const std::string text = ReadDataFile(name);
        const size_t lastBrace = text.rfind('}');
        ASSERT_NE(lastBrace, std::string::npos);
        for (size_t length = 0; length <= lastBrace; ++length) {
            ExpectRefused(text.substr(0, length));
        }
        EXPECT_TRUE(ParseExact(document, text.substr(0, lastBrace + 1))) << name;
        ASSERT_TRUE(ParseExact(document, R"({"kept":"yes"})"));
        earlier = document.root;
    }
}

TEST_F(RefusalTest, MemberWithoutColon) {
    for (const char* text :
         {"{\"a\"}", "{\"a\" \"b\"}", "{\"a\":\"1\", \"b\"}", "{\"a\" {\"b\":1}}", "{\"a\" [1]:2}",
          "{\"o\":{\"a\":\"1\",\"b\"},\"c\":\"2\"}", "{a}"}) {
        ExpectRefused(text);
    }
}

TEST_F(RefusalTest, ScalarWithoutCommaOrBrace) {
    ExpectRefused("{\"a\":\"1\"]");
    ExpectRefused("{\"a\":1 \"b\":2");
    ExpectRefused("{\"l\":[{\"a\":\"1\"]}");
}

TEST_F(RefusalTest, KeysLongerThanAnEntryHolds) {
    ExpectRefused("{\"" + std::string(cJson::MemberTable::kMaxKeyLength + 1, 'k') + "\":\"1\"}");
    ExpectRefused("{\"o\":{\"" + std::string(300, 'k') + "\":{}}}");
}

TEST_F(RefusalTest, ArrayOfObjectsHoldingSomethingElse) {
    for (const char* text :
         {"{\"l\":[{\"a\":\"1\"}, 5]}", "{\"l\":[{\"a\":\"1\"} {\"b\":\"2\"}]}",
          "{\"l\":[{\"a\":\"1\"},,{\"b\":\"2\"}]}", "{\"l\":[{\"a\":\"1\"}, []]}"}) {
        ExpectRefused(text);
    }
}

TEST_F(RefusalTest, ArrayClosedByABraceIsUnterminated) {
    ExpectRefused("{\"l\":[1,2}, \"b\":[3]}");
}

TEST_F(RefusalTest, NestingDeeperThanTheLimit) {
    EXPECT_TRUE(ParseExact(document, Nested(cJson::kMaxDepth)));
    ASSERT_TRUE(ParseExact(document, R"({"kept":"yes"})"));
    earlier = document.root;
    ExpectRefused(Nested(cJson::kMaxDepth + 1));
    ExpectRefused(Nested(100000));
    ExpectRefused(NestedArrays(cJson::kMaxDepth + 1));
    ExpectRefused(NestedArrays(100000));
    ExpectRefused(std::string(100000, '{'));
}

TEST(Refusal, DeeplyNestedArraysOfScalarsAreSkippedWithoutRecursion) {
    cJson document;
    const int depth = 200000;
    const std::string text =
        "{\"v\":" + std::string(depth, '[') + std::string(depth, ']') + ",\"after\":\"1\"}";
    ASSERT_TRUE(ParseExact(document, text));
    EXPECT_EQ(TextAt(document.root, {"after"}), "1");
}

TEST(Refusal, NestingAtTheLimitReadsToTheLeaf) {
    cJson document;
    ASSERT_TRUE(ParseExact(document, NestedArrays(cJson::kMaxDepth)));
    cJson::Node* node = document.root;
    for (int level = 1; level < cJson::kMaxDepth; ++level) {
        ASSERT_NE(node, nullptr) << level;
        node = node->GetNode("l");
        ASSERT_NE(node, nullptr) << level;
        node = node->GetNode(0);
    }
    EXPECT_EQ(TextAt(node, {"leaf"}), "1");
}

}  // namespace
