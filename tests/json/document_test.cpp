// The document: replacing and releasing its tree, and the two loaders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "json/cJson.h"
#include "platform/fake/fake.h"
#include "platform/ui.h"
#include "tests/json/parse_helpers.h"

using json_test::ParseExact;
using json_test::ReadDataFile;
using json_test::TextAt;

namespace {

TEST(DocumentTree, StartsEmptyAndParsingReplacesTheTree) {
    cJson document;
    EXPECT_EQ(document.root, nullptr);
    ASSERT_TRUE(ParseExact(document, R"({"a":"1"})"));
    ASSERT_NE(document.root, nullptr);
    EXPECT_EQ(TextAt(document.root, {"a"}), "1");
    ASSERT_TRUE(ParseExact(document, R"({"b":"2"})"));
    EXPECT_EQ(document.root->GetNode("a"), nullptr);
    EXPECT_EQ(TextAt(document.root, {"b"}), "2");
    document.Release();
    EXPECT_EQ(document.root, nullptr);
    document.Release();
    EXPECT_EQ(document.root, nullptr);
    EXPECT_FALSE(ParseExact(document, "no object"));
    EXPECT_EQ(document.root, nullptr);
}

// Each test runs in a folder of its own (the fake backend's), as the loaders read from the
// current folder.
class DocumentFileTest : public ::testing::Test {
protected:
    void SetUp() override { platform::fake::Reset(); }
    void TearDown() override { platform::fake::Shutdown(); }
    static void WriteManifest(const std::string& bytes) {
        std::ofstream("file.json", std::ios::binary) << bytes;
    }

    cJson document;
};

TEST_F(DocumentFileTest, ReadsFileJsonFromTheCurrentFolder) {
    WriteManifest(ReadDataFile("file.json"));
    ASSERT_TRUE(document.LoadFromFile());
    EXPECT_STREQ(document.sourceName, "file.json");
    EXPECT_EQ(document.root->Find("TotalCount")->GetInt(), 2);
    EXPECT_STREQ(document.root->Find("FileList")->GetNode(1)->GetNode("Name")->GetString(),
                 "data/pack0001.bin");
}

TEST_F(DocumentFileTest, MissingFileAnswersFalseAndEmptiesTheTree) {
    ASSERT_TRUE(ParseExact(document, R"({"a":"1"})"));
    cJson::JsonNode* root = document.root;
    EXPECT_FALSE(document.LoadFromFile());
    EXPECT_STREQ(document.sourceName, "");
    ASSERT_EQ(document.root, root);
    EXPECT_EQ(document.root->GetNode("a"), nullptr);

    cJson empty;
    EXPECT_FALSE(empty.LoadFromFile());
    EXPECT_EQ(empty.root, nullptr);
}

TEST_F(DocumentFileTest, FileThatIsNotAnObjectStillAnswersTrueWithTheEmptiedTree) {
    ASSERT_TRUE(ParseExact(document, R"({"a":"1"})"));
    cJson::JsonNode* root = document.root;
    WriteManifest("<html>not found</html>");
    EXPECT_TRUE(document.LoadFromFile());
    ASSERT_EQ(document.root, root);
    EXPECT_EQ(document.root->GetNode("a"), nullptr);
}

TEST_F(DocumentFileTest, TextEndsAtItsFirstNulAndLineEndsStayAsTheyAre) {
    WriteManifest(std::string("{\"a\":\"x\r\ny\"}\0garbage", 20));
    ASSERT_TRUE(document.LoadFromFile());
    EXPECT_EQ(TextAt(document.root, {"a"}), "x\r\ny");
}

TEST_F(DocumentFileTest, AFolderNamedFileJsonGivesNoTree) {
    std::filesystem::create_directory("file.json");
    document.LoadFromFile();
    EXPECT_EQ(document.root, nullptr);
}

TEST_F(DocumentFileTest, HundredThousandEntryManifest) {
    const int count = 100000;
    std::string text = "{\"TotalCount\":" + std::to_string(count) + ",\"FileList\":[";
    for (int i = 0; i < count; ++i) {
        text += (i ? ",{\"Name\":\"dir/file" : "{\"Name\":\"dir/file") + std::to_string(i) +
                ".bin\",\"Size\":" + std::to_string(i * 7) + "}";
    }
    WriteManifest(text + "],\"URL\":\"http://127.0.0.1/\"}");
    ASSERT_TRUE(document.LoadFromFile());
    cJson::Node* list = document.root->Find("FileList");
    ASSERT_EQ(document.root->Find("TotalCount")->GetInt(), count);
    for (int i = 0; i < count; ++i) {
        cJson::Node* entry = list->GetNode(i);
        ASSERT_NE(entry, nullptr) << i;
        ASSERT_EQ(entry->GetNode("Size")->GetInt64(), int64_t{i} * 7) << i;
        ASSERT_EQ(std::string(entry->GetNode("Name")->GetString()),
                  "dir/file" + std::to_string(i) + ".bin");
    }
    EXPECT_EQ(list->GetNode(count), nullptr);
    EXPECT_STREQ(document.root->Find("URL")->GetString(), "http://127.0.0.1/");
}

class DocumentResourceTest : public ::testing::Test {
protected:
    void SetUp() override { platform::fake::Reset(); }
    void TearDown() override {
        cJson::SetErrorReporter(nullptr);
        platform::fake::Shutdown();
    }

