// The publisher tool: what it lists, in which order, and what it refuses.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "download/manifest.h"
#include "download/manifestCheck.h"
#include "engine_fixture.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "platform/system.h"

namespace engine_test {
namespace {

class MakeManifestTest : public EngineTest {
protected:
    // Runs the tool with `arguments`; answers its exit status and keeps its standard output.
    int Run(const std::string& arguments) {
        const std::string outputPath = work + "tool-output.txt";
        const std::string command =
            std::string(MAKE_MANIFEST) + " " + arguments + " > " + outputPath + " 2>&1";
        const int status = std::system(command.c_str());
        output = ReadFile(outputPath);
#ifdef _WIN32
        return status;  // the command interpreter answers the program's exit code itself
#else
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    }

    // Reads the manifest the tool wrote into the work folder as the downloader does.
    bool ReadWritten(Manifest& manifest) {
        std::filesystem::current_path(work);
        cJson document;
        std::string problem;
        if (!document.LoadFromFile() || !ReadManifest(document, manifest, problem)) {
            ADD_FAILURE() << "file.json not read: " << problem;
            return false;
        }
        return true;
    }

    std::string output;
};

TEST_F(MakeManifestTest, HelpExplainsTheArguments) {
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(output.find("--url"), std::string::npos);
    EXPECT_NE(output.find("--output"), std::string::npos);
    EXPECT_EQ(Run(""), 1);
    EXPECT_EQ(Run("--url http://h/"), 1);
    EXPECT_EQ(Run("--bogus x " + download), 1);
}

TEST_F(MakeManifestTest, ListsEveryFileSortedWithSizesAndTotals) {
    const std::string folder = platform::fake::Root() + "set/";
    WriteFile(folder + "b.bin", std::string(20, 'b'));
    WriteFile(folder + "a/z.bin", std::string(5, 'z'));
    WriteFile(folder + "a/b/c.bin", std::string(7, 'c'));
    WriteFile(folder + "empty.bin", "");
    ASSERT_EQ(Run("--url http://h/base --version 3 --output " + work + "file.json " + folder), 0)
        << output;

    Manifest manifest;
    ASSERT_TRUE(ReadWritten(manifest));
    EXPECT_EQ(manifest.url, "http://h/base/");
    EXPECT_EQ(manifest.totalCount, 4);
    EXPECT_EQ(manifest.totalSize, 32);
    std::vector<std::string> names;
    for (const auto& file : manifest.files) {
        names.push_back(file.name + ":" + std::to_string(file.size));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"a/b/c.bin:7", "a/z.bin:5", "b.bin:20", "empty.bin:0"}));
    const std::string first = ReadFile(work + "file.json");
    EXPECT_NE(first.find("\"Version\": \"3\""), std::string::npos) << first;
    ASSERT_EQ(Run("--url http://h/base --version 3 --output " + work + "file.json " + folder), 0);
    EXPECT_EQ(ReadFile(work + "file.json"), first);
}

