#include "platform/environment.h"
#include "platform/errors.h"
#include "platform/wide_text.h"
#include "tests/common/sandbox_root.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

class EnvironmentTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("NOMVERA_TEST_VALUE", "value", 1);
        setenv("NOMVERA_TEST_EMPTY", "", 1);
        if (const char* state = std::getenv("XDG_STATE_HOME")) {
            savedState_ = state;
            hadState_ = true;
        }
    }
    void TearDown() override {
        unsetenv("NOMVERA_TEST_VALUE");
        unsetenv("NOMVERA_TEST_EMPTY");
        hadState_ ? setenv("XDG_STATE_HOME", savedState_.c_str(), 1) : unsetenv("XDG_STATE_HOME");
    }
    std::string savedState_;
    bool hadState_ = false;
};

TEST_F(EnvironmentTest, FollowsWindowsReturnRules) {
    WCHAR buffer[16];
    EXPECT_EQ(GetEnvironmentVariableW(WIDE("NOMVERA_TEST_VALUE"), buffer, 16), 5u);
    EXPECT_EQ(WideString(buffer), WIDE("value"));
    WCHAR small[5] = WIDE("keep");
    EXPECT_EQ(GetEnvironmentVariableW(WIDE("NOMVERA_TEST_VALUE"), small, 5), 6u);
    EXPECT_EQ(WideString(small), WIDE("keep"));
    EXPECT_EQ(GetEnvironmentVariableW(WIDE("NOMVERA_TEST_VALUE"), nullptr, 0), 6u);

    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableW(WIDE("NOMVERA_TEST_UNSET"), buffer, 16), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    SetLastError(99);
    EXPECT_EQ(GetEnvironmentVariableW(WIDE("NOMVERA_TEST_EMPTY"), buffer, 16), 0u);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

TEST_F(EnvironmentTest, AppDataReadsTheXdgStateFolder) {
    setenv("XDG_STATE_HOME", "/somewhere/state", 1);
    WCHAR buffer[64];
    EXPECT_EQ(GetEnvironmentVariableW(WIDE("APPDATA"), buffer, 64), 16u);
    EXPECT_EQ(WideString(buffer), WIDE("/somewhere/state"));
    EXPECT_EQ(GetEnvironmentVariableW(WIDE("AppData"), buffer, 64), 16u);
    setenv("XDG_STATE_HOME", "relative/state", 1); // invalid by the XDG rules
    EXPECT_EQ(GetEnvironmentVariableW(WIDE("APPDATA"), buffer, 64), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(GetEnvironmentVariableW(WIDE("APPDATA"), buffer, 64), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
}

TEST(GetUserNameExW, GivesMachineBackslashUserWithWindowsSizeRules) {
    NOMVERA_SKIP_UNLESS_ROOT(); // the sandbox's user database knows only root
    nomvera::test::SandboxRoot root;
    WCHAR buffer[64];
    ULONG size = 64;
    ASSERT_TRUE(GetUserNameExW(NameSamCompatible, buffer, &size));
    EXPECT_EQ(WideString(buffer), WIDE("SANDBOX\\root"));
    EXPECT_EQ(size, 12u);

    size = 12; // one short: the NUL does not fit
    EXPECT_FALSE(GetUserNameExW(NameSamCompatible, buffer, &size));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    EXPECT_EQ(size, 13u);

    nomvera::test::WriteTextFile(root / "etc/hostname", "build-17.example.org\n");
    size = 64;
    ASSERT_TRUE(GetUserNameExW(NameSamCompatible, buffer, &size));
    EXPECT_EQ(WideString(buffer), WIDE("BUILD-17\\root"));

    size = 64;
    EXPECT_FALSE(GetUserNameExW(NameDisplay, buffer, &size));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

TEST(GetUserNameExW, UserMissingFromTheRootIsNoneMapped) {
    nomvera::test::SandboxRoot root;
    nomvera::test::WriteTextFile(root / "etc/passwd", "");
    WCHAR buffer[64];
    ULONG size = 64;
    EXPECT_FALSE(GetUserNameExW(NameSamCompatible, buffer, &size));
    EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
}

TEST(GetComputerNameW, IsTheShortUpperCaseHostName) {
    nomvera::test::SandboxRoot root;
    WCHAR buffer[32];
    DWORD size = 32;
    ASSERT_TRUE(GetComputerNameW(buffer, &size));
    EXPECT_EQ(WideString(buffer), WIDE("SANDBOX"));
    EXPECT_EQ(size, 7u);
    size = 7;
    EXPECT_FALSE(GetComputerNameW(buffer, &size));
    EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, 8u);
}

} // namespace
