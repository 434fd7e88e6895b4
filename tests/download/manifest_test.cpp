// The manifest rules: names that must stay inside the download folder, local paths, file URLs,
// the launch-name rule, nested folders, and reading a document as a whole.
#include "download/manifest.h"

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "platform/system.h"

namespace engine_test {
namespace {

TEST(ManifestNames, OrdinaryNamesAreAccepted) {
    for (const char* name : {"a.bin", "data/maps/a.bin", "data\\maps\\a.bin", "setup.exe",
                             "v1.0/readme.txt", ".hidden", "日本語.dat"}) {
        EXPECT_EQ(UnsafeNameReason(name), nullptr) << name;
    }
}

TEST(ManifestNames, NamesThatLeaveTheFolderAreRefused) {
    for (const char* name : {"", "/etc/passwd", "\\Windows\\x.dll", "../x", "a/../../x",
                             "a\\..\\..\\x", "..", "a/./b", "C:x", "C:\\x", "c:/x", "a/b/", "a//b",
                             "file.bin:stream", "a/.. /b", "a/... /b", "a/b.", "x\ny"}) {
        EXPECT_NE(UnsafeNameReason(name), nullptr) << name;
    }
    EXPECT_NE(UnsafeNameReason(std::string(256, 'a')), nullptr);
    EXPECT_EQ(UnsafeNameReason(std::string(255, 'a')), nullptr);
}

TEST(ManifestNames, LocalPathsUseThePlatformSeparator) {
    const std::string sep(1, platform::kPathSeparator);
    EXPECT_EQ(LocalPathOf("a/b\\c.bin"), "a" + sep + "b" + sep + "c.bin");
    EXPECT_EQ(LocalPathOf("plain.bin"), "plain.bin");
}

TEST(ManifestNames, FileUrlAppendsTheNameAndEscapesWhatAUrlCannotHold) {
    EXPECT_EQ(FileUrlOf("http://h/base/", "data/maps/a.bin"), "http://h/base/data/maps/a.bin");
    EXPECT_EQ(FileUrlOf("http://h/", "a\\b.bin"), "http://h/a/b.bin");
    EXPECT_EQ(FileUrlOf("http://h/", "my file#1?.bin"), "http://h/my%20file%231%3F.bin");
    EXPECT_EQ(FileUrlOf("http://h/", "100%.bin"), "http://h/100%25.bin");
    EXPECT_EQ(FileUrlOf("http://h/", "\xE6\x97\xA5"), "http://h/%E6%97%A5");
    EXPECT_EQ(FileUrlOf("http://h/", "a-b_c.d~e(1)+!$&'*;=@"), "http://h/a-b_c.d~e(1)+!$&'*;=@");
}

TEST(ManifestNames, LaunchNameIsOneWhoseFirstExeEndsIt) {
    EXPECT_TRUE(IsLaunchName("setup.exe"));
    EXPECT_TRUE(IsLaunchName("bin/setup.exe"));
    EXPECT_FALSE(IsLaunchName("setup.exe.bak"));
    EXPECT_FALSE(IsLaunchName("x.exe/y.exe"));
    EXPECT_FALSE(IsLaunchName("SETUP.EXE"));
    EXPECT_FALSE(IsLaunchName("setup.ex"));
}

class ManifestFolders : public EngineTest {};

TEST_F(ManifestFolders, NestedNamesCreateEachFolder) {
    std::filesystem::current_path(download);
    CreateParentFolders(LocalPathOf("data/maps/a.bin"));
    CreateParentFolders(LocalPathOf("plain.bin"));
    EXPECT_TRUE(std::filesystem::is_directory(download + "data/maps"));
    EXPECT_FALSE(std::filesystem::exists(download + "plain.bin"));
}

class ManifestReading : public EngineTest {
protected:
    // Reads `text` as the manifest; answers the problem, empty when it was accepted.
    std::string Problem(const std::string& text, bool windowsNames = kWindowsFileNames) {
        WriteManifest(text);
        std::filesystem::current_path(work);
        cJson document;
        EXPECT_TRUE(document.LoadFromFile());
        manifest = Manifest{};
        std::string problem;
        const bool accepted = ReadManifest(document, manifest, problem, windowsNames);
        EXPECT_EQ(accepted, problem.empty());
        return problem;
    }

