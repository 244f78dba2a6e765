// The private opening of secret files and the user's private temporary
// folder, through the platform surface alone, on Linux and on Windows.
#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/private_files.h"
#include "platform/process.h"
#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <sddl.h>
#endif

namespace nomvera::platform {
namespace {

#if defined(_WIN32)
constexpr WCHAR kDelimiter = L'\\';
#else
constexpr WCHAR kDelimiter = u'/';
#endif

// Lets every account read the file: Everyone in its access list, the
// others' read bit on POSIX.
bool OpenToEveryone(const WideString& path) {
#if defined(_WIN32)
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;;FA;;;OW)(A;;FR;;;WD)", SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    const BOOL set = SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return set != FALSE;
#else
    std::error_code error;
    std::filesystem::permissions(std::filesystem::path(path), std::filesystem::perms::others_read,
                                 std::filesystem::perm_options::add, error);
    return !error;
#endif
}

class PrivateFilesTest : public ::testing::Test {
protected:
    WideString folder;
    TPrivateFileRefusal why = TPrivateFileRefusal::None;
    DWORD detail = 0;

    void SetUp() override {
        WCHAR buffer[1024] = {};
        const DWORD length = GetPrivateTempPath(1024, buffer);
        ASSERT_GT(length, 0u);
        ASSERT_EQ(buffer[length - 1], kDelimiter);
        const std::string unique = "private-" + std::to_string(GetCurrentProcessId());
        folder = WideString(buffer) + WideString(unique.begin(), unique.end());
        ASSERT_TRUE(CreatePrivateFolderTree((folder + kDelimiter + WIDE("a")).c_str()));
        folder += kDelimiter;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(folder), ignored);
    }
    // Opens name of the folder; true when a handle came back (then closed).
    bool Open(const WideString& name, DWORD disposition) {
        why = TPrivateFileRefusal::Link; // overwritten by every call
        const TPrivateFile file =
            CreatePrivateFile((folder + name).c_str(), FILE_SHARE_READ, disposition, &why, &detail);
        if (file == kNoPrivateFile) {
            return false;
        }
        ClosePrivateFile(file);
        return true;
    }
};

TEST_F(PrivateFilesTest, TheTemporaryFolderIsGivenByTheWindowsSizeRules) {
    WCHAR full[1024] = {};
    const DWORD length = GetPrivateTempPath(1024, full);
    WCHAR small[4] = {WIDE('x'), 0, 0, 0};
    EXPECT_EQ(GetPrivateTempPath(4, small), length + 1);
    EXPECT_EQ(small[0], WIDE('x'));
    const DWORD attributes = GetFileAttributesW(full);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(PrivateFilesTest, OpensOnlyTheUsersOwnFileWithOneName) {
    EXPECT_FALSE(Open(WIDE("log"), OPEN_EXISTING));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(why, TPrivateFileRefusal::None);
    ASSERT_TRUE(Open(WIDE("log"), CREATE_NEW));
    EXPECT_FALSE(Open(WIDE("log"), CREATE_NEW));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_EXISTS});
    EXPECT_EQ(why, TPrivateFileRefusal::None);
    EXPECT_TRUE(Open(WIDE("log"), OPEN_EXISTING));
    EXPECT_EQ(why, TPrivateFileRefusal::None);
    EXPECT_FALSE(Open(WIDE("log"), OPEN_ALWAYS));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

    const struct {
        const WCHAR* name;
        TPrivateFileRefusal refusal;
    } refused[] = {{WIDE("a"), TPrivateFileRefusal::NotRegularFile},
                   {WIDE("log"), TPrivateFileRefusal::OtherNames},
                   {WIDE("shared"), TPrivateFileRefusal::OpenToOthers}};
    std::error_code error;
    std::filesystem::create_hard_link(std::filesystem::path(folder + WIDE("log")),
                                      std::filesystem::path(folder + WIDE("second-name")), error);
    ASSERT_FALSE(error) << error.message();
    ASSERT_TRUE(Open(WIDE("shared"), CREATE_NEW));
    ASSERT_TRUE(OpenToEveryone(folder + WIDE("shared")));
    for (const auto& c : refused) {
        SCOPED_TRACE(std::string(WideStringView(c.name).begin(), WideStringView(c.name).end()));
        EXPECT_FALSE(Open(c.name, OPEN_EXISTING));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
        EXPECT_EQ(why, c.refusal);
    }
}

} // namespace
} // namespace nomvera::platform