// Known SHA-256 values of two small contents; the option leaves every hash out.
TEST_F(MakeManifestTest, EveryEntryCarriesTheSha256OfItsBytesUnlessLeftOut) {
    const std::string folder = platform::fake::Root() + "set/";
    WriteFile(folder + "abc.bin", "abc");
    WriteFile(folder + "d/empty.bin", "");
    const std::string big = Pattern(3 * 1024 * 1024 + 5, 9);
    WriteFile(folder + "big.bin", big);
    std::filesystem::current_path(work);
    for (const bool hashes : {true, false}) {
        ASSERT_EQ(Run(std::string("--url http://h/ ") + (hashes ? "" : "--no-hashes ") +
                      "--output " + work + "file.json " + folder),
                  0)
            << output;
        Manifest manifest;
        ASSERT_TRUE(ReadWritten(manifest));
        ASSERT_EQ(manifest.files.size(), 3u);
        if (!hashes) {
            for (const auto& file : manifest.files) {
                EXPECT_EQ(file.sha256, "") << file.name;
            }
            EXPECT_EQ(ReadFile(work + "file.json").find("SHA256"), std::string::npos);
            continue;
        }
        EXPECT_EQ(manifest.files[0].sha256,
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(manifest.files[2].sha256,
                  "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        platform::Sha256 expected;
        expected.Update(big.data(), big.size());
        EXPECT_EQ(manifest.files[1].sha256, expected.FinishHex());
    }
}

// Mirrors follow the list, so that a reader without them has read everything else first.
TEST_F(MakeManifestTest, MirrorsAreWrittenInOrderAfterTheListAndCheckedFirst) {
    const std::string folder = platform::fake::Root() + "set/";
    WriteFile(folder + "a.bin", "a");
    ASSERT_EQ(Run("--url http://h/ --mirror http://m1/x --mirror https://m2/ --output " + work +
                  "file.json " + folder),
              0)
        << output;
    const std::string text = ReadFile(work + "file.json");
    EXPECT_GT(text.find("\"Mirrors\""), text.find("\"FileList\""));
    Manifest manifest;
    ASSERT_TRUE(ReadWritten(manifest));
    EXPECT_EQ(manifest.mirrors, (std::vector<std::string>{"http://m1/x/", "https://m2/"}));
    EXPECT_EQ(manifest.files.size(), 1u);

    std::string nine;
    for (int i = 0; i < 9; ++i) {
        nine += " --mirror http://m" + std::to_string(i) + "/";
    }
    for (const std::string& bad :
         {std::string(" --mirror ftp://m/"), std::string(" --mirror http:///"),
          std::string(" --mirror \"http://m/a,b/\""), nine}) {
        EXPECT_EQ(Run("--url http://h/" + bad + " " + folder), 2) << bad;
        EXPECT_NE(output.find("mirror"), std::string::npos) << output;
    }
}

TEST_F(MakeManifestTest, OutputInsideTheFolderIsNotListed) {
    const std::string folder = platform::fake::Root() + "set/";
    WriteFile(folder + "a.bin", "a");
    ASSERT_EQ(Run("--url http://h/ --output " + folder + "file.json " + folder), 0) << output;
    EXPECT_EQ(ReadFile(folder + "file.json").find("\"file.json\""), std::string::npos);
    EXPECT_NE(ReadFile(folder + "file.json").find("\"TotalCount\": 1,"), std::string::npos);
}

#ifndef _WIN32
// The key's life on the publisher's side: a new pair (the private key for its owner only, never
// over an existing file), then a manifest signed with it that the engine takes with the public
// key, and refuses once changed.
TEST_F(MakeManifestTest, GeneratedKeySignsManifestsTheEngineChecks) {
    const std::string key = work + "publisher-key";
    ASSERT_EQ(Run("--generate-key " + key), 0) << output;
    EXPECT_EQ(std::filesystem::status(key).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string publicKey = ReadFile(key + ".pub");
    ASSERT_EQ(publicKey.size(), 91u);
    const std::string privateKey = ReadFile(key);
    EXPECT_EQ(Run("--generate-key " + key), 2);
    EXPECT_EQ(ReadFile(key), privateKey);

    const std::string folder = platform::fake::Root() + "set/";
    WriteFile(folder + "a.bin", "abc");
    EXPECT_EQ(Run("--url http://h/ --sign " + key + " " + folder), 1);  // no file to sign
    EXPECT_EQ(Run("--url http://h/ --no-hashes --output " + work + "file.json --sign " + key + " " +
                  folder),
              1);
    ASSERT_EQ(Run("--url http://h/ --output " + work + "file.json --sign " + key + " " + folder), 0)
        << output;
    EXPECT_EQ(ReadFile(work + "file.json.sig").size(), 64u);
    std::filesystem::current_path(work);
    const std::string point = publicKey.substr(26);
    Manifest manifest;
    std::string problem;
    EXPECT_TRUE(LoadCheckedManifest("file.json", "file.json.sig", manifest, problem, point))
        << problem;
    WriteFile(work + "file.json", ReadFile(work + "file.json") + " ");
    EXPECT_FALSE(LoadCheckedManifest("file.json", "file.json.sig", manifest, problem, point));
    EXPECT_EQ(problem, "is not signed by the publisher (wrong signature)");
}
#endif

TEST_F(MakeManifestTest, NamesTheReaderCannotHoldStopTheTool) {
    // Windows itself refuses the other names in a folder.
    std::vector<const char*> names = {"a,b.bin", "a}b.bin"};
    if (platform::kPathSeparator == '/') {
        names.insert(names.end(),
                     {"quote\".bin", "back\\slash.bin", "c:d.bin", "trailing.", "dir./x.bin"});
    }
    for (const char* name : names) {
        const std::string folder = platform::fake::Root() + "bad/";
        std::filesystem::remove_all(folder);
        WriteFile(folder + name, "x");
        EXPECT_EQ(Run("--url http://h/ " + folder), 2) << name;
        EXPECT_NE(output.find("cannot list"), std::string::npos) << output;
    }
}

// The tool lists only what every downloader takes: a name that the Linux or the Windows rules
// refuse would make one of them refuse the whole manifest.
TEST_F(MakeManifestTest, RefusesWhatEitherDownloaderRefuses) {
    if (platform::kWindowsFileNameRules) {
        GTEST_SKIP() << "Windows cannot make these names in a folder";
    }
    struct Case {
        std::vector<std::string> names;
        bool linuxRefuses;
        bool windowsRefuses;
    };
    const std::vector<Case> cases = {
        {{"plain.bin"}, false, false},     {{"COM0.bin", "con-x.bin"}, false, false},
        {{"aux.dat"}, false, true},        {{"d/COM1.txt"}, false, true},
        {{"lpt9"}, false, true},           {{"nul .txt"}, false, true},
        {{"A.bin", "a.bin"}, false, true}, {{"d/X.bin", "D/x.bin"}, false, true},
        {{"trailing."}, true, true},       {{"dir./x.bin"}, true, true},
        {{"c:d.bin"}, true, true},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, size_t>> files;
        const std::string folder = platform::fake::Root() + "table/";
        std::filesystem::remove_all(folder);
        for (const std::string& name : c.names) {
            WriteFile(folder + name, "x");
            files.emplace_back(name, 1);
        }
        for (const bool windowsNames : {false, true}) {
            cJson document;
            ASSERT_TRUE(document.Parse(ManifestText("http://h/", files).c_str()));
            Manifest manifest;
            std::string problem;
            EXPECT_EQ(!ReadManifest(document, manifest, problem, windowsNames),
                      windowsNames ? c.windowsRefuses : c.linuxRefuses)
                << c.names[0] << (windowsNames ? " (Windows)" : " (Linux)") << ": " << problem;
        }
        EXPECT_EQ(Run("--url http://h/ " + folder), c.linuxRefuses || c.windowsRefuses ? 2 : 0)
            << c.names[0] << ": " << output;
    }
}

// The manifest is the same UTF-8 with LF line ends on every system, and the downloader's path
// of each name (code page 932 on Windows, the same bytes elsewhere) reaches the listed file.
TEST_F(MakeManifestTest, JapaneseNamesAreListedInUtf8ThatTheDownloaderFinds) {
    const std::string folder = platform::fake::Root() + "set" + platform::kPathSeparator;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF/\xE6\xAE\x8B\xE3\x82\x8A.bin",
         "rest"},  // データ/残り.bin
        {"\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/\xE8\xA1\xA8.txt", "table!"},  // ソフト/表.txt
    };
    for (const auto& [name, bytes] : files) {
        const std::filesystem::path path = DiskPath(folder, name);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    ASSERT_EQ(Run("--url http://h/ --output " + work + "file.json " + folder), 0) << output;
    const std::string text = ReadFile(work + "file.json");
    ASSERT_EQ(Run("--url http://h/ " + folder), 0) << output;
    EXPECT_EQ(output, text);  // standard output too, byte for byte
    EXPECT_EQ(text.find('\r'), std::string::npos);
    for (const auto& [name, bytes] : files) {
        EXPECT_NE(text.find("\"Name\": \"" + name + "\""), std::string::npos) << text;
    }

    Manifest manifest;
    ASSERT_TRUE(ReadWritten(manifest));
    ASSERT_EQ(manifest.files.size(), files.size());
    for (const ManifestEntry& entry : manifest.files) {
        const std::optional<platform::FileFacts> facts =
            platform::InspectFile((folder + entry.localPath).c_str());
        ASSERT_TRUE(facts.has_value()) << entry.name;
        EXPECT_EQ(facts->size, entry.size) << entry.name;
    }
}

// Names the Windows downloader could not keep in code page 932 (it would refuse the manifest).
TEST_F(MakeManifestTest, NamesOutsideTheDocumentsCodePageStopTheTool) {
    std::vector<std::string> names = {"caf\xC3\xA9.bin", "\xF0\x9F\x98\x80.bin"};
    if (!platform::kPathsInDocumentCodePage) {
        names.push_back("\x83\x66.bin");  // not UTF-8: a POSIX name may be any bytes
    }
    for (const std::string& name : names) {
        const std::string folder = platform::fake::Root() + "odd" + platform::kPathSeparator;
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::ofstream(DiskPath(folder, name), std::ios::binary) << "x";
        EXPECT_EQ(Run("--url http://h/ " + folder), 2) << name;
        EXPECT_NE(output.find("cannot list"), std::string::npos) << output;
    }
}

TEST_F(MakeManifestTest, MissingFolderIsAnError) {
    EXPECT_EQ(Run("--url http://h/ " + platform::fake::Root() + "nowhere"), 2);
}

}  // namespace
}  // namespace engine_test
