// The Windows backend's system services and built-in resources, run under Wine in CI.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/files.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "platform/trust.h"

namespace {

std::string UniqueName() {
    return "dl-test-lock-" + std::to_string(GetCurrentProcessId());
}

// Wine takes access lists of files without keeping them.
bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string ReadHostFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// A fresh folder of the test's own below the temporary folder, removed at the end.
class Win32Folder : public testing::Test {
protected:
    void SetUp() override {
        root = platform::UserStateFolder() + UniqueName() + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
        std::filesystem::remove_all(root);
        ASSERT_TRUE(platform::CreateFolder(root.c_str()));
    }
    void TearDown() override {
        platform::SetCurrentFolder(platform::UserStateFolder().c_str());
        std::filesystem::remove_all(root);
    }
    std::string root;
};

}  // namespace

TEST(Win32System, SecondLockInTheSameNameIsRefused) {
    const std::string name = UniqueName();
    EXPECT_TRUE(platform::AcquireSingleInstance(name.c_str()));
    EXPECT_FALSE(platform::AcquireSingleInstance(name.c_str()));
    EXPECT_TRUE(platform::AcquireSingleInstance((name + "-other").c_str()));
}

TEST(Win32System, FoldersAreAbsoluteAndEndInABackslash) {
    for (const std::string& folder : {platform::UserStateFolder(), platform::ModuleFolder()}) {
        ASSERT_GE(folder.size(), 3u) << folder;
        EXPECT_EQ(folder.substr(1, 2), ":\\") << folder;
        EXPECT_EQ(folder.back(), '\\') << folder;
        EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
    }
    EXPECT_EQ(platform::ExpandUserPath("~/x/"), "~/x/");
}

TEST(Win32System, TickCountAdvancesWithSleep) {
    const uint32_t before = platform::TickCount();
    platform::SleepMs(50);
    const uint32_t elapsed = platform::TickCount() - before;
    // The tick count moves in steps of up to 16 ms: one step may be lost at each end.
    EXPECT_GE(elapsed, 50u - 2 * 16);
}

TEST(Win32System, CodePageIsTheDocuments) {
    EXPECT_EQ(platform::CodePageToUtf16("\x81\x60", 2), u"\uFF5E");
    EXPECT_EQ(platform::CodePageToUtf8("\x8e\x63\x82\xe8\x8e\x9e\x8a\xd4", 8), "残り時間");
    // A lone lead byte at the end is dropped, not read past.
    EXPECT_EQ(platform::CodePageToUtf8("a\x82", 2), "a");
}

TEST(Win32System, BuiltInResourcesAreTheBuiltFiles) {
    for (int id : {103, 104, 105}) {
        const std::string built = ReadHostFile(
            (std::string(UX_DOCUMENT_DIR) + "ux" + std::to_string(id) + ".json").c_str());
        ASSERT_FALSE(built.empty()) << id;
        EXPECT_EQ(platform::LoadBuiltInResource(id), built) << id;
        EXPECT_EQ(platform::ResourceSize(id), built.size()) << id;
    }
    EXPECT_EQ(platform::LoadBuiltInResource(102), ReadHostFile(SKIN_FOLDER "/102.jpg"));
    EXPECT_EQ(platform::LoadBuiltInResource(153), ReadHostFile(SKIN_FOLDER "/153.bmp"));
    EXPECT_FALSE(platform::LoadBuiltInResource(106).has_value());
    EXPECT_FALSE(platform::ResourceSize(106).has_value());
}

// A folder and a file named in the documents' code page reach the disk as those characters,
// whatever the system's ANSI code page is.
TEST_F(Win32Folder, JapaneseNamesReachTheDiskUnchanged) {
    const std::string folder = root + "\x83\x5c\x83\x74\x83\x67\\";  // "ソフト\", 0x5C inside
    EXPECT_TRUE(platform::CreateFolder(folder.c_str()));
    EXPECT_FALSE(platform::CreateFolder(folder.c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(root) / L"ソフト"));
    ASSERT_TRUE(platform::SetCurrentFolder(folder.c_str()));
    EXPECT_EQ(platform::CurrentFolder() + "\\", folder);

    const std::string file = folder + "\x8e\x63\x82\xe8.txt";  // "残り.txt"
    ASSERT_TRUE(platform::ReplaceFileAtomically(file.c_str(), "first"));
    ASSERT_TRUE(platform::ReplaceFileAtomically(file.c_str(), "second"));
    std::ifstream written(std::filesystem::path(root) / L"ソフト" / L"残り.txt", std::ios::binary);
    std::ostringstream bytes;
    bytes << written.rdbuf();
    EXPECT_EQ(bytes.str(), "second");
    // Nothing else is left beside it.
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(std::filesystem::path(root) / L"ソフト"),
                      std::filesystem::directory_iterator()),
        1);
}

