// The download directory: storing it, the folders created along it, and the walk itself with
// both separators.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app_fixture.h"
#include "core/folderWalk.h"
#include "downloader/mainWindow.h"
#include "platform/system.h"

namespace fake = platform::fake;
using Folders = std::vector<std::string>;

TEST(FolderWalk, WindowsPathsSkipTheDrive) {
    EXPECT_EQ(core::FoldersAlong("c:\\download\\dezirodor\\", '\\', true),
              (Folders{"c:\\download", "c:\\download\\dezirodor"}));
    EXPECT_EQ(core::FoldersAlong("c:\\a\\b", '\\', true), (Folders{"c:\\a", "c:\\a\\b"}));
    EXPECT_EQ(core::FoldersAlong("c:\\", '\\', true), Folders{});
    EXPECT_EQ(core::FoldersAlong("d:\\games\\", '\\', true), Folders{"d:\\games"});
    EXPECT_EQ(core::FoldersAlong("nofolder", '\\', true), Folders{});
}

TEST(FolderWalk, PosixPathsCreateEveryFolderBelowTheRoot) {
    EXPECT_EQ(core::FoldersAlong("/download/dezirodor/", '/', false),
              (Folders{"/download", "/download/dezirodor"}));
    EXPECT_EQ(core::FoldersAlong("/a/b", '/', false), (Folders{"/a", "/a/b"}));
    EXPECT_EQ(core::FoldersAlong("/", '/', false), Folders{});
    EXPECT_EQ(core::FoldersAlong("a/b", '/', false), (Folders{"a", "a/b"}));
    EXPECT_EQ(core::FoldersAlong("nofolder", '/', false), Folders{});
}

// "ソ" is 0x83 0x5C in code page 932: its second byte is no separator where paths are in that
// code page, and is one where they are UTF-8 (where no character holds the byte).
TEST(FolderWalk, DoubleByteCharactersAreNeverSplit) {
    const std::string soft = "\x83\x5c\x83\x74\x83\x67";  // "ソフト"
    EXPECT_EQ(core::FoldersAlong("c:\\download\\" + soft + "\\", '\\', true, 932),
              (Folders{"c:\\download", "c:\\download\\" + soft}));
    EXPECT_EQ(core::FoldersAlong("c:\\" + soft, '\\', true, 932), Folders{"c:\\" + soft});
    EXPECT_TRUE(core::SeparatorsIn(soft, '\\', 932).empty());
    EXPECT_EQ(core::SeparatorsIn(soft, '\\', 0), std::vector<size_t>{1});
    // Code page 949 has no trail byte 0x5C; its lead bytes still take the next byte along.
    EXPECT_EQ(core::FoldersAlong("c:\\\xb0\xa1\\x", '\\', true, 949),
              (Folders{"c:\\\xb0\xa1", "c:\\\xb0\xa1\\x"}));
}

TEST(FolderWalk, TheOtherSeparatorIsAnOrdinaryByte) {
    EXPECT_EQ(core::FoldersAlong("c:\\download\\", '/', false), Folders{});
    EXPECT_EQ(core::FoldersAlong("/x\\y/z", '/', false), (Folders{"/x\\y", "/x\\y/z"}));
}

class DownloadDirectory : public apptest::AppTest {
protected:
    std::string Folder(const std::string& name) const { return fake::Root() + fake::Native(name); }
    cApp app;
};

