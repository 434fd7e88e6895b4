// The version check, the version stamp and the server URL.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>

#include "app_fixture.h"
#include "platform/system.h"

namespace fake = platform::fake;
using apptest::ReadFile;
using apptest::WriteFile;

class Version : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        Prepare(app);
        app.resourceDirectory = app.workDirectory;
    }
    void Check(const std::string& members) {
        ASSERT_TRUE(document.Parse(("{ " + members + " }").c_str()));
        app.CheckVersion(document);
    }
    std::string StampPath() const { return WorkDirectory() + "version.txt"; }
    std::string Folder(const std::string& name) const { return fake::Root() + name; }

    cApp app;
    cJson document;
};

TEST_F(Version, VersionIsCopied) {
    Check("\"version\" : \"201808301023\"");
    EXPECT_STREQ(app.versionString, "201808301023");
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(Version, OverlongVersionIsCutToTheField) {
    Check("\"version\" : \"" + std::string(100, '7') + "\"");
    EXPECT_EQ(std::string(app.versionString), std::string(63, '7'));
}

TEST_F(Version, MissingVersionWarnsAndExitsWithZero) {
    ASSERT_TRUE(document.Parse("{ \"server-url\" : \"x/\" }"));
    try {
        app.CheckVersion(document);
        FAIL() << "no exit";
    } catch (const fake::ProcessExit& exit) {
        EXPECT_EQ(exit.code, 0);
    }
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "cApp::CheckVersion :: version check error(-41)");
    EXPECT_EQ(fake::MessageBoxes()[0].style, platform::kMbIconWarning);
}

TEST_F(Version, WorkDirectoryIsCurrentWhateverTheLocalResourceSwitchSays) {
    for (const char* local :
         {"", ", \"use-local-resource\" : true", ", \"use-local-resource\" : \"false\"",
          ", \"use-local-resource\" : \"True\""}) {
        platform::SetCurrentFolder(fake::Root().c_str());
        app.resourceDirectory = app.workDirectory;
        cJson fresh;
        ASSERT_TRUE(fresh.Parse((std::string("{ \"version\" : \"1\"") + local + " }").c_str()));
        app.CheckVersion(fresh);
        EXPECT_EQ(app.resourceDirectory, app.workDirectory) << local;
        EXPECT_EQ(platform::CurrentFolder() + platform::kPathSeparator, WorkDirectory()) << local;
    }
}

TEST_F(Version, LocalResourceSwitchChoosesTheModuleOnlyWithoutAnyDirectory) {
    app.resourceDirectory = nullptr;
    Check("\"version\" : \"1\", \"use-local-resource\" : true");
    EXPECT_EQ(app.resourceDirectory, app.moduleDirectory);
}

TEST_F(Version, StampedFolderBecomesTheDownloadDirectoryAndIsCreated) {
    std::string games = Folder("games/");
    WriteFile(StampPath(), "201808301023\n" + games);
    Check("\"version\" : \"201808301023\"");
    EXPECT_EQ(std::string(app.downloadDirectory), games);
    EXPECT_TRUE(apptest::IsFolder(games));
}

TEST_F(Version, StampWithoutFolderOrLineFeedLeavesTheDirectoryEmpty) {
    for (const char* stamp : {"201808301023\n", "201808301023", ""}) {
        WriteFile(StampPath(), stamp);
        cJson fresh;
        ASSERT_TRUE(fresh.Parse("{ \"version\" : \"1\" }"));
        app.CheckVersion(fresh);
        EXPECT_STREQ(app.downloadDirectory, "") << stamp;
    }
    EXPECT_TRUE(fake::CreatedFolders().empty());
}

TEST_F(Version, MissingStampLeavesTheDirectoryEmpty) {
    Check("\"version\" : \"1\"");
    EXPECT_STREQ(app.downloadDirectory, "");
}

TEST_F(Version, LineBreaksAndBlanksAfterTheFolderAreDropped) {
    std::string games = Folder("games/");
    for (const char* end : {"\r\n", "\n", " \t\r\n\n", ""}) {
        app.downloadDirectory[0] = '\0';
        WriteFile(StampPath(), "201808301023\r\n" + games + end);
        Check("\"version\" : \"201808301023\"");
        // The first line's carriage return is ignored with it; an editor's final line break
        // would otherwise name another folder.
        EXPECT_EQ(std::string(app.downloadDirectory), games);
    }
}

