// Profiles: the home folder made from the skeleton, found through a logon,
// deleted by SID after the account is gone, and the folders that must never
// be reported or removed.
#include "tests/accounts/account_test_support.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/posix/services/standin_services.h"
#include "platform/userenv.h"
#include "platform/wide_text.h"

#include <unistd.h>

namespace nomvera::test {
namespace {

namespace stand_in = nomvera::posix;

constexpr HRESULT kProfileExists = static_cast<HRESULT>(0x800700B7);

class Profiles : public SandboxAccounts {
protected:
    void SetUp() override {
        SandboxAccounts::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
        sid_ = SidTextOf(WIDE("test001"));
        wideSid_.assign(sid_.begin(), sid_.end());
    }

    HRESULT Create(WideString* path = nullptr) {
        WCHAR buffer[260] = {};
        HRESULT result = stand_in::CreateProfile(wideSid_.c_str(), WIDE("test001"), buffer, 260);
        if (path != nullptr) {
            *path = buffer;
        }
        return result;
    }

    // The profile folder of a logon of test001, or "" and the code.
    WideString ProfileOfLogon(DWORD* code = nullptr) {
        HANDLE token = Logon(WIDE("test001"), WIDE("pass001"));
        EXPECT_NE(token, nullptr);
        WCHAR buffer[260] = {};
        DWORD size = 260;
        SetLastError(0);
        BOOL ok = GetUserProfileDirectoryW(token, buffer, &size);
        if (code != nullptr) {
            *code = GetLastError();
        }
        CloseHandle(token);
        return ok ? WideString(buffer) : WideString();
    }

    BOOL Delete(DWORD* code = nullptr) {
        SetLastError(0);
        BOOL ok = stand_in::DeleteProfile(wideSid_.c_str(), nullptr, nullptr);
        if (code != nullptr) {
            *code = GetLastError();
        }
        return ok;
    }

    WideString Wide(const std::string& text) const { return WideString(text.begin(), text.end()); }
    WideString Home() const { return Wide(Root() / "home/test001"); }

    std::string sid_;
    WideString wideSid_;
};

TEST_F(Profiles, ProfilesRootIsReportedInsideTheSystemRoot) {
    WCHAR buffer[260] = {};
    DWORD size = 260;
    ASSERT_TRUE(GetProfilesDirectoryW(buffer, &size));
    EXPECT_EQ(WideString(buffer), Wide(Root() / "home"));
    DWORD small = 3;
    EXPECT_FALSE(GetProfilesDirectoryW(buffer, &small));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small, (Root() / "home").size() + 1);
}

TEST_F(Profiles, CreateMakesTheHomeFromTheSkeletonOwnedByTheAccount) {
    WideString path;
    ASSERT_EQ(Create(&path), 0);
    EXPECT_EQ(path, Home());
    struct stat home {};
    ASSERT_EQ(lstat((Root() / "home/test001").c_str(), &home), 0);
    EXPECT_EQ(home.st_uid, 1000u);
    EXPECT_EQ(home.st_gid, 100u);
    EXPECT_EQ(home.st_mode & 07777, 0700u) << "HOME_MODE of login.defs";
    struct stat profile {};
    ASSERT_EQ(lstat((Root() / "home/test001/.profile").c_str(), &profile), 0);
    EXPECT_EQ(profile.st_uid, 1000u);
    EXPECT_EQ(profile.st_mode & 07777, 0644u);
    EXPECT_EQ(ReadTextFile(Root() / "home/test001/.profile"), "# sandbox skeleton profile\n");
    EXPECT_EQ(ProfileOfLogon(), Home());
}

TEST_F(Profiles, SecondCreateReportsTheExistingProfileAndChangesNothing) {
    ASSERT_EQ(Create(), 0);
    WriteTextFile(Root() / "home/test001/.profile", "changed by the account\n");
    std::string list = Root().ProfileList();
    WideString path;
    EXPECT_EQ(Create(&path), kProfileExists);
    EXPECT_EQ(path, Home());
    EXPECT_EQ(ReadTextFile(Root() / "home/test001/.profile"), "changed by the account\n");
    EXPECT_EQ(Root().ProfileList(), list);
}

TEST_F(Profiles, ExistingFolderOfNobodysProfileIsNotTakenOver) {
    ASSERT_EQ(mkdir((Root() / "home/test001").c_str(), 0755), 0);
    WriteTextFile(Root() / "home/test001/keep", "someone's\n");
    EXPECT_EQ(Create(), kProfileExists);
    EXPECT_EQ(ReadTextFile(Root() / "home/test001/keep"), "someone's\n");
    EXPECT_FALSE(Exists(Root() / "var/lib/nomvera/profiles"));
    DWORD code = 0;
    EXPECT_EQ(ProfileOfLogon(&code), WIDE("")) << "root owns it, not the account";
    EXPECT_EQ(code, ERROR_FILE_NOT_FOUND);
}

TEST_F(Profiles, DeleteAfterTheAccountIsGoneRemovesFolderAndRegistration) {
    ASSERT_EQ(Create(), 0);
    ASSERT_EQ(mkdir((Root() / "home/test001/sub").c_str(), 0500), 0);
    WriteTextFile(Root() / "outside", "stays\n");
    ASSERT_EQ(symlink((Root() / "outside").c_str(), (Root() / "home/test001/link").c_str()), 0);
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);
    ASSERT_TRUE(Delete());
    EXPECT_FALSE(Exists(Root() / "home/test001"));
    EXPECT_EQ(ReadTextFile(Root() / "outside"), "stays\n") << "a link is removed, never followed";
    EXPECT_EQ(Root().ProfileList(), "");
    DWORD code = 0;
    EXPECT_FALSE(Delete(&code));
    EXPECT_EQ(code, ERROR_FILE_NOT_FOUND);
}

