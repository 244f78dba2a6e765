// The folder walk through the platform surface alone, on Linux and, under
// Wine or on Windows, on the Windows implementation.
#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/folder_walk.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <winioctl.h>

#include <cstring>
#endif

namespace nomvera::platform {
namespace {

#if defined(_WIN32)
constexpr WCHAR kDelimiter = L'\\';
constexpr WCHAR kFileSystemRoot[] = L"C:\\";

// Makes link a junction to target: the reparse data of a mount point, which
// the SDK's user-mode headers do not declare.
bool MakeJunction(const WideString& link, const WideString& target) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) {
        return false;
    }
    HANDLE folder = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    const WideString substitute = L"\\??\\" + target;
    const auto nameBytes = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
    struct {
        DWORD tag;
        WORD dataLength;
        WORD reserved;
        WORD substituteOffset, substituteLength, printOffset, printLength;
        WCHAR names[1024];
    } data{};
    data.tag = IO_REPARSE_TAG_MOUNT_POINT;
    data.substituteLength = nameBytes;
    data.printOffset = static_cast<WORD>(nameBytes + sizeof(WCHAR));
    std::memcpy(data.names, substitute.c_str(), nameBytes);
    data.dataLength = static_cast<WORD>(4 * sizeof(WORD) + nameBytes + 2 * sizeof(WCHAR));
    DWORD returned = 0;
    const bool made = folder != INVALID_HANDLE_VALUE &&
                      DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &data, 8 + data.dataLength,
                                      nullptr, 0, &returned, nullptr);
    if (folder != INVALID_HANDLE_VALUE) {
        CloseHandle(folder);
    }
    if (!made) {
        RemoveDirectoryW(link.c_str());
    }
    return made;
}
#else
constexpr WCHAR kDelimiter = u'/';
constexpr WCHAR kFileSystemRoot[] = u"/";
#endif

// A link at link to the folder target: a junction, else a symbolic link.
bool MakeFolderLink(const WideString& link, const WideString& target) {
#if defined(_WIN32)
    if (!MakeJunction(link, target))
#endif
    {
        std::error_code ignored;
        std::filesystem::create_directory_symlink(std::filesystem::path(target),
                                                  std::filesystem::path(link), ignored);
    }
    const DWORD attributes = GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool Exists(const WideString& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class FolderWalkTest : public ::testing::Test {
protected:
    WideString work;

    void SetUp() override {
        WCHAR temp[MAX_PATH] = {};
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        static int serial = 0;
        const std::string unique = "nomvera-walk-" + std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(++serial);
        work = WideString(temp) + WideString(unique.begin(), unique.end());
        ASSERT_TRUE(CreateDirectoryW(work.c_str(), nullptr));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(work), ignored);
    }

    WideString Path(const WideString& relative) const { return work + kDelimiter + relative; }
    void MakeFolder(const WideString& relative) {
        ASSERT_TRUE(CreateDirectoryW(Path(relative).c_str(), nullptr));
    }
    void MakeFile(const WideString& relative, bool readOnly = false) {
        const std::filesystem::path file(Path(relative));
        ASSERT_FALSE(std::filesystem::exists(file));
        ASSERT_TRUE(std::ofstream(file).good());
        if (readOnly) {
            ASSERT_TRUE(SetFileAttributesW(Path(relative).c_str(), FILE_ATTRIBUTE_READONLY));
        }
    }
};

// Every entry of an open folder but "." and "..", with its attributes.
std::vector<std::pair<WideString, DWORD>> Entries(HANDLE folder) {
    std::vector<std::pair<WideString, DWORD>> entries;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstWalkEntry(folder, &found);
    EXPECT_NE(search, INVALID_HANDLE_VALUE);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        const WideString name(found.cFileName);
        if (name != WIDE(".") && name != WIDE("..")) {
            entries.emplace_back(name, found.dwFileAttributes);
        }
    } while (FindNextWalkEntry(search, &found));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
    EXPECT_TRUE(CloseWalkSearch(search));
    EXPECT_FALSE(CloseWalkSearch(search));
    return entries;
}

// Empties an open folder as a tree removal does: attributes cleared, files
// and links deleted, folders entered, emptied and removed.
void EmptyFolder(HANDLE folder) {
    for (const auto& [name, attributes] : Entries(folder)) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        EXPECT_TRUE(SetWalkEntryAttributes(folder, name.c_str(), FILE_ATTRIBUTE_NORMAL));
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            EXPECT_TRUE(DeleteWalkFile(folder, name.c_str()));
            continue;
        }
        HANDLE sub = OpenWalkFolder(folder, name.c_str());
        ASSERT_NE(sub, INVALID_HANDLE_VALUE);
        EmptyFolder(sub);
        CloseHandle(sub);
        EXPECT_TRUE(RemoveWalkFolder(folder, name.c_str()));
    }
}