    cJson document;
};

TEST_F(DocumentResourceTest, ReadsResource105) {
    platform::fake::SetResource(104, R"({"which":"104"})");
    platform::fake::SetResource(105, ReadDataFile("ux.json"));
    ASSERT_TRUE(document.LoadFromResource());
    EXPECT_STREQ(document.root->Find("window-title")->GetString(), "DezirodOR Downloader");
    EXPECT_TRUE(platform::fake::MessageBoxes().empty());
}

TEST_F(DocumentResourceTest, MissingResourceAnswersFalse) {
    platform::fake::SetResource(104, R"({"which":"104"})");
    EXPECT_FALSE(document.LoadFromResource());
    EXPECT_EQ(document.root, nullptr);
    EXPECT_TRUE(platform::fake::MessageBoxes().empty());
    EXPECT_FALSE(platform::fake::ExitCode().has_value());
}

TEST_F(DocumentResourceTest, ResourceThatIsNotAnObjectAnswersTrueWithoutATree) {
    platform::fake::SetResource(105, "\xEF\xBB\xBF{\"a\":\"1\"}");
    EXPECT_TRUE(document.LoadFromResource());
    EXPECT_EQ(document.root, nullptr);
    platform::fake::SetResource(105, std::string("{\"a\":\"1\"}\0{", 11));
    EXPECT_TRUE(document.LoadFromResource());
    EXPECT_EQ(TextAt(document.root, {"a"}), "1");
}

TEST_F(DocumentResourceTest, ResourceNotReadWholeIsReportedAndEndsTheProcess) {
    platform::fake::SetResource(105, R"({"a":"1"})");
    platform::fake::SetResourceStatedSize(105, 12);
    try {
        document.LoadFromResource();
        FAIL() << "the process should have ended";
    } catch (const platform::fake::ProcessExit& exit) {
        EXPECT_EQ(exit.code, -34);
    }
    EXPECT_EQ(platform::fake::ExitCode(), -34);
    const auto boxes = platform::fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "json error -34");
    EXPECT_EQ(boxes[0].style, platform::kMbIconWarning);
    EXPECT_EQ(document.root, nullptr);
}

std::string reported;
unsigned reportedStyle = 0;

TEST_F(DocumentResourceTest, InstalledReporterShowsTheError) {
    cJson::SetErrorReporter([](const char* text, unsigned style) {
        reported = text;
        reportedStyle = style;
    });
    platform::fake::SetResource(105, R"({"a":"1"})");
    platform::fake::SetResourceStatedSize(105, 3);
    EXPECT_THROW(document.LoadFromResource(), platform::fake::ProcessExit);
    EXPECT_EQ(reported, "json error -34");
    EXPECT_EQ(reportedStyle, platform::kMbIconWarning);
    EXPECT_TRUE(platform::fake::MessageBoxes().empty());
    EXPECT_EQ(platform::fake::ExitCode(), -34);
}

}  // namespace
