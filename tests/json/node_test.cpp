// The node interface: kinds, type names, getters and what each kind answers.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "json/cJson.h"
#include "tests/json/parse_helpers.h"

using json_test::At;
using json_test::ParseExact;

namespace {

class NodeTest : public ::testing::Test {
protected:
    cJson::Node* Parsed(std::string_view text) {
        EXPECT_TRUE(ParseExact(document, text)) << text;
        return document.root;
    }
    // The value of member "v" in {"v":<written>}.
    cJson::Node* Value(const std::string& written) {
        return At(Parsed("{\"v\":" + written + "}"), {"v"});
    }

    cJson document;
};

TEST_F(NodeTest, KindsAndTypeNames) {
    cJson::Node* root =
        Parsed(R"({"folder":{"x":1},"list":[{"a":1}],"scalars":[1,2],"empty":[],"v":"text"})");
    ASSERT_NE(root, nullptr);
    struct Expected {
        const char* key;
        cJson::Node::Kind kind;
        int number;
        const char* typeName;
    };
    for (const Expected& e : {
             Expected{"folder", cJson::Node::eJsonNode, 1, "cJson::Node::eJsonNode"},
             Expected{"list", cJson::Node::eJsonNodes, 3, "cJson::Node::eJsonNodes"},
             Expected{"scalars", cJson::Node::eJsonValues, 2, "cJson::Node::eJsonValues"},
             Expected{"empty", cJson::Node::eJsonValues, 2, "cJson::Node::eJsonValues"},
             Expected{"v", cJson::Node::eJsonValue, 0, "cJson::Node"},
         }) {
        cJson::Node* node = root->GetNode(e.key);
        ASSERT_NE(node, nullptr) << e.key;
        EXPECT_EQ(node->kind, e.kind) << e.key;
        EXPECT_EQ(static_cast<int>(node->kind), e.number) << e.key;
        EXPECT_STREQ(node->TypeName(), e.typeName) << e.key;
        if (node->kind != cJson::Node::eJsonValue) {
            // Containers answer their type name as their text.
            EXPECT_STREQ(node->GetString(), e.typeName) << e.key;
        }
    }
    EXPECT_EQ(root->kind, cJson::Node::eJsonNode);
    EXPECT_STREQ(root->GetString(), "cJson::Node::eJsonNode");
}

TEST_F(NodeTest, ContainersAnswerNullAndZeroToScalarGetters) {
    cJson::Node* root = Parsed(R"({"o":{"x":"12"},"l":[{"x":"12"}],"s":[12]})");
    for (const char* key : {"o", "l", "s"}) {
        cJson::Node* node = root->GetNode(key);
        ASSERT_NE(node, nullptr) << key;
        EXPECT_EQ(node->GetWString(), nullptr) << key;
        EXPECT_EQ(node->GetInt(), 0) << key;
        EXPECT_EQ(node->GetInt64(), 0) << key;
        EXPECT_EQ(node->GetHex(), 0) << key;
        EXPECT_EQ(node->GetHex64(), 0) << key;
    }
}

TEST_F(NodeTest, LookupsThatDoNotFitTheKindAnswerNull) {
    cJson::Node* root = Parsed(R"({"l":[{"Name":"a"},{"Name":"b"}],"s":[1],"v":"x"})");
    EXPECT_EQ(root->GetNode(0), nullptr);
    EXPECT_EQ(root->Find(0), nullptr);
    cJson::Node* list = root->GetNode("l");
    EXPECT_EQ(list->GetNode("Name"), nullptr);
    EXPECT_EQ(list->Find("Name"), nullptr);
    for (const char* key : {"s", "v"}) {
        cJson::Node* node = root->GetNode(key);
        EXPECT_EQ(node->GetNode("Name"), nullptr) << key;
        EXPECT_EQ(node->GetNode(0), nullptr) << key;
        EXPECT_EQ(node->Find("Name"), nullptr) << key;
        EXPECT_EQ(node->Find(0), nullptr) << key;
    }
    EXPECT_EQ(root->GetNode(static_cast<const char*>(nullptr)), nullptr);
}

TEST_F(NodeTest, ElementsByIndexInsideTheArrayOnly) {
    cJson::Node* list = At(Parsed(R"({"l":[{"Name":"first"},{"Name":"second"}]})"), {"l"});
    ASSERT_NE(list, nullptr);
    cJson::Node* second = list->GetNode(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->kind, cJson::Node::eJsonNode);
    EXPECT_STREQ(second->GetNode("Name")->GetString(), "second");
    EXPECT_STREQ(list->Find(0)->GetNode("Name")->GetString(), "first");
    EXPECT_EQ(list->Find(1), second);
    for (int outside :
         {2, 3, -1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        EXPECT_EQ(list->GetNode(outside), nullptr) << outside;
        EXPECT_EQ(list->Find(outside), nullptr) << outside;
    }
}

TEST_F(NodeTest, HexadecimalReadings) {
    EXPECT_EQ(Value("\"0x33FFff\"")->GetHex(), 0x33FFFF);
    EXPECT_EQ(Value("0x33FFff")->GetHex(), 3407871);
    EXPECT_EQ(Value("0x33FFff")->GetInt(), 0);
    EXPECT_EQ(Value("\"33ffFF\"")->GetHex(), 0x33FFFF);
    EXPECT_EQ(Value("0X33FFFF")->GetHex(), 0x33FFFF);
    EXPECT_EQ(Value("0xFFFFFFFF")->GetHex(), 2147483647);
    EXPECT_EQ(Value("0xFFFFFFFF")->GetHex64(), 4294967295LL);
    EXPECT_EQ(Value("-0x10")->GetHex(), -16);
    EXPECT_EQ(Value("-0xFFFFFFFF")->GetHex(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(Value("0xFFFFFFFFFFFFFFFFFF")->GetHex64(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(Value("0x")->GetHex(), 0);
    EXPECT_EQ(Value("0xg1")->GetHex(), 0);
    EXPECT_EQ(Value("ab-cd")->GetHex(), 0xAB);
}

TEST_F(NodeTest, DecimalReadings) {
    EXPECT_EQ(Value("79")->GetInt(), 79);
    EXPECT_EQ(Value("-5")->GetInt(), -5);
    EXPECT_EQ(Value("12.5")->GetInt(), 12);
    EXPECT_EQ(Value("2147483648")->GetInt(), 2147483647);
    EXPECT_EQ(Value("2147483648")->GetInt64(), 2147483648LL);
    EXPECT_EQ(Value("-2147483649")->GetInt(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(Value("9223372036854775808")->GetInt64(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(Value("-9223372036854775808")->GetInt64(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(Value("-99999999999999999999")->GetInt64(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(Value("\"  +42\"")->GetInt(), 42);
    EXPECT_EQ(Value("\"\v\f7\"")->GetInt(), 7);
    EXPECT_EQ(Value("\"abc\"")->GetInt(), 0);
    EXPECT_EQ(Value("\"- 5\"")->GetInt(), 0);
    EXPECT_EQ(Value("3000000123")->GetInt64(), 3000000123LL);
}

TEST_F(NodeTest, FlagsAreTextOnly) {
    cJson::Node* yes = Value("true");
    EXPECT_STREQ(yes->GetString(), "true");
    EXPECT_EQ(yes->GetInt(), 0);
    EXPECT_STRNE(Value("True")->GetString(), "true");
    EXPECT_STREQ(Value("null")->GetString(), "null");
}

TEST_F(NodeTest, WideTextIsDecodedOnceFromTheDocumentCodePage) {
    // "残り時間" in code page 932.
    cJson::Node* label = Value("\"\x8E\x63\x82\xE8\x8E\x9E\x8A\xD4\"");
    const char16_t* wide = label->GetWString();
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide), u"残り時間");
    EXPECT_EQ(label->GetWString(), wide);

    const char16_t* empty = Value("\"\"")->GetWString();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(std::u16string(empty), u"");
    EXPECT_EQ(std::u16string(Value("\"?? ??\"")->GetWString()), u"?? ??");
}

TEST_F(NodeTest, ClearedValueHasNoText) {
    cJson::Node* value = Value("\"123\"");
    ASSERT_NE(value->GetWString(), nullptr);
    value->Clear();
    EXPECT_EQ(value->GetString(), nullptr);
    EXPECT_EQ(value->GetWString(), nullptr);
    EXPECT_EQ(value->GetInt(), 0);
    EXPECT_EQ(value->GetInt64(), 0);
    EXPECT_EQ(value->GetHex(), 0);
    EXPECT_EQ(value->GetHex64(), 0);
}

TEST_F(NodeTest, ClearedArrayHasNoElements) {
    auto* list = static_cast<cJson::JsonNodes*>(At(Parsed(R"({"l":[{"a":1},{"a":2}]})"), {"l"}));
    ASSERT_EQ(list->Count(), 2);
    list->Clear();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(list->GetNode(0), nullptr);
    EXPECT_STREQ(list->GetString(), "cJson::Node::eJsonNodes");
}

TEST_F(NodeTest, ValueKeepsItsTextSize) {
    auto* value = static_cast<cJson::JsonValue*>(Value("\"abc\""));
    EXPECT_EQ(value->TextSize(), 4);
    EXPECT_EQ(static_cast<cJson::JsonValue*>(Value("\"\""))->TextSize(), 1);
}

}  // namespace
