// Japanese folder and file names from the manifest to the disk: a manifest's names are UTF-8;
// the core's paths are UTF-8 on POSIX systems and code page 932 on Windows (where the second
// byte of "ソ" and "表" is the separator's byte 0x5C). Run under Wine with either ANSI code page.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "core/folderWalk.h"
#include "download/manifest.h"
#include "download/verifiedRecord.h"
#include "engine_fixture.h"
#include "platform/fake_net/fake_net.h"
#include "platform/files.h"
#include "platform/sha256.h"

namespace engine_test {
namespace {

namespace fake_net = platform::fake_net;

constexpr bool kWindows = platform::kPathsInDocumentCodePage;

// A name as the manifest and the test write it (UTF-8) and as the core's path of this system.
struct Name {
    const char* utf8;
    const char* windowsPath;  // code page 932, backslashes
};

constexpr Name kDataRest = {"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/\xE6\xAE\x8B\xE3\x82\x8A.bin",
                            "\x83\x66\x81\x5B\x83\x5E\\\x8E\x63\x82\xE8.bin"};  // データ/残り.bin
constexpr Name kSoftTable = {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/\xE8\xA1\xA8.txt",
                             "\x83\x5C\x83\x74\x83\x67\\\x95\x5C.txt"};  // ソフト/表.txt
// ダウンロード/ソフト/
constexpr Name kDownloadFolder = {
    "\xE3\x83\x80\xE3\x82\xA6\xE3\x83\xB3\xE3\x83\xAD\xE3\x83\xBC\xE3\x83\x89/"
    "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/",
    "\x83\x5F\x83\x45\x83\x93\x83\x8D\x81\x5B\x83\x68\\\x83\x5C\x83\x74\x83\x67\\"};

std::string CorePath(const Name& name) {
    return kWindows ? name.windowsPath : name.utf8;
}

std::string Sha256Of(const std::string& bytes) {
    platform::Sha256 digest;
    digest.Update(bytes.data(), bytes.size());
    return digest.FinishHex();
}

class JapaneseNamesTest : public EngineTest {};

TEST_F(JapaneseNamesTest, ManifestNamesBecomeThisSystemsPathsOrAreRefused) {
    struct Case {
        std::string name;
        std::optional<std::string> linuxPath;    // nothing: refused
        std::optional<std::string> windowsPath;  // nothing: refused
    };
    const std::vector<Case> cases = {
        {kDataRest.utf8, kDataRest.utf8, kDataRest.windowsPath},
        {kSoftTable.utf8, kSoftTable.utf8, kSoftTable.windowsPath},
        {"plain\\a.bin", "plain/a.bin", "plain\\a.bin"},
        // Characters code page 932 lacks: a look-alike ("e" for "é", the separator for "¥")
        // would name another file.
        {"caf\xC3\xA9.bin", "caf\xC3\xA9.bin", std::nullopt},
        {"\xC2\xA5.bin", "\xC2\xA5.bin", std::nullopt},
        {"\xF0\x9F\x98\x80.bin", "\xF0\x9F\x98\x80.bin", std::nullopt},
        // Not UTF-8: the bytes of a POSIX name, no name at all for Windows.
        {"\x83\x66.bin", "\x83\x66.bin", std::nullopt},
    };
    for (const Case& c : cases) {
        WriteManifest(ManifestText("http://h/", {{c.name, 1}}));
        std::filesystem::current_path(work);
        cJson document;
        ASSERT_TRUE(document.LoadFromFile());
        Manifest manifest;
        std::string problem;
        const bool read = ReadManifest(document, manifest, problem);
        const std::optional<std::string>& expected = kWindows ? c.windowsPath : c.linuxPath;
        ASSERT_EQ(read, expected.has_value()) << c.name << ": " << problem;
        if (read) {
            EXPECT_EQ(manifest.files[0].localPath, *expected) << c.name;
            EXPECT_EQ(manifest.files[0].name, c.name);
        } else {
            EXPECT_NE(problem.find("refused name"), std::string::npos) << problem;
        }
    }
}

// Windows takes names that differ in the case of any letter for one file; letters without case
// ("ア" is 0x83 0x41 and "ヂ" 0x83 0x61 in code page 932) stay apart.
TEST_F(JapaneseNamesTest, CaseTwinsInEveryScriptAreOneFileOnWindows) {
    struct Case {
        std::string first, second;
        bool twinsOnWindows;
    };
    for (const Case& c : std::vector<Case>{
             {"\xEF\xBC\xA1.bin", "\xEF\xBD\x81.bin", true},   // fullwidth "Ａ" and "ａ"
             {"\xCE\xA9/x.bin", "\xCF\x89/x.bin", true},       // "Ω" and "ω"
             {"\xE3\x82\xA2.bin", "\xE3\x83\x82.bin", false},  // "ア" and "ヂ"
         }) {
        WriteManifest(ManifestText("http://h/", {{c.first, 1}, {c.second, 1}}));
        std::filesystem::current_path(work);
        cJson document;
        ASSERT_TRUE(document.LoadFromFile());
        Manifest manifest;
        std::string problem;
        const bool twins = kWindows && c.twinsOnWindows;
        EXPECT_EQ(ReadManifest(document, manifest, problem), !twins) << c.first << ": " << problem;
        if (twins) {
            EXPECT_NE(problem.find("listed twice"), std::string::npos) << problem;
        }
    }
}

TEST_F(JapaneseNamesTest, SeparatorBytesInsideCharactersSplitNothing) {
    const std::string root = platform::fake::Root();
    std::filesystem::current_path(root);
    auto entries = [&] {
        const std::filesystem::directory_iterator all(DiskPath(root, ""));
        return std::distance(begin(all), end(all));
    };
    const auto before = entries();
    CreateParentFolders(CorePath(kSoftTable));
    const std::string soft = "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";  // ソフト
    // One folder "ソフト", not also one cut at the byte 0x5C inside "ソ".
    EXPECT_TRUE(std::filesystem::is_directory(DiskPath(root, soft)));
    EXPECT_EQ(entries(), before + 1);
    // "ソ" ends in 0x5C in code page 932, but not in a separator.
    EXPECT_FALSE(core::EndsInSeparator("c:\\\x83\x5C", '\\', 932));
    EXPECT_TRUE(core::EndsInSeparator("c:\\\x83\x5C\\", '\\', 932));
    EXPECT_TRUE(core::EndsInSeparator("/a/\x83\x5C", '\\', 0));
}

// The whole engine: a Japanese download folder, Japanese names with 0x5C inside characters, a
// resumed partial file, the hashes checked and recorded.
TEST_F(JapaneseNamesTest, EngineDownloadsIntoJapaneseFoldersAndNames) {
    fake_net::Reset();
    const std::string root = platform::fake::Root();
    std::filesystem::create_directories(DiskPath(root, kDownloadFolder.utf8));
    const std::string folder = root + CorePath(kDownloadFolder);
    std::snprintf(app->downloadDirectory, sizeof app->downloadDirectory, "%s", folder.c_str());

    const std::string base = "http://files.test/set/";
    const std::vector<std::pair<const Name*, std::string>> files = {
        {&kDataRest, Pattern(300000, 7)}, {&kSoftTable, Pattern(5000, 8)}};
    // The names go to the server as the percent-encoded UTF-8 of the manifest.
    fake_net::Serve(base + "%E3%83%87%E3%83%BC%E3%82%BF/%E6%AE%8B%E3%82%8A.bin", files[0].second);
    fake_net::Serve(base + "%E3%82%BD%E3%83%95%E3%83%88/%E8%A1%A8.txt", files[1].second);
    std::string list;
    for (const auto& [name, bytes] : files) {
        list += std::string(list.empty() ? "" : ",\n") + "{\"Name\": \"" + name->utf8 +
                "\", \"Size\": " + std::to_string(bytes.size()) + ", \"SHA256\": \"" +
                Sha256Of(bytes) + "\"}";
    }
    WriteManifest("{\"TotalCount\": 2, \"TotalSize\": 305000, \"URL\": \"" + base +
                  "\", \"FileList\": [\n" + list + "\n]}\n");
    // A part of the first file is on disk already.
    const std::filesystem::path partial =
        DiskPath(root, std::string(kDownloadFolder.utf8) + kDataRest.utf8);
    std::filesystem::create_directories(partial.parent_path());
    std::ofstream(partial, std::ios::binary) << files[0].second.substr(0, 1000);

    cMgrDownloader* manager = StartManager();
    ASSERT_TRUE(WaitForRunEnd(manager));
    EXPECT_EQ(manager->finished, 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
    for (const auto& [name, bytes] : files) {
        std::ifstream in(DiskPath(root, std::string(kDownloadFolder.utf8) + name->utf8),
                         std::ios::binary);
        const std::string got{std::istreambuf_iterator<char>(in), {}};
        EXPECT_TRUE(SameBytes(got, bytes)) << name->utf8;
    }
    EXPECT_EQ(manager->received, 305000);
    EXPECT_EQ(manager->sessionReceived, 305000 - 1000);
    ASSERT_EQ(LogLines().size(), 1u);
    EXPECT_TRUE(IsLogLine(LogLines()[0], "cMgrDownloader::OnStart 1000"));
    // Both checked files are recorded under their paths: their facts could be read.
    const std::string record = ReadFile(work + kVerifiedRecordName);
    for (const auto& [name, bytes] : files) {
        EXPECT_NE(record.find(Sha256Of(bytes) + " " + std::to_string(bytes.size())),
                  std::string::npos);
        EXPECT_NE(record.find(folder + CorePath(*name)), std::string::npos) << record;
    }
}

}  // namespace
}  // namespace engine_test