    Manifest manifest;
};

TEST_F(ManifestReading, ReadsEveryKeyAndEntry) {
    EXPECT_EQ(Problem(ManifestText("http://h/", {{"a.bin", 10}, {"d/b.bin", 20}})), "");
    EXPECT_EQ(manifest.totalCount, 2);
    EXPECT_EQ(manifest.totalSize, 30);
    EXPECT_EQ(manifest.url, "http://h/");
    ASSERT_EQ(manifest.files.size(), 2u);
    EXPECT_EQ(manifest.files[1].name, "d/b.bin");
    EXPECT_EQ(manifest.files[1].localPath, LocalPathOf("d/b.bin"));
    EXPECT_EQ(manifest.files[1].size, 20);
}

TEST_F(ManifestReading, ContentHashIsOptionalAndKeptInLowerCase) {
    const std::string digest(64, 'a');
    const auto withHash = [](const std::string& hash) {
        return "{\"TotalCount\": 2, \"TotalSize\": 2, \"URL\": \"http://h/\", \"FileList\": ["
               "{\"Name\": \"a\", \"Size\": 1, \"SHA256\": \"" +
               hash + "\"}, {\"Name\": \"b\", \"Size\": 1}]}";
    };
    EXPECT_EQ(Problem(withHash("0123456789ABCDEFabcdef" + std::string(42, 'F'))), "");
    ASSERT_EQ(manifest.files.size(), 2u);
    EXPECT_EQ(manifest.files[0].sha256, "0123456789abcdefabcdef" + std::string(42, 'f'));
    EXPECT_EQ(manifest.files[1].sha256, "");
    for (const std::string& bad :
         {std::string(63, 'a'), std::string(65, 'a'), std::string(63, 'a') + "g", std::string(),
          std::string(62, 'a') + " a"}) {
        EXPECT_NE(Problem(withHash(bad)).find("entry 0: \"SHA256\""), std::string::npos) << bad;
    }
}

// "Mirrors" after the list, as the publisher tool writes it (a reader without it has read the
// rest by then), or anywhere else.
TEST_F(ManifestReading, MirrorsAreReadInOrderAndEachIsCheckedLikeTheUrl) {
    const auto withMirrors = [](const std::string& mirrors, bool first = false) {
        const std::string key = "\"Mirrors\": [" + mirrors + "]";
        return "{" + (first ? key + ", " : "") +
               "\"TotalCount\": 1, \"TotalSize\": 1, \"URL\": \"http://h/\", \"FileList\": "
               "[{\"Name\": \"a\", \"Size\": 1}]" +
               (first ? "" : ", " + key) + "}";
    };
    const std::string two = "{\"URL\": \"http://m1/x/\"}, {\"URL\": \"HTTPS://m2:8080/\"}";
    for (bool first : {false, true}) {
        EXPECT_EQ(Problem(withMirrors(two, first)), "");
        EXPECT_EQ(manifest.mirrors, (std::vector<std::string>{"http://m1/x/", "HTTPS://m2:8080/"}));
        EXPECT_EQ(manifest.files.size(), 1u);
    }
    EXPECT_EQ(Problem(ManifestText("http://h/", {{"a", 1}})), "");
    EXPECT_TRUE(manifest.mirrors.empty());
    std::string nine;
    for (int i = 0; i < 9; ++i) {
        nine +=
            std::string(i == 0 ? "" : ", ") + "{\"URL\": \"http://m" + std::to_string(i) + "/\"}";
    }
    const std::string longest = "http://h/" + std::string(kFileUrlSize - 10, 'x') + "/";
    for (const std::string& bad : std::vector<std::string>{
             "\"http://m/\"", "{\"Name\": \"http://m/\"}", "{\"URL\": \"ftp://m/\"}",
             "{\"URL\": \"http:///\"}", "{\"URL\": \"http://m\"}", "{\"URL\": \"http://m/a b/\"}",
             "{\"URL\": \"file:///etc/\"}", "{\"URL\": \"" + longest + "\"}", nine}) {
        EXPECT_NE(Problem(withMirrors(bad)).find("irror"), std::string::npos) << bad;
    }
    // The entry's URL must fit at every server, not only at "URL".
    const std::string longBase = "http://h/" + std::string(kFileUrlSize - 11, 'x') + "/";
    EXPECT_EQ(
        Problem(withMirrors("{\"URL\": \"" + longBase.substr(0, longBase.size() - 2) + "/\"}")),
        "");
    EXPECT_EQ(Problem(withMirrors("{\"URL\": \"" + longBase + "\"}")), "entry 0: URL too long");
}

TEST_F(ManifestReading, ReadsOnlyTheCountedEntries) {
    EXPECT_EQ(Problem("{\"TotalCount\": 1, \"TotalSize\": 5, \"URL\": \"http://h/\", \"FileList\": "
                      "[{\"Name\": \"a\", \"Size\": 5}, {\"Name\": \"../b\", \"Size\": 1}]}"),
              "");
    EXPECT_EQ(manifest.files.size(), 1u);
}

TEST_F(ManifestReading, MissingOrMalformedKeysAreNamed) {
    EXPECT_NE(Problem("not json").find("not a JSON object"), std::string::npos);
    EXPECT_NE(
        Problem("{\"TotalSize\": 1, \"URL\": \"http://u/\", \"FileList\": []}").find("TotalCount"),
        std::string::npos);
    EXPECT_NE(
        Problem("{\"TotalCount\": x, \"TotalSize\": 1, \"URL\": \"http://u/\"}").find("TotalCount"),
        std::string::npos);
    EXPECT_NE(Problem("{\"TotalCount\": -1, \"TotalSize\": 1, \"URL\": \"http://u/\"}")
                  .find("TotalCount"),
              std::string::npos);
    EXPECT_NE(Problem("{\"TotalCount\": 0, \"URL\": \"http://u/\"}").find("TotalSize"),
              std::string::npos);
    EXPECT_NE(Problem("{\"TotalCount\": 0, \"TotalSize\": 0}").find("URL"), std::string::npos);
    EXPECT_NE(
        Problem("{\"TotalCount\": 1, \"TotalSize\": 0, \"URL\": \"http://u/\"}").find("FileList"),
        std::string::npos);
    EXPECT_NE(Problem("{\"TotalCount\": 1, \"TotalSize\": 0, \"URL\": \"http://u/\", \"FileList\": "
                      "[{\"Size\": 5}]}")
                  .find("Name"),
              std::string::npos);
    EXPECT_NE(Problem("{\"TotalCount\": 1, \"TotalSize\": 0, \"URL\": \"http://u/\", \"FileList\": "
                      "[{\"Name\": \"a\"}]}")
                  .find("Size"),
              std::string::npos);
}

// Every answer is checked against an entry's size, so it must be one.
TEST_F(ManifestReading, EverySizeIsRequiredAndNotBelowZero) {
    const std::string head =
        "{\"TotalCount\": 2, \"TotalSize\": 0, \"URL\": \"http://u/\", \"FileList\": ";
    EXPECT_EQ(Problem(head + "[{\"Name\": \"a\", \"Size\": 0}, {\"Name\": \"b\"}]}"),
              "entry 1: \"Size\" missing or not a number");
    EXPECT_EQ(Problem(head + "[{\"Name\": \"a\", \"Size\": 0}, {\"Name\": \"b\", \"Size\": 1x}]}"),
              "entry 1: \"Size\" missing or not a number");
    EXPECT_EQ(Problem(head + "[{\"Name\": \"a\", \"Size\": -5}, {\"Name\": \"b\", \"Size\": 1}]}"),
              "entry 0: \"Size\" -5 is below 0");
}

TEST_F(ManifestReading, OnlyWebAddressesAreAccepted) {
    for (const char* url : {"file:///etc/", "ftp://h/", "gopher://h/", "/local/folder/", "h/"}) {
        EXPECT_NE(Problem(ManifestText(url, {{"a.bin", 1}})).find("not an http"), std::string::npos)
            << url;
    }
    EXPECT_EQ(Problem(ManifestText("HTTPS://h/", {{"a.bin", 1}})), "");
    EXPECT_EQ(Problem(ManifestText("http://h", {{"a.bin", 1}})), "");
}

TEST_F(ManifestReading, CountBeyondTheListIsRefused) {
    EXPECT_NE(Problem("{\"TotalCount\": 3, \"TotalSize\": 2, \"URL\": \"http://u/\", \"FileList\": "
                      "[{\"Name\": \"a\", \"Size\": 1}, {\"Name\": \"b\", \"Size\": 1}]}")
                  .find("exceeds"),
              std::string::npos);
}

TEST_F(ManifestReading, UnsafeOrRepeatedNamesAreRefused) {
    EXPECT_NE(Problem(ManifestText("http://h/", {{"a.bin", 1}, {"../evil.bin", 1}})).find("evil"),
              std::string::npos);
    EXPECT_NE(Problem(ManifestText("http://h/", {{"d/a.bin", 1}, {"d\\a.bin", 1}})).find("twice"),
              std::string::npos);
    EXPECT_NE(Problem(ManifestText("http://h/" + std::string(1000, 'u') + "/",
                                   {{std::string(20, 'n') + ".bin", 1}}))
                  .find("URL too long"),
              std::string::npos);
}

// Under Windows' rules names in another case are one file and device names are no files; the
// same names are ordinary elsewhere.
TEST_F(ManifestReading, WindowsRulesRefuseCaseTwinsAndDeviceNames) {
    struct Case {
        std::vector<std::pair<std::string, size_t>> files;
        const char* refusedUnderWindows;  // what the problem names; null: accepted
    };
    for (const Case& c : std::vector<Case>{
             {{{"Data/a.bin", 1}, {"data/A.BIN", 1}}, "twice"},
             {{{"CON", 1}}, "device name"},
             {{{"d/aux.txt", 1}}, "device name"},
             {{{"Nul .dat", 1}}, "device name"},
             {{{"com1/x.bin", 1}}, "device name"},
             {{{"LPT9.log", 1}}, "device name"},
             {{{"console.txt", 1}}, nullptr},
             {{{"com0.bin", 1}}, nullptr},
             {{{"lpt10.bin", 1}}, nullptr},
             {{{"a.bin", 1}, {"b.bin", 1}}, nullptr},
         }) {
        SCOPED_TRACE(c.files[0].first);
        const std::string text = ManifestText("http://h/", c.files);
        EXPECT_EQ(Problem(text, false), "");
        const std::string problem = Problem(text, true);
        if (c.refusedUnderWindows == nullptr) {
            EXPECT_EQ(problem, "");
        } else {
            EXPECT_NE(problem.find(c.refusedUnderWindows), std::string::npos) << problem;
        }
    }
}

}  // namespace
}  // namespace engine_test
