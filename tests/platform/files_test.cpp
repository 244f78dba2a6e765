#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/folder_walk.h"
#include "platform/handles.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/private_files.h"
#include "platform/system_call.h"
#include "platform/wide_text.h"
#include "tests/common/scoped_environment.h"
#include "tests/common/temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using nomvera::test::TempFolder;
using nomvera::test::WriteTextFile;

WideString W(const std::string& text) {
    return WideString(text.begin(), text.end()); // test paths are ASCII
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

class FilesTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(mkdir((folder_ / "dir").c_str(), 0755), 0);
        WriteTextFile(folder_ / "file", "content");
        WriteTextFile(folder_ / "dir/inner", "content");
        ASSERT_EQ(symlink((folder_ / "dir").c_str(), (folder_ / "dirlink").c_str()), 0);
        ASSERT_EQ(symlink((folder_ / "file").c_str(), (folder_ / "filelink").c_str()), 0);
        ASSERT_EQ(symlink((folder_ / "gone").c_str(), (folder_ / "dangling").c_str()), 0);
    }
    WideString Path(const std::string& relative) const { return W(folder_ / relative); }

    TempFolder folder_{"platform-files"};
};

struct AttributeCase {
    const char* entry;
    DWORD attributes;
};

class AttributeMapping : public FilesTest, public testing::WithParamInterface<AttributeCase> {};

TEST_P(AttributeMapping, FollowsTheDocumentedTable) {
    EXPECT_EQ(GetFileAttributesW(Path(GetParam().entry).c_str()), GetParam().attributes);
    std::string narrow = folder_ / GetParam().entry;
    EXPECT_EQ(GetFileAttributesA(narrow.c_str()), GetParam().attributes);
}

INSTANTIATE_TEST_SUITE_P(Entries, AttributeMapping,
                         testing::Values(AttributeCase{"file", FILE_ATTRIBUTE_NORMAL},
                                         AttributeCase{"dir", FILE_ATTRIBUTE_DIRECTORY},
                                         AttributeCase{"dirlink", FILE_ATTRIBUTE_DIRECTORY |
                                                                      FILE_ATTRIBUTE_REPARSE_POINT},
                                         AttributeCase{"filelink", FILE_ATTRIBUTE_REPARSE_POINT},
                                         AttributeCase{"dangling", FILE_ATTRIBUTE_REPARSE_POINT}));

