// Local and global groups through the binding and the stand-in library.
#include "platform/wide_text.h"
#include "tests/accounts/account_test_support.h"

namespace nomvera::test {
namespace {

using Groups = SandboxAccounts;

TEST_F(Groups, CreateEnumerateInFileOrderAndDelete) {
    ASSERT_EQ(AddLocalGroup(WIDE("zeta001")), NERR_Success);
    ASSERT_EQ(AddLocalGroup(WIDE("alpha001")), NERR_Success);
    std::vector<WideString> expected{WIDE("root"),    WIDE("sudo"),    WIDE("users"),
                                     WIDE("tsusers"), WIDE("nogroup"), WIDE("zeta001"),
                                     WIDE("alpha001")};
    EXPECT_EQ(LocalGroups(), expected);

    ASSERT_EQ(NetLocalGroupDel(nullptr, WIDE("zeta001")), NERR_Success);
    expected.erase(expected.begin() + 5);
    EXPECT_EQ(LocalGroups(), expected);
    EXPECT_EQ(ReadTextFile(Root() / "etc/gshadow").find("zeta001"), std::string::npos);
}

TEST_F(Groups, ExistingAndMissingGroups) {
    ASSERT_EQ(AddLocalGroup(WIDE("grp001")), NERR_Success);
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    std::string before = Root().AccountFiles();
    EXPECT_EQ(AddLocalGroup(WIDE("grp001")), ERROR_ALIAS_EXISTS);
    EXPECT_EQ(AddLocalGroup(WIDE("test001")), NERR_UserExists)
        << "users and groups share one namespace";
    EXPECT_EQ(NetLocalGroupDel(nullptr, WIDE("grp999")), NERR_GroupNotFound);
    EXPECT_EQ(AddMember(WIDE("grp999"), WIDE("test001")), NERR_GroupNotFound);
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(Groups, MembersAreAddedOnce) {
    ASSERT_EQ(AddLocalGroup(WIDE("grp001")), NERR_Success);
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    ASSERT_EQ(AddMember(WIDE("grp001"), WIDE("test001")), NERR_Success);
    EXPECT_NE(ReadTextFile(Root() / "etc/group").find("grp001:x:1000:test001\n"),
              std::string::npos);
    std::string before = Root().AccountFiles();
    EXPECT_EQ(AddMember(WIDE("grp001"), WIDE("test001")), ERROR_MEMBER_IN_ALIAS);
    // A new account is in Users already, as on Windows: its primary group.
    EXPECT_EQ(AddMember(WIDE("users"), WIDE("test001")), ERROR_MEMBER_IN_ALIAS);
    EXPECT_EQ(Root().AccountFiles(), before);
    ASSERT_EQ(AddMember(WIDE("tsusers"), WIDE("test001")), NERR_Success);
    EXPECT_NE(ReadTextFile(Root() / "etc/group").find("tsusers:x:990:test001\n"),
              std::string::npos);
}

TEST_F(Groups, OnlyExistingUsersBecomeMembers) {
    ASSERT_EQ(AddLocalGroup(WIDE("grp001")), NERR_Success);
    ASSERT_EQ(AddLocalGroup(WIDE("grp002")), NERR_Success);
    std::string before = Root().AccountFiles();
    std::vector<BYTE> group = SidOf(WIDE("grp002"));
    LOCALGROUP_MEMBERS_INFO_0 member{group.data()};
    EXPECT_EQ(
        NetLocalGroupAddMembers(nullptr, WIDE("grp001"), 0, reinterpret_cast<LPBYTE>(&member), 1),
        ERROR_INVALID_MEMBER);
    PSID unknown = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-1732584193-4023233417-1732584193-9000", &unknown));
    member.lgrmi0_sid = unknown;
    EXPECT_EQ(
        NetLocalGroupAddMembers(nullptr, WIDE("grp001"), 0, reinterpret_cast<LPBYTE>(&member), 1),
        ERROR_NO_SUCH_MEMBER);
    LocalFree(unknown);
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(Groups, BuiltInGroupsAreNeverDeleted) {
    std::string before = Root().AccountFiles();
    for (const WCHAR* name : {WIDE("root"), WIDE("sudo"), WIDE("users"), WIDE("tsusers")}) {
        EXPECT_EQ(NetLocalGroupDel(nullptr, name), NERR_SpeGroupOp)
            << ::testing::PrintToString(WideString(name));
    }
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(Groups, CommentIsKeptAndGivenBackByLevelOne) {
    ASSERT_EQ(AddLocalGroup(WIDE("grp001")), NERR_Success);
    ASSERT_EQ(AddLocalGroup(WIDE("grp002"), WIDE("another comment")), NERR_Success);
    LPBYTE block = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    ASSERT_EQ(NetLocalGroupEnum(nullptr, 1, &block, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              NERR_Success);
    ASSERT_EQ(read, 7u);
    auto* groups = reinterpret_cast<LOCALGROUP_INFO_1*>(block);
    EXPECT_EQ(WideString(groups[5].lgrpi1_comment), kComment);
    EXPECT_EQ(WideString(groups[6].lgrpi1_comment), WIDE("another comment"));
    EXPECT_EQ(WideString(groups[0].lgrpi1_comment), WIDE(""));
    EXPECT_EQ(NetApiBufferFree(block), NERR_Success);

    ASSERT_EQ(NetLocalGroupDel(nullptr, WIDE("grp001")), NERR_Success);
    ASSERT_EQ(AddLocalGroup(WIDE("grp001"), WIDE("")), NERR_Success);
    EXPECT_EQ(ReadTextFile(Root() / "var/lib/nomvera/group-comments"), "grp002\tanother comment\n")
        << "a deleted group's comment does not come back with a new group of its name";
}

TEST_F(Groups, SmallPreferredLengthGivesMoreDataAndResumes) {
    std::vector<WideString> names;
    LPBYTE block = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    DWORD_PTR resume = 0;
    NET_API_STATUS status;
    int calls = 0;
    do {
        status = NetLocalGroupEnum(nullptr, 0, &block, 40, &read, &total, &resume);
        ASSERT_TRUE(status == NERR_Success || status == ERROR_MORE_DATA) << status;
        for (DWORD i = 0; i < read; ++i) {
            names.emplace_back(reinterpret_cast<LOCALGROUP_INFO_0*>(block)[i].lgrpi0_name);
        }
        NetApiBufferFree(block);
        ++calls;
    } while (status == ERROR_MORE_DATA && calls < 10);
    EXPECT_GT(calls, 1);
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(names, (std::vector<WideString>{WIDE("root"), WIDE("sudo"), WIDE("users"),
                                              WIDE("tsusers"), WIDE("nogroup")}));
}

TEST_F(Groups, GlobalGroupsNeedADomainController) {
    std::string before = Root().AccountFiles();
    WideString name = WIDE("glob001");
    GROUP_INFO_1 record{name.data(), const_cast<LPWSTR>(kComment)};
    DWORD field = 0;
    EXPECT_EQ(NetGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&record), &field), NERR_NotPrimary);
    EXPECT_EQ(NetGroupDel(nullptr, name.c_str()), NERR_NotPrimary);
    EXPECT_EQ(Root().AccountFiles(), before);
}

} // namespace
} // namespace nomvera::test
