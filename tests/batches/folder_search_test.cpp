#include "platform/errors.h"
#include "platform/find.h"
#include "platform/folder_walk.h"
#include "platform/handles.h"
#include "platform/wide_text.h"
#include "support/text.h"
#include "tests/batches/tree_helpers.h"
#include "tests/common/temp_folder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

using support::NarrowText;
using support::WidenText;

std::set<std::string> Listing(HANDLE search, WIN32_FIND_DATAW& found) {
    std::set<std::string> names;
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.insert(NarrowText(found.cFileName));
    } while (FindNextFileW(search, &found));
    EXPECT_EQ(GetLastError(), 18u); // ERROR_NO_MORE_FILES
    FindClose(search);
    return names;
}

class FolderSearchTest : public ::testing::Test {
protected:
    TempFolder work{"nomvera-find"};
    void SetUp() override {
        MakeFile(work / "a.txt");
        MakeFile(work / "b.log");
        MakeFolder(work / "sub", 0500);
        ASSERT_EQ(symlink("sub", (work / "link").c_str()), 0);
    }
    HANDLE Open(const std::string& path) {
        return platform::OpenWalkFolder(nullptr, WidenText(path).c_str());
    }
};

TEST_F(FolderSearchTest, PatternsSelectEntriesAndReportTheirOwnAttributes) {
    WIN32_FIND_DATAW found{};
    EXPECT_EQ(Listing(FindFirstFileW(WidenText(work / "*.*").c_str(), &found), found),
              (std::set<std::string>{".", "..", "a.txt", "b.log", "sub", "link"}));
    EXPECT_EQ(Listing(FindFirstFileW(WidenText(work / "*.txt").c_str(), &found), found),
              std::set<std::string>{"a.txt"});

    ASSERT_NE(FindFirstFileW(WidenText(work / "l*").c_str(), &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(found.dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT); // not the folder behind it
    ASSERT_NE(FindFirstFileW(WidenText(work / "s?b").c_str(), &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(found.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(FindFirstFileW(WidenText(work / "*.none").c_str(), &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FindFirstFileW(WidenText(work / "missing/*").c_str(), &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FolderSearchTest, OpeningAFolderNeverFollowsALinkNorEntersTheRoot) {
    EXPECT_EQ(Open(work / "link"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_EQ(Open(work / "a.txt"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    for (const char* root : {"/", "//", "/./"}) {
        EXPECT_EQ(Open(root), INVALID_HANDLE_VALUE) << root;
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_TRUE(platform::IsFileSystemRoot(WidenText(root).c_str())) << root;
    }
    EXPECT_FALSE(platform::IsFileSystemRoot(WidenText(work.Path()).c_str()));

    HANDLE folder = Open(work.Path() + "/");
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::OpenWalkFolder(folder, WIDE("link")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    for (const WCHAR* name : {WIDE(".."), WIDE("."), WIDE("sub/.."), WIDE("")}) {
        EXPECT_EQ(platform::OpenWalkFolder(folder, name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
        EXPECT_FALSE(platform::DeleteWalkFile(folder, name));
        EXPECT_FALSE(platform::RemoveWalkFolder(folder, name));
    }
    CloseHandle(folder);
}

TEST_F(FolderSearchTest, RemovalCallsGiveTheWindowsCodes) {
    HANDLE folder = Open(work.Path());
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    MakeFile(work / "sub2-file");
    MakeFolder(work / "full");
    MakeFile(work / "full/x");

    EXPECT_FALSE(platform::DeleteWalkFile(folder, WIDE("full")));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(platform::RemoveWalkFolder(folder, WIDE("full")));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(platform::RemoveWalkFolder(folder, WIDE("a.txt")));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_FALSE(platform::RemoveWalkFolder(folder, WIDE("link")));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_FALSE(platform::DeleteWalkFile(folder, WIDE("gone")));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(platform::RemoveWalkFolder(folder, WIDE("gone")));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    EXPECT_TRUE(
        platform::DeleteWalkFile(folder, WIDE("link"))); // the link, not the folder behind it
    EXPECT_TRUE(IsFolder(work / "sub"));
    EXPECT_TRUE(platform::DeleteWalkFile(folder, WIDE("sub2-file")));
    EXPECT_FALSE(Exists(work / "sub2-file"));
    CloseHandle(folder);
}

TEST_F(FolderSearchTest, ReadOnlyMapsToWriteBitsAndLeavesLinkTargetsAlone) {
    ASSERT_EQ(symlink("a.txt", (work / "to-a").c_str()), 0);
    chmod((work / "a.txt").c_str(), 0664);
    HANDLE folder = Open(work.Path());
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);

    EXPECT_TRUE(platform::SetWalkEntryAttributes(folder, WIDE("a.txt"), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ModeOf(work / "a.txt"), 0444u);
    EXPECT_TRUE(platform::SetWalkEntryAttributes(folder, WIDE("a.txt"), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(ModeOf(work / "a.txt"), 0644u); // group and others get no write bit back
    EXPECT_TRUE(platform::SetWalkEntryAttributes(folder, WIDE("to-a"), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ModeOf(work / "a.txt"), 0644u);
    EXPECT_TRUE(platform::SetWalkEntryAttributes(folder, WIDE("sub"), 0));
    EXPECT_EQ(ModeOf(work / "sub"), 0700u); // a folder gets read and search too
    CloseHandle(folder);
}

// An entry listed by a search and then swapped (another account renames a
// file over the name) is not changed: the listing's mode made writable would
// have made the set-id file behind the name world-writable. And no change
// keeps a set-id bit.
TEST_F(FolderSearchTest, AnEntrySwappedAfterTheListingIsLeftAloneAndSetIdBitsGo) {
    MakeFile(work / "listed", "x", 0557);
    chmod((work / "listed").c_str(), 0557);
    MakeFile(work / "planted", "x", 04755);
    chmod((work / "planted").c_str(), 04755);
    MakeFile(work / "setid", "x", 06555);
    chmod((work / "setid").c_str(), 06555);
    HANDLE folder = Open(work.Path());
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    WIN32_FIND_DATAW found{};
    HANDLE search = platform::FindFirstWalkEntry(folder, &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    while (WideString(found.cFileName) != WIDE("listed")) {
        ASSERT_TRUE(platform::FindNextWalkEntry(search, &found));
    }
    ASSERT_EQ(rename((work / "planted").c_str(), (work / "listed").c_str()), 0);

    EXPECT_FALSE(platform::SetWalkEntryAttributes(folder, WIDE("listed"), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(ModeOf(work / "listed"), 04755u);
    EXPECT_TRUE(platform::SetWalkEntryAttributes(folder, WIDE("setid"), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(ModeOf(work / "setid"), 0755u);
    platform::CloseWalkSearch(search);
    CloseHandle(folder);
}

TEST(CurrentFolder, FollowsTheWindowsSizeRules) {
    TempFolder work("nomvera-cwd");
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryW(WidenText(work.Path()).c_str()));
    WCHAR small[4];
    const DWORD needed = GetCurrentDirectoryW(4, small);
    EXPECT_EQ(needed, work.Path().size() + 1);
    WideString buffer(needed, WIDE('x'));
    EXPECT_EQ(GetCurrentDirectoryW(needed, buffer.data()), needed - 1);
    EXPECT_EQ(NarrowText(buffer.c_str()), work.Path());
    EXPECT_FALSE(SetCurrentDirectoryA(""));
    EXPECT_FALSE(SetCurrentDirectoryA((work / "missing").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    ASSERT_TRUE(SetCurrentDirectoryA(before));
}

} // namespace
} // namespace nomvera::test