TEST_F(DownloadDirectory, StoresBothCopiesAndCreatesTheFoldersOutermostFirst) {
    std::string path = Folder("download/dezirodor/");
    app.CreateDownloadDirectory(path.c_str());
    EXPECT_EQ(std::string(app.downloadDirectory), path);
    EXPECT_EQ(std::u16string(app.downloadDirectoryWide), std::u16string(path.begin(), path.end()));
    EXPECT_TRUE(apptest::IsFolder(path));
    Folders created = fake::CreatedFolders();
    ASSERT_GE(created.size(), 2u);
    EXPECT_EQ(created[created.size() - 2], Folder("download"));
    EXPECT_EQ(created.back(), Folder("download/dezirodor"));
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(DownloadDirectory, ExistingFoldersAreNoError) {
    std::string path = Folder("games");
    app.CreateDownloadDirectory(path.c_str());
    app.CreateDownloadDirectory(path.c_str());
    EXPECT_TRUE(apptest::IsFolder(path));
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(DownloadDirectory, PathWithoutSeparatorWarnsButIsKept) {
    // The other system's separator is an ordinary byte.
    const char* otherSystems =
        platform::kPathSeparator == '/' ? "c:\\download\\dezirodor\\" : "download/dezirodor/";
    for (const char* path : {"dezirodor", otherSystems}) {
        app.CreateDownloadDirectory(path);
        EXPECT_STREQ(app.downloadDirectory, path);
    }
    EXPECT_TRUE(fake::CreatedFolders().empty());
    auto boxes = fake::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "cApp::CreateDownloadDirectory :: error (-32)");
    EXPECT_EQ(boxes[0].caption, "kestra-downloader...");
    EXPECT_EQ(boxes[0].style, platform::kMbIconWarning);
    EXPECT_EQ(boxes[0].owner, nullptr);
}

TEST_F(DownloadDirectory, HomeFolderIsExpanded) {
    if (platform::kPathSeparator != '/') {
        GTEST_SKIP() << "the user's home in a folder name is a POSIX convention";
    }
    app.CreateDownloadDirectory("~/download/dezirodor/");
    std::string expected = fake::Root() + "home/download/dezirodor/";
    EXPECT_EQ(std::string(app.downloadDirectory), expected);
    EXPECT_TRUE(apptest::IsFolder(expected));
}

// Paths are the system's own names (UTF-8 on POSIX systems, the documents' code page on
// Windows): shown as they are, and a folder written in a document (code page 932) becomes the
// same name on disk.
TEST_F(DownloadDirectory, JapaneseFolderIsCreatedAndShownUnchanged) {
    const char* inDocument = "\x83\x5f\x83\x45\x83\x93/";  // "ダウン/"
    const char* onSystem =
        platform::kPathsInDocumentCodePage ? inDocument : "\xe3\x83\x80\xe3\x82\xa6\xe3\x83\xb3/";
    const std::string download = Folder(onSystem);
    app.CreateDownloadDirectory(download.c_str());
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(fake::Root()) / u"ダウン"));
    std::string root = fake::Root();
    EXPECT_EQ(std::u16string(app.downloadDirectoryWide),
              std::u16string(root.begin(), root.end()) + u"ダウン" +
                  static_cast<char16_t>(platform::kPathSeparator));
    EXPECT_EQ(platform::DocumentTextToPath(inDocument), onSystem);
}

TEST_F(DownloadDirectory, PathOfTheFieldSizeIsRefusedWithoutOverflow) {
    std::string kept = Folder("kept/");
    app.CreateDownloadDirectory(kept.c_str());
    std::string longPath = "/" + std::string(cApp::kPathSize - 1, 'a');
    app.CreateDownloadDirectory(longPath.c_str());
    EXPECT_EQ(std::string(app.downloadDirectory), kept);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "cApp::CreateDownloadDirectory :: error (-32)");
}

TEST_F(DownloadDirectory, PathJustUnderTheFieldSizeIsTaken) {
    std::string path = Folder("");
    path += std::string(cApp::kPathSize - 1 - path.size(), 'b');
    app.CreateDownloadDirectory(path.c_str());
    EXPECT_EQ(std::string(app.downloadDirectory), path);
    EXPECT_EQ(std::char_traits<char16_t>::length(app.downloadDirectoryWide), path.size());
}

TEST_F(DownloadDirectory, MainWindowIsRepaintedOnlyWhenItHasANativeWindow) {
    std::string path = Folder("x/");
    app.CreateDownloadDirectory(path.c_str());
    EXPECT_TRUE(fake::Invalidated().empty());

    cJson document;
    ASSERT_TRUE(document.Parse(apptest::MinimalDocument().c_str()));
    app.mainWindow = NewMainWindow(document);
    app.CreateDownloadDirectory(path.c_str());
    EXPECT_TRUE(fake::Invalidated().empty());

    ASSERT_TRUE(CreateMainWindowNative(app.mainWindow));
    fake::ClearRecords();  // what the window's creation painted
    app.CreateDownloadDirectory("nofolder");
    EXPECT_EQ(fake::Invalidated(), std::vector<platform::WindowHandle>{app.MainWindowHandle()});
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].owner, app.MainWindowHandle());
    DeleteMainWindow(app.mainWindow);
    app.mainWindow = nullptr;
}