TEST_F(FolderWalkTest, RemovesATreeOfFoldersAndReadOnlyFiles) {
    MakeFolder(WIDE("tree"));
    MakeFile(WIDE("tree/top.txt"), true);
    MakeFolder(WIDE("tree/a"));
    MakeFile(WIDE("tree/a/one.dat"), true);
    MakeFolder(WIDE("tree/a/b"));
    MakeFile(WIDE("tree/a/b/two.dat"));
    MakeFolder(WIDE("tree/a/b/empty"));
    MakeFolder(WIDE("tree/c"));

    HANDLE tree = OpenWalkFolder(nullptr, Path(WIDE("tree")).c_str());
    ASSERT_NE(tree, INVALID_HANDLE_VALUE);
#if defined(_WIN32)
    EXPECT_FALSE(DeleteWalkFile(tree, WIDE("top.txt")));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED}); // read-only until the walk clears it
#endif
    EmptyFolder(tree);
    EXPECT_TRUE(Entries(tree).empty());
    CloseHandle(tree);
    EXPECT_TRUE(RemoveDirectoryW(Path(WIDE("tree")).c_str()));
}

TEST_F(FolderWalkTest, RefusesOtherNamesKindsAndRootsWithTheirCodes) {
    MakeFolder(WIDE("full"));
    MakeFile(WIDE("full/x"));
    MakeFile(WIDE("file"));
    HANDLE folder = OpenWalkFolder(nullptr, work.c_str());
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);

    const WideString nested = WideString(WIDE("full")) + kDelimiter + WIDE("x");
    for (const WCHAR* name : {WIDE(""), WIDE("."), WIDE(".."), WIDE("full/x"), nested.c_str()}) {
        EXPECT_EQ(OpenWalkFolder(folder, name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_NAME});
        EXPECT_FALSE(DeleteWalkFile(folder, name));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_NAME});
    }
    const struct {
        BOOL (*call)(HANDLE, LPCWSTR);
        const WCHAR* name;
        DWORD code;
    } refusals[] = {
        {DeleteWalkFile, WIDE("full"), ERROR_ACCESS_DENIED},
        {RemoveWalkFolder, WIDE("full"), ERROR_DIR_NOT_EMPTY},
        {RemoveWalkFolder, WIDE("file"), ERROR_DIRECTORY},
        {DeleteWalkFile, WIDE("gone"), ERROR_FILE_NOT_FOUND},
        {RemoveWalkFolder, WIDE("gone"), ERROR_FILE_NOT_FOUND},
    };
    for (const auto& refusal : refusals) {
        EXPECT_FALSE(refusal.call(folder, refusal.name));
        EXPECT_EQ(GetLastError(), refusal.code);
    }
    EXPECT_EQ(OpenWalkFolder(folder, WIDE("file")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DIRECTORY});
    EXPECT_TRUE(Exists(Path(WIDE("full/x"))));

    EXPECT_EQ(OpenWalkFolder(nullptr, kFileSystemRoot), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_TRUE(IsFileSystemRoot(kFileSystemRoot));
    EXPECT_FALSE(IsFileSystemRoot(work.c_str()));
    EXPECT_FALSE(IsFileSystemRoot(Path(WIDE("missing")).c_str()));

    // A seam refuses before the system is reached.
    struct TRefuseAll : TFolderChangeSeam {
        DWORD Intercept(const char*, const WideString&) override { return ERROR_WRITE_FAULT; }
    } refuse;
    SetFolderChangeSeam(&refuse);
    EXPECT_FALSE(DeleteWalkFile(folder, WIDE("file")));
    const DWORD refused = GetLastError();
    SetFolderChangeSeam(nullptr);
    EXPECT_EQ(refused, DWORD{ERROR_WRITE_FAULT});
    EXPECT_TRUE(Exists(Path(WIDE("file"))));
    CloseHandle(folder);
}

TEST_F(FolderWalkTest, NeverEntersALinkedFolderAndDeletesOnlyTheLink) {
    MakeFolder(WIDE("target"));
    MakeFile(WIDE("target/keep"));
    MakeFolder(WIDE("tree"));
    if (!MakeFolderLink(Path(WIDE("tree/link")), Path(WIDE("target")))) {
        GTEST_SKIP() << "no folder link can be made here (Wine 8 refuses a junction's reparse "
                        "data with 50 and its CreateSymbolicLinkW makes nothing)";
    }
    HANDLE tree = OpenWalkFolder(nullptr, Path(WIDE("tree")).c_str());
    ASSERT_NE(tree, INVALID_HANDLE_VALUE);
    const auto entries = Entries(tree);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_NE(entries[0].second & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_EQ(entries[0].second & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(OpenWalkFolder(tree, WIDE("link")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DIRECTORY});
    EXPECT_EQ(OpenWalkFolder(nullptr, Path(WIDE("tree/link")).c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DIRECTORY});
    EXPECT_FALSE(RemoveWalkFolder(tree, WIDE("link")));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DIRECTORY});

    EmptyFolder(tree);
    CloseHandle(tree);
    EXPECT_FALSE(Exists(Path(WIDE("tree/link"))));
    EXPECT_TRUE(Exists(Path(WIDE("target/keep"))));
}

} // namespace
} // namespace nomvera::platform