TEST_F(FilesTest, ReadOnlyIsTheMissingOwnerWriteBit) {
    ASSERT_EQ(chmod((folder_ / "file").c_str(), 0444), 0);
    ASSERT_EQ(chmod((folder_ / "dir").c_str(), 0555), 0);
    EXPECT_EQ(GetFileAttributesW(Path("file").c_str()), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(GetFileAttributesW(Path("dir").c_str()),
              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    chmod((folder_ / "dir").c_str(), 0755);
}

struct FailureCase {
    const char* entry;
    DWORD code;
};

class AttributeFailure : public FilesTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(AttributeFailure, GivesInvalidAttributesAndTheCode) {
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesW(Path(GetParam().entry).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Paths, AttributeFailure,
                         testing::Values(FailureCase{"missing", ERROR_FILE_NOT_FOUND},
                                         FailureCase{"dir/missing", ERROR_FILE_NOT_FOUND},
                                         FailureCase{"missing/x", ERROR_PATH_NOT_FOUND},
                                         FailureCase{"file/x", ERROR_PATH_NOT_FOUND}));

TEST_F(FilesTest, EmptyNullAndUnencodablePathsFail) {
    EXPECT_EQ(GetFileAttributesW(WIDE("")), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesW(nullptr), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    WideString lone = Path("x") + WCHAR(0xD800);
    EXPECT_EQ(GetFileAttributesW(lone.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
}

TEST_F(FilesTest, SetFileAttributesTogglesWriteBitsAndNeverGrantsOthers) {
    ASSERT_EQ(chmod((folder_ / "file").c_str(), 0640), 0);
    EXPECT_TRUE(SetFileAttributesW(Path("file").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ModeOf(folder_ / "file"), 0440u);
    EXPECT_TRUE(SetFileAttributesW(Path("file").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(ModeOf(folder_ / "file"), 0640u);
    EXPECT_TRUE(SetFileAttributesW(Path("file").c_str(), 0));
    EXPECT_EQ(ModeOf(folder_ / "file"), 0640u);
    ASSERT_EQ(chmod((folder_ / "dir").c_str(), 0555), 0);
    EXPECT_TRUE(SetFileAttributesW(Path("dir").c_str(), FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(ModeOf(folder_ / "dir"), 0755u);
}

TEST_F(FilesTest, SetFileAttributesLeavesALinksTargetAlone) {
    ASSERT_EQ(chmod((folder_ / "file").c_str(), 0644), 0);
    EXPECT_TRUE(SetFileAttributesW(Path("filelink").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ModeOf(folder_ / "file"), 0644u);
    EXPECT_FALSE(SetFileAttributesW(Path("missing").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FilesTest, CreateDirectoryReportsExistingAndMissingParents) {
    EXPECT_TRUE(CreateDirectoryW(Path("new").c_str(), nullptr));
    EXPECT_TRUE(Exists(folder_ / "new"));
    EXPECT_FALSE(CreateDirectoryW(Path("new").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryW(Path("file").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryW(Path("missing/new").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    std::string narrow = folder_ / "narrow";
    EXPECT_TRUE(CreateDirectoryA(narrow.c_str(), nullptr));
    EXPECT_TRUE(RemoveDirectoryA(narrow.c_str()));
}

TEST_F(FilesTest, RemoveDirectoryRemovesOnlyEmptyRealFolders) {
    EXPECT_FALSE(RemoveDirectoryW(Path("dir").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(RemoveDirectoryW(Path("dirlink").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_TRUE(Exists(folder_ / "dir/inner"));
    EXPECT_FALSE(RemoveDirectoryW(Path("file").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_FALSE(RemoveDirectoryW(Path("missing").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(unlink((folder_ / "dir/inner").c_str()), 0);
    EXPECT_TRUE(RemoveDirectoryW(Path("dir").c_str()));
    EXPECT_FALSE(Exists(folder_ / "dir"));
}

// The one errno table through the real calls, each made to fail with the
// errno of interest by the system-call seam: the context a call has decides
// what an errno means, and an interrupted call is made again.
TEST_F(FilesTest, FailedCallsGiveTheirContextsCodeAndInterruptedOnesAreRetried) {
    namespace seam = nomvera::platform::sys::test_seam;
    using nomvera::platform::sys::TCall;
    ASSERT_EQ(mkdir((folder_ / "empty").c_str(), 0700), 0);
    HANDLE walk = nomvera::platform::OpenWalkFolder(nullptr, W(folder_.Path()).c_str());
    ASSERT_NE(walk, INVALID_HANDLE_VALUE);
    const auto privateFile = [&](DWORD disposition) {
        nomvera::platform::TPrivateFileRefusal why{};
        DWORD detail = 0;
        const auto file = nomvera::platform::CreatePrivateFile(
            Path("private").c_str(), FILE_SHARE_READ, disposition, &why, &detail);
        nomvera::platform::ClosePrivateFile(file);
        return file != nomvera::platform::kNoPrivateFile;
    };
    const struct {
        const char* what;
        TCall call;
        int error;
        std::function<bool()> act;
        DWORD code; // 0: the call succeeds
    } cases[] = {
        // rmdir may say EEXIST for a folder that is not empty.
        {"RemoveDirectoryW", TCall::RemoveFolder, EEXIST,
         [&] { return RemoveDirectoryW(Path("empty").c_str()) != FALSE; }, ERROR_DIR_NOT_EMPTY},
        {"RemoveWalkFolder", TCall::RemoveFolder, EEXIST,
         [&] { return nomvera::platform::RemoveWalkFolder(walk, W("empty").c_str()) != FALSE; },
         ERROR_DIR_NOT_EMPTY},
        {"DeleteWalkFile", TCall::RemoveFile, EROFS,
         [&] { return nomvera::platform::DeleteWalkFile(walk, W("file").c_str()) != FALSE; },
         ERROR_ACCESS_DENIED},
        // A file that must be new: "the file exists", not "already exists".
        {"CreatePrivateFile", TCall::Open, EEXIST, [&] { return privateFile(CREATE_NEW); },
         ERROR_FILE_EXISTS},
        {"CreatePrivateFile", TCall::Open, ENOSPC, [&] { return privateFile(CREATE_NEW); },
         ERROR_DISK_FULL},
        {"CreatePrivateFile", TCall::Lock, EINTR, [&] { return privateFile(CREATE_NEW); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " errno " + std::to_string(c.error));
        seam::FailNext(c.call, 1, c.error);
        const bool done = c.act();
        seam::Reset();
        EXPECT_EQ(done, c.code == 0);
        if (c.code != 0) {
            EXPECT_EQ(GetLastError(), c.code);
        }
    }
    EXPECT_TRUE(Exists(folder_ / "empty")) << "a failed removal removed it";
    EXPECT_TRUE(Exists(folder_ / "private")) << "the retried opening made no file";
    CloseHandle(walk);
}

TEST_F(FilesTest, DeleteFileRemovesFilesAndLinksButNotFolders) {
    EXPECT_TRUE(DeleteFileW(Path("filelink").c_str()));
    EXPECT_FALSE(Exists(folder_ / "filelink"));
    EXPECT_TRUE(Exists(folder_ / "file"));
    EXPECT_TRUE(DeleteFileW(Path("dirlink").c_str()));
    EXPECT_TRUE(Exists(folder_ / "dir/inner"));
    EXPECT_FALSE(DeleteFileW(Path("dir").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteFileW(Path("file").c_str()));
    EXPECT_FALSE(DeleteFileW(Path("file").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// TMPDIR as given while it lives.
struct ScopedTmpdir : nomvera::test::TScopedEnvironment {
    explicit ScopedTmpdir(const std::optional<std::string>& value)
        : TScopedEnvironment("TMPDIR", value) {}
};

TEST(GetTempPath, FollowsWindowsReturnRules) {
    ScopedTmpdir tmpdir(std::string("/var/tmp/x"));
    char narrow[16];
    EXPECT_EQ(GetTempPathA(sizeof narrow, narrow), 11u); // "/var/tmp/x/"
    EXPECT_STREQ(narrow, "/var/tmp/x/");
    char small[11] = "unchanged";
    EXPECT_EQ(GetTempPathA(sizeof small, small), 12u); // size needed, NUL included
    EXPECT_STREQ(small, "unchanged");
    EXPECT_EQ(GetTempPathA(0, nullptr), 12u);
    WCHAR wide[16];
    EXPECT_EQ(GetTempPathW(16, wide), 11u);
    EXPECT_EQ(WideString(wide), WIDE("/var/tmp/x/"));
}

TEST(GetTempPath, RelativeOrEmptyTmpdirFallsBackToTmp) {
    for (std::optional<std::string> value :
         {std::optional<std::string>("relative"), std::optional<std::string>(""),
          std::optional<std::string>()}) {
        ScopedTmpdir tmpdir(value);
        char buffer[64];
        EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), 5u);
        EXPECT_STREQ(buffer, "/tmp/");
    }
}

TEST(GetModuleFileNameW, GivesTheExecutableAndCutsWhenTooSmall) {
    std::string expected = nomvera::posix::ExecutablePath();
    WCHAR buffer[1024];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 1024);
    ASSERT_EQ(n, expected.size());
    EXPECT_EQ(WideString(buffer), W(expected));

    WCHAR small[5];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WideString(small), W(expected.substr(0, 4)));

    HMODULE other = reinterpret_cast<HMODULE>(&n);
    EXPECT_EQ(GetModuleFileNameW(other, buffer, 1024), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