TEST_F(Win32Folder, FreeSpaceIsKnownForAFolderAndUnknownForNone) {
    EXPECT_GT(platform::FreeDiskSpace(root.c_str()), 0);
    EXPECT_EQ(platform::FreeDiskSpace((root + "missing\\").c_str()), -1);
}

TEST_F(Win32Folder, WhatStandsAtAPath) {
    const std::string file = root + "file";
    ASSERT_TRUE(platform::ReplaceFileAtomically(file.c_str(), "x"));
    ASSERT_TRUE(platform::CreatePrivateFolder((root + "private").c_str()));
    EXPECT_FALSE(platform::CreatePrivateFolder((root + "private").c_str()));
    struct Case {
        std::string name;
        bool exists, isFolder;
    };
    for (const Case& c : {Case{"private", true, true}, Case{"private\\", true, true},
                          Case{"file", true, false}, Case{"missing", false, false}}) {
        const platform::FolderFacts facts = platform::InspectFolder((root + c.name).c_str());
        EXPECT_EQ(facts.exists, c.exists) << c.name;
        EXPECT_EQ(facts.isFolder, c.isFolder) << c.name;
        EXPECT_FALSE(facts.isLink) << c.name;
    }
    // Made private, the folder is the user's own and nobody else's.
    EXPECT_TRUE(platform::RestrictFolderToUser((root + "private\\").c_str()));
    const platform::FolderFacts facts = platform::InspectFolder((root + "private").c_str());
    EXPECT_TRUE(facts.ownedByUser);
    if (!UnderWine()) {
        EXPECT_FALSE(facts.othersMayEnter);
    }
    EXPECT_FALSE(platform::RestrictFolderToUser(file.c_str()));
}

// A folder the program makes has an access list of its own (user, administrators, system), so
// that nobody else may change it even directly under a drive's root; what it holds is reached
// by relative names only through folders, never through a reparse point or "..".
TEST_F(Win32Folder, MadeFoldersAreTheUsersAndRelativeNamesStayInside) {
    const std::string made = root + "made";
    ASSERT_TRUE(platform::CreateFolder(made.c_str()));
    platform::OpenedPath opened = platform::OpenFolderFromRoot(made.c_str());
    ASSERT_TRUE(opened.item.IsOpen()) << opened.failure;
    EXPECT_TRUE(opened.steps.back().facts.isFolder);
    EXPECT_TRUE(opened.steps.back().facts.ownedByUserOrAdmin);
    if (!UnderWine()) {
        EXPECT_EQ(opened.steps.back().facts.othersWrite, platform::OthersWrite::kNone);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(GetNamedSecurityInfoA(made.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, nullptr, nullptr, &descriptor),
                  ERROR_SUCCESS);
        GetSecurityDescriptorControl(descriptor, &control, &revision);
        LocalFree(descriptor);
        EXPECT_NE(control & SE_DACL_PROTECTED, 0);
    }
    ASSERT_TRUE(platform::SetCurrentFolder(made.c_str()));
    std::FILE* file = platform::OpenFile("data\\maps\\a.bin", "wb+");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_TRUE(std::filesystem::is_regular_file(made + "\\data\\maps\\a.bin"));
    EXPECT_EQ(platform::OpenFile("data\\..\\..\\escaped.bin", "wb"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(root + "escaped.bin"));
    platform::OpenedPath held = platform::OpenFileBelow(opened.item, "data\\maps\\a.bin");
    ASSERT_TRUE(held.item.IsOpen()) << held.failure;
    EXPECT_TRUE(held.steps.back().facts.isRegularFile);
    // Held: nobody can write it meanwhile.
    EXPECT_EQ(platform::OpenFile("data\\maps\\a.bin", "rb+"), nullptr);
}
