// File input and output of the platform layer, with share modes held as locks.
#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/handles.h"
#include "tests/common/temp_folder.h"
#include "tests/log/log_file_reader.h"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace nomvera::test {
namespace {

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(Utf16(path).c_str(), access, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

TEST(FileIo, ReadsWritesSeeksAndCuts) {
    TempFolder folder;
    const std::string path = folder / "data";
    HANDLE file = Open(path, kReadWrite, FILE_SHARE_READ, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS); // it was not there
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "0123456789", 10, &done, nullptr));
    EXPECT_EQ(done, 10u);
    LARGE_INTEGER at{};
    at.QuadPart = 4;
    LARGE_INTEGER reached{};
    ASSERT_TRUE(SetFilePointerEx(file, at, &reached, FILE_BEGIN));
    EXPECT_EQ(reached.QuadPart, 4);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file, buffer, 3, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "456");
    EXPECT_TRUE(SetEndOfFile(file)); // at offset 7
    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, 7);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), 7u);
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 0u); // the end of the file is no failure
    at.QuadPart = -1;
    EXPECT_FALSE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ReadTextFile(path), "0123456");
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(FileIo, OpeningReportsMissingFilesAndFolders) {
    TempFolder folder;
    EXPECT_EQ(Open(folder / "none", kReadWrite, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(folder / "no/none", kReadWrite, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open(folder.Path(), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    WriteTextFile(folder / "there", "x");
    EXPECT_EQ(Open(folder / "there", kReadWrite, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    HANDLE existing = Open(folder / "there", kReadWrite, 0, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(existing);
    HANDLE readOnly = Open(folder / "there", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    DWORD done = 0;
    EXPECT_FALSE(WriteFile(readOnly, "y", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(readOnly);
}

TEST(FileIo, ADenyWriteShareModeShutsOutOtherWritersButNotReaders) {
    TempFolder folder;
    const std::string path = folder / "shared";
    WriteTextFile(path, "kept as it is");
    HANDLE writer = Open(path, kReadWrite, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);

    EXPECT_EQ(Open(path, kReadWrite, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    // A clash leaves the file alone, even for a creation that would empty it.
    EXPECT_EQ(Open(path, kReadWrite, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReadTextFile(path), "kept as it is");
    // A reader that lets others write gets in; one that would shut the writer out does not.
    HANDLE reader = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(reader);

    CloseHandle(writer);
    HANDLE next = Open(path, kReadWrite, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(next, INVALID_HANDLE_VALUE) << "the share mode went with the handle";
    CloseHandle(next);
}

TEST(FileIo, AnotherProcessHoldingTheFileShutsOutWritersUntilItEnds) {
    TempFolder folder;
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string program(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    program = program.substr(0, program.rfind('/') + 1) + "log_kill_child";
    std::string arg0 = program, arg1 = folder / "held.log", arg2 = "1";
    char* argv[] = {arg0.data(), arg1.data(), arg2.data(), nullptr};
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ), 0);
    const std::string held = folder / "held.utf8.log";
    for (int i = 0; i < 500 && ReadTextFile(held).size() < 100; ++i) {
        usleep(10000);
    }
    EXPECT_EQ(Open(held, kReadWrite, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    HANDLE after = Open(held, kReadWrite, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(after, INVALID_HANDLE_VALUE);
    CloseHandle(after);
}

} // namespace
} // namespace nomvera::test
