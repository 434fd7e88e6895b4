// The member table of an object: buckets, chain and insertion order, find-or-insert, the
// Clear walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "json/cJson.h"
#include "tests/json/parse_helpers.h"

using json_test::ParseExact;
using Table = cJson::MemberTable;

namespace {

// Keys of a bucket in chain order, as the insertion list gives them.
std::vector<std::string> ChainFromInsertionOrder(const Table& table, int bucket) {
    std::vector<std::string> keys = table.InsertionOrder();
    std::erase_if(keys, [&](const std::string& key) { return Table::BucketOf(key) != bucket; });
    return keys;
}

void ExpectChainsFollowInsertionOrder(const Table& table) {
    for (int bucket = 0; bucket < Table::kBucketCount; ++bucket) {
        ASSERT_EQ(table.Chain(bucket), ChainFromInsertionOrder(table, bucket)) << bucket;
    }
}

std::string ObjectOf(const std::vector<std::string>& keys) {
    std::string text = "{";
    for (size_t i = 0; i < keys.size(); ++i) {
        text += (i ? ",\"" : "\"") + keys[i] + "\":\"" + std::to_string(i) + "\"";
    }
    return text + "}";
}

TEST(MemberTableBuckets, LastEightBytesLittleEndianModulo999) {
    EXPECT_EQ(Table::BucketOf("x"), 120);
    EXPECT_EQ(Table::BucketOf("y"), 121);
    EXPECT_EQ(Table::BucketOf("server-url"), 423);
    // Only the last eight bytes count.
    EXPECT_EQ(Table::BucketOf("my-server-url"), Table::BucketOf("rver-url"));
    EXPECT_EQ(Table::BucketOf(""), 0);
    const char* eight = "FileList";
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value * 256 + static_cast<unsigned char>(eight[i]);
    }
    EXPECT_EQ(Table::BucketOf(eight), static_cast<int>(value % 999));
    EXPECT_EQ(Table::BucketOf("Size"), Table::BucketOf(std::string("Size\0\0\0\0", 8)));
    EXPECT_NE(Table::BucketOf("Size"), Table::BucketOf("size"));
}

TEST(MemberTableLookup, MissingKeyLeavesOneEmptyEntry) {
    cJson document;
    ASSERT_TRUE(ParseExact(document, R"({"Size":"1"})"));
    const Table& table = document.root->Members();
    EXPECT_EQ(document.root->GetNode("missing"), nullptr);
    EXPECT_EQ(table.EntryCount(), 2u);
    EXPECT_TRUE(table.HasEntry("missing"));
    EXPECT_EQ(table.InsertionOrder(), (std::vector<std::string>{"missing", "Size"}));
    EXPECT_EQ(document.root->GetNode("missing"), nullptr);
    EXPECT_EQ(document.root->Find("missing"), nullptr);
    EXPECT_EQ(table.EntryCount(), 2u);
    // Keys are case-sensitive: "size" is another missing key.
    EXPECT_EQ(document.root->GetNode("size"), nullptr);
    EXPECT_STREQ(document.root->GetNode("Size")->GetString(), "1");
    EXPECT_EQ(table.EntryCount(), 3u);
    ExpectChainsFollowInsertionOrder(table);
}

TEST(MemberTableLookup, AbsentKeyLongerThanAnEntryHoldsIsNotRemembered) {
    cJson document;
    ASSERT_TRUE(ParseExact(document, R"({"a":"1"})"));
    const std::string longest(Table::kMaxKeyLength, 'k');
    const std::string tooLong(Table::kMaxKeyLength + 1, 'k');
    EXPECT_EQ(document.root->GetNode(tooLong.c_str()), nullptr);
    EXPECT_EQ(document.root->Members().EntryCount(), 1u);
    EXPECT_EQ(document.root->GetNode(longest.c_str()), nullptr);
    EXPECT_EQ(document.root->Members().EntryCount(), 2u);
    EXPECT_TRUE(document.root->Members().HasEntry(longest));
}