// A folder that others could change is not taken from the stamp: the document's default is.
TEST_F(Version, FolderOthersCanChangeIsRefusedWithAWarning) {
#ifdef _WIN32
    GTEST_SKIP() << "others' access is an access list there; the platform tests read it";
#endif
    std::string shared = Folder("shared/");
    std::filesystem::create_directories(shared + "games");
    std::filesystem::permissions(shared, std::filesystem::perms::all);
    for (const std::string& folder : {shared, shared + "games/", shared + "games/new/"}) {
        app.downloadDirectory[0] = '\0';
        WriteFile(StampPath(), "1\n" + folder);
        Check("\"version\" : \"1\"");
        EXPECT_STREQ(app.downloadDirectory, "") << folder;
        ASSERT_FALSE(fake::MessageBoxes().empty());
        EXPECT_EQ(fake::MessageBoxes().back().text,
                  "cApp::CheckVersion :: download folder refused (-36): " +
                      shared.substr(0, shared.size() - 1) + " can be changed by other users");
    }
}

TEST_F(Version, KnownDirectoryIsNotReplacedByTheStamp) {
    std::strcpy(app.downloadDirectory, "/already/");
    WriteFile(StampPath(), "1\n" + Folder("games/"));
    Check("\"version\" : \"1\"");
    EXPECT_STREQ(app.downloadDirectory, "/already/");
    EXPECT_TRUE(fake::CreatedFolders().empty());
}

TEST_F(Version, OtherVersionInTheStampChangesNothingAndIsRewritten) {
    std::string games = Folder("games/");
    WriteFile(StampPath(), "199901010000\n" + games);
    Check("\"version\" : \"201808301023\"");
    EXPECT_STREQ(app.versionString, "201808301023");
    EXPECT_EQ(std::string(app.downloadDirectory), games);
    app.SaveVersion();
    EXPECT_EQ(ReadFile(StampPath()), "201808301023\n" + games);
}

TEST_F(Version, StampIsByteExactWithoutTrailingLineBreak) {
    std::strcpy(app.versionString, "201808301023");
    std::strcpy(app.downloadDirectory, "/home/u/download/dezirodor/");
    app.SaveVersion();
    EXPECT_EQ(ReadFile(StampPath()), "201808301023\n/home/u/download/dezirodor/");
    app.downloadDirectory[0] = '\0';
    app.SaveVersion();
    EXPECT_EQ(ReadFile(StampPath()), "201808301023\n");
}

TEST_F(Version, UnwritableStampIsSilentlySkipped) {
    std::strcpy(app.workDirectory, Folder("missing/").c_str());
    app.SaveVersion();
    EXPECT_FALSE(apptest::IsFolder(Folder("missing/")));
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

#ifndef _WIN32
// A stamp that the disk takes only in part (here a file size limit of 20 bytes, in a child
// process) never replaces the whole one: a cut stamp would give a wrong folder at the next start.
TEST_F(Version, StampWrittenOnlyInPartLeavesThePreviousOneWhole) {
    const std::string previous = "201808301023\n" + Folder("games/");
    WriteFile(StampPath(), previous);
    std::strcpy(app.versionString, "201901010000");
    std::strcpy(app.downloadDirectory, Folder("a-much-longer-folder-name/").c_str());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{20, 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        app.SaveVersion();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(ReadFile(StampPath()), previous);
    // Nothing else is left beside it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(WorkDirectory())) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 1);

    app.SaveVersion();
    EXPECT_EQ(ReadFile(StampPath()), "201901010000\n" + std::string(app.downloadDirectory));
}
#endif

TEST_F(Version, ServerUrlIsBorrowedFromTheDocument) {
    ASSERT_TRUE(document.Parse("{ \"server-url\" : \"http://127.0.0.1:9/base/\" }"));
    app.LoadServerURL(document);
    EXPECT_STREQ(app.serverUrl, "http://127.0.0.1:9/base/");
    EXPECT_EQ(app.serverUrl, document.root->Find("server-url")->GetString());
}

TEST_F(Version, MissingServerUrlWarnsAndExitsWithZero) {
    ASSERT_TRUE(document.Parse("{ \"version\" : \"1\" }"));
    EXPECT_THROW(app.LoadServerURL(document), fake::ProcessExit);
    EXPECT_EQ(fake::ExitCode(), 0);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "cApp::LoadServerURL :: server-url error(-42)");
}
