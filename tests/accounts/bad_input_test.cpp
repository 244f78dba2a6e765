// Input that the system must refuse, or must store without harm: each case
// gets a status code, and a refused one leaves the account files exactly as
// they were.
#include "tests/accounts/account_test_support.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/wide_text.h"

namespace nomvera::test {
namespace {

struct BadName {
    const char* label;
    WideString name;
};

class RefusedNames : public SandboxAccounts, public ::testing::WithParamInterface<BadName> {};

TEST_P(RefusedNames, AreRefusedForUsersAndGroupsWithFilesUnchanged) {
    const WideString& name = GetParam().name;
    std::string before = Root().AccountFiles();
    EXPECT_EQ(AddUser(name, WIDE("pass001")), NERR_BadUsername);
    EXPECT_EQ(AddLocalGroup(name), NERR_BadUsername);
    EXPECT_EQ(Root().AccountFiles(), before);
    EXPECT_FALSE(Exists(Root() / "var/lib/nomvera/group-comments"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedNames,
    ::testing::Values(BadName{"Colon", WIDE("test:001")}, BadName{"Slash", WIDE("te/st001")},
                      BadName{"Newline", WIDE("test\n001")},
                      BadName{"LeadingDash", WIDE("-test001")},
                      BadName{"TwoHundredCharacters", WideString(200, WIDE('a'))},
                      BadName{"NonAsciiLetters", WIDE("t\u00E9st\u00FC001")},
                      BadName{"Empty", WIDE("")}, BadName{"Dots", WIDE("..")},
                      BadName{"Blank", WIDE("test 001")}, BadName{"Comma", WIDE("te,st")}),
    [](const auto& row) { return std::string(row.param.label); });

using BadInput = SandboxAccounts;

TEST_F(BadInput, MissingNameOrRecordIsAnInvalidParameter) {
    std::string before = Root().AccountFiles();
    USER_INFO_1 record{};
    record.usri1_priv = USER_PRIV_USER;
    DWORD field = 0;
    EXPECT_EQ(NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&record), &field),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(field, USER_NAME_PARMNUM);
    EXPECT_EQ(NetUserDel(nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(NetLocalGroupDel(nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(BadInput, FieldsOutsideWhatWindowsAcceptsAreInvalidParameters) {
    std::string before = Root().AccountFiles();
    WideString name = WIDE("test001");
    WideString password = WIDE("pass001");
    WideString colonComment = WIDE("a:b");
    WideString loneSurrogate = WIDE("pass");
    loneSurrogate.push_back(static_cast<WCHAR>(0xD800));
    struct Case {
        DWORD priv;
        LPWSTR password;
        LPWSTR comment;
        DWORD field;
    } cases[] = {
        {USER_PRIV_ADMIN, password.data(), nullptr, USER_PRIV_PARMNUM},
        {USER_PRIV_USER, password.data(), colonComment.data(), USER_COMMENT_PARMNUM},
        {USER_PRIV_USER, loneSurrogate.data(), nullptr, USER_PASSWORD_PARMNUM},
    };
    for (const Case& c : cases) {
        USER_INFO_1 record{};
        record.usri1_name = name.data();
        record.usri1_password = c.password;
        record.usri1_priv = c.priv;
        record.usri1_comment = c.comment;
        DWORD field = 0;
        EXPECT_EQ(NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&record), &field),
                  ERROR_INVALID_PARAMETER);
        EXPECT_EQ(field, c.field);
    }
    EXPECT_EQ(Root().AccountFiles(), before);
}

// Windows takes any character in a password; it is only ever hashed, so a
// colon or a line break cannot reach the account files' structure.
TEST_F(BadInput, PasswordsWithColonOrNewlineAreHashedAndWork) {
    const WideString passwords[] = {WIDE("pa:ss:001"), WIDE("pass\n001"),
                                    WIDE("x:\nroot::0:0::/:/bin/sh")};
    int n = 1;
    for (const auto& password : passwords) {
        WideString name = WIDE("test00") + WideString(1, static_cast<WCHAR>(WIDE('0') + n++));
        ASSERT_EQ(AddUser(name, password), NERR_Success);
        HANDLE token = Logon(name, password);
        EXPECT_NE(token, nullptr);
        CloseHandle(token);
        ASSERT_EQ(SetPassword(name, password + WIDE("\n:")), NERR_Success);
        token = Logon(name, password + WIDE("\n:"));
        EXPECT_NE(token, nullptr);
        CloseHandle(token);
    }
    std::string passwd = ReadTextFile(Root() / "etc/passwd");
    EXPECT_EQ(std::count(passwd.begin(), passwd.end(), '\n'), 5) << passwd;
    EXPECT_EQ(passwd.find("root::0"), std::string::npos);
}

TEST_F(BadInput, NamesOfThingsThatCannotExistAreNotFound) {
    std::string before = Root().AccountFiles();
    EXPECT_EQ(NetUserDel(nullptr, WIDE("-r")), NERR_UserNotFound);
    EXPECT_EQ(NetUserDel(nullptr, WIDE("root\n")), NERR_UserNotFound);
    EXPECT_EQ(NetLocalGroupDel(nullptr, WIDE("--help")), NERR_GroupNotFound);
    EXPECT_EQ(Root().AccountFiles(), before);
}

} // namespace
} // namespace nomvera::test