TEST(MemberTableLookup, KeysSharingTheirTailShareAChainNewestFirst) {
    cJson document;
    ASSERT_TRUE(ParseExact(document,
                           R"({"a-server-url":"1","x":"2","b-server-url":"3","server-url":"4"})"));
    const Table& table = document.root->Members();
    EXPECT_EQ(table.Chain(423),
              (std::vector<std::string>{"server-url", "b-server-url", "a-server-url"}));
    EXPECT_EQ(table.Chain(120), (std::vector<std::string>{"x"}));
    EXPECT_EQ(table.InsertionOrder(),
              (std::vector<std::string>{"server-url", "b-server-url", "x", "a-server-url"}));
    EXPECT_STREQ(document.root->Find("a-server-url")->GetString(), "1");
    EXPECT_STREQ(document.root->Find("b-server-url")->GetString(), "3");
    EXPECT_STREQ(document.root->Find("server-url")->GetString(), "4");
    EXPECT_EQ(document.root->Find("c-server-url"), nullptr);
    EXPECT_EQ(table.Chain(423).front(), "c-server-url");
}

TEST(MemberTableLookup, LargeTablesKeepTheSameChainsAndLookups) {
    // Enough keys that the table indexes its chains, several of them in one bucket, short and
    // long ones (kept inline and on the heap) mixed.
    std::vector<std::string> keys;
    for (int i = 0; i < 60; ++i) {
        keys.push_back((i % 3 == 0 ? std::string(static_cast<size_t>(i), 'p') + "-server-url"
                                   : "key" + std::to_string(i)));
    }
    cJson document;
    ASSERT_TRUE(ParseExact(document, ObjectOf(keys)));
    const Table& table = document.root->Members();
    ASSERT_EQ(table.EntryCount(), keys.size());
    EXPECT_EQ(table.Chain(423).size(), 20u);
    for (size_t i = 0; i < keys.size(); ++i) {
        ASSERT_STREQ(document.root->GetNode(keys[i].c_str())->GetString(),
                     std::to_string(i).c_str());
    }
    ExpectChainsFollowInsertionOrder(table);
    EXPECT_EQ(document.root->GetNode("q-server-url"), nullptr);
    EXPECT_EQ(table.Chain(423).front(), "q-server-url");
    ExpectChainsFollowInsertionOrder(table);
    document.root->Clear();
    EXPECT_EQ(table.EntryCount(), keys.size());
    ExpectChainsFollowInsertionOrder(table);
    for (const std::string& key : keys) {
        ASSERT_EQ(document.root->GetNode(key.c_str()), nullptr);
    }
    EXPECT_EQ(table.EntryCount(), keys.size());
}

TEST(MemberTableClear, ChildrenGoKeysStayEmptyEntriesGo) {
    cJson document;
    ASSERT_TRUE(ParseExact(document, R"({"a":"1","o":{"x":{"y":"2"}},"l":[{"n":"3"}]})"));
    cJson::JsonNode* root = document.root;
    EXPECT_EQ(root->GetNode("ghost"), nullptr);
    ASSERT_EQ(root->Members().EntryCount(), 4u);

    root->Clear();
    // The walk drops the entry that never had a node and keeps the parsed keys.
    EXPECT_EQ(root->Members().InsertionOrder(), (std::vector<std::string>{"l", "o", "a"}));
    for (const char* key : {"a", "o", "l"}) {
        EXPECT_EQ(root->GetNode(key), nullptr) << key;
    }
    EXPECT_EQ(root->Members().EntryCount(), 3u);

    // Now every entry is empty, so a second walk removes them all.
    root->Clear();
    EXPECT_EQ(root->Members().EntryCount(), 0u);
    EXPECT_EQ(root->GetNode("a"), nullptr);
    EXPECT_EQ(root->Members().EntryCount(), 1u);
}

TEST(MemberTableClear, DestroyingAnObjectFreesEmptyEntriesToo) {
    // Run under AddressSanitizer this also proves nothing is leaked.
    cJson document;
    ASSERT_TRUE(ParseExact(document, R"({"o":{"x":"1"}})"));
    cJson::Node* inner = document.root->GetNode("o");
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(inner->GetNode(("missing" + std::to_string(i)).c_str()), nullptr);
    }
    EXPECT_EQ(static_cast<cJson::JsonNode*>(inner)->Members().EntryCount(), 41u);
    document.Release();
    EXPECT_EQ(document.root, nullptr);
}

}  // namespace