TEST_F(Profiles, UnknownSidHasNoProfile) {
    DWORD code = 0;
    EXPECT_FALSE(Delete(&code));
    EXPECT_EQ(code, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ProfileOfLogon(&code), WIDE("")) << "never created";
    EXPECT_EQ(code, ERROR_FILE_NOT_FOUND);
}

TEST_F(Profiles, FolderReplacedByALinkIsNeitherReportedNorRemoved) {
    ASSERT_EQ(Create(), 0);
    ASSERT_EQ(rename((Root() / "home/test001").c_str(), (Root() / "elsewhere").c_str()), 0);
    ASSERT_EQ(symlink((Root() / "elsewhere").c_str(), (Root() / "home/test001").c_str()), 0);
    DWORD code = 0;
    EXPECT_EQ(ProfileOfLogon(&code), WIDE(""));
    EXPECT_EQ(code, ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);
    EXPECT_FALSE(Delete(&code));
    EXPECT_EQ(code, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Exists(Root() / "elsewhere/.profile"));
    EXPECT_TRUE(Exists(Root() / "home/test001"));
}

TEST_F(Profiles, FolderThatTheAccountDoesNotOwnIsNeitherReportedNorRemoved) {
    ASSERT_EQ(Create(), 0);
    ASSERT_EQ(chown((Root() / "home/test001").c_str(), 0, 0), 0);
    DWORD code = 0;
    EXPECT_EQ(ProfileOfLogon(&code), WIDE(""));
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);
    EXPECT_FALSE(Delete(&code));
    EXPECT_EQ(code, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Exists(Root() / "home/test001/.profile"));
}

TEST_F(Profiles, HomeOutsideTheProfilesRootIsNeverMadeNorReported) {
    for (const char* home : {"/", "/home", "/etc", "/home/../etc", "/nonexistent"}) {
        ReplaceLine("etc/passwd",
                    "test001:", std::string("test001:x:1000:100::") + home + ":/bin/sh");
        std::string before = ReadTextFile(Root() / "etc/passwd");
        EXPECT_EQ(Create(), static_cast<HRESULT>(0x80070005)) << home;
        DWORD code = 0;
        EXPECT_EQ(ProfileOfLogon(&code), WIDE("")) << home;
        EXPECT_EQ(code, ERROR_FILE_NOT_FOUND) << home;
    }
    EXPECT_FALSE(Exists(Root() / "var/lib/nomvera/profiles"));
    EXPECT_EQ(ReadTextFile(Root() / "etc/skel/.profile"), "# sandbox skeleton profile\n");
}

TEST_F(Profiles, HomeOfAnotherAccountIsNotReported) {
    ASSERT_EQ(AddUser(WIDE("test002"), WIDE("pass002")), NERR_Success);
    ASSERT_EQ(Create(), 0);
    ReplaceLine("etc/passwd", "test002:", "test002:x:1001:100::/home/test001:/bin/sh");
    HANDLE token = Logon(WIDE("test002"), WIDE("pass002"));
    ASSERT_NE(token, nullptr);
    WCHAR buffer[260] = {};
    DWORD size = 260;
    EXPECT_FALSE(GetUserProfileDirectoryW(token, buffer, &size));
    CloseHandle(token);
}

TEST_F(Profiles, TooSmallPathBufferMakesNothing) {
    WCHAR buffer[8] = {};
    EXPECT_EQ(stand_in::CreateProfile(wideSid_.c_str(), WIDE("test001"), buffer, 8),
              static_cast<HRESULT>(0x8007007A));
    EXPECT_FALSE(Exists(Root() / "home/test001"));
    EXPECT_EQ(stand_in::CreateProfile(wideSid_.c_str(), WIDE("test002"), nullptr, 0),
              static_cast<HRESULT>(0x80070057))
        << "the name must be the SID's account";
}

} // namespace
} // namespace nomvera::test
