// Local and global groups through the binding and the stand-in library.
#include "tests/accounts/account_test_support.h"

namespace nomvera::test {
namespace {

using Groups = SandboxAccounts;

TEST_F(Groups, CreateEnumerateInFileOrderAndDelete) {
    ASSERT_EQ(AddLocalGroup(u"zeta001"), NERR_Success);
    ASSERT_EQ(AddLocalGroup(u"alpha001"), NERR_Success);
    std::vector<std::u16string> expected{u"root",    u"sudo",    u"users",   u"tsusers",
                                         u"nogroup", u"zeta001", u"alpha001"};
    EXPECT_EQ(LocalGroups(), expected);

    ASSERT_EQ(NetLocalGroupDel(nullptr, u"zeta001"), NERR_Success);
    expected.erase(expected.begin() + 5);
    EXPECT_EQ(LocalGroups(), expected);
    EXPECT_EQ(ReadTextFile(Root() / "etc/gshadow").find("zeta001"), std::string::npos);
}

TEST_F(Groups, ExistingAndMissingGroups) {
    ASSERT_EQ(AddLocalGroup(u"grp001"), NERR_Success);
    ASSERT_EQ(AddUser(u"test001", u"pass001"), NERR_Success);
    std::string before = Root().AccountFiles();
    EXPECT_EQ(AddLocalGroup(u"grp001"), ERROR_ALIAS_EXISTS);
    EXPECT_EQ(AddLocalGroup(u"test001"), NERR_UserExists) << "users and groups share one namespace";
    EXPECT_EQ(NetLocalGroupDel(nullptr, u"grp999"), NERR_GroupNotFound);
    EXPECT_EQ(AddMember(u"grp999", u"test001"), NERR_GroupNotFound);
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(Groups, MembersAreAddedOnce) {
    ASSERT_EQ(AddLocalGroup(u"grp001"), NERR_Success);
    ASSERT_EQ(AddUser(u"test001", u"pass001"), NERR_Success);
    ASSERT_EQ(AddMember(u"grp001", u"test001"), NERR_Success);
    EXPECT_NE(ReadTextFile(Root() / "etc/group").find("grp001:x:1000:test001\n"),
              std::string::npos);
    std::string before = Root().AccountFiles();
    EXPECT_EQ(AddMember(u"grp001", u"test001"), ERROR_MEMBER_IN_ALIAS);
    // A new account is in Users already, as on Windows: its primary group.
    EXPECT_EQ(AddMember(u"users", u"test001"), ERROR_MEMBER_IN_ALIAS);
    EXPECT_EQ(Root().AccountFiles(), before);
    ASSERT_EQ(AddMember(u"tsusers", u"test001"), NERR_Success);
    EXPECT_NE(ReadTextFile(Root() / "etc/group").find("tsusers:x:990:test001\n"),
              std::string::npos);
}

TEST_F(Groups, OnlyExistingUsersBecomeMembers) {
    ASSERT_EQ(AddLocalGroup(u"grp001"), NERR_Success);
    ASSERT_EQ(AddLocalGroup(u"grp002"), NERR_Success);
    std::string before = Root().AccountFiles();
    std::vector<BYTE> group = SidOf(u"grp002");
    LOCALGROUP_MEMBERS_INFO_0 member{group.data()};
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, u"grp001", 0, reinterpret_cast<LPBYTE>(&member), 1),
              ERROR_INVALID_MEMBER);
    PSID unknown = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-1732584193-4023233417-1732584193-9000", &unknown));
    member.lgrmi0_sid = unknown;
    EXPECT_EQ(NetLocalGroupAddMembers(nullptr, u"grp001", 0, reinterpret_cast<LPBYTE>(&member), 1),
              ERROR_NO_SUCH_MEMBER);
    LocalFree(unknown);
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(Groups, BuiltInGroupsAreNeverDeleted) {
    std::string before = Root().AccountFiles();
    for (const char16_t* name : {u"root", u"sudo", u"users", u"tsusers"}) {
        EXPECT_EQ(NetLocalGroupDel(nullptr, name), NERR_SpeGroupOp)
            << ::testing::PrintToString(std::u16string(name));
    }
    EXPECT_EQ(Root().AccountFiles(), before);
}

TEST_F(Groups, CommentIsKeptAndGivenBackByLevelOne) {
    ASSERT_EQ(AddLocalGroup(u"grp001"), NERR_Success);
    ASSERT_EQ(AddLocalGroup(u"grp002", u"another comment"), NERR_Success);
    LPBYTE block = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    ASSERT_EQ(NetLocalGroupEnum(nullptr, 1, &block, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
              NERR_Success);
    ASSERT_EQ(read, 7u);
    auto* groups = reinterpret_cast<LOCALGROUP_INFO_1*>(block);
    EXPECT_EQ(std::u16string(groups[5].lgrpi1_comment), kComment);
    EXPECT_EQ(std::u16string(groups[6].lgrpi1_comment), u"another comment");
    EXPECT_EQ(std::u16string(groups[0].lgrpi1_comment), u"");
    EXPECT_EQ(NetApiBufferFree(block), NERR_Success);

    ASSERT_EQ(NetLocalGroupDel(nullptr, u"grp001"), NERR_Success);
    ASSERT_EQ(AddLocalGroup(u"grp001", u""), NERR_Success);
    EXPECT_EQ(ReadTextFile(Root() / "var/lib/nomvera/group-comments"), "grp002\tanother comment\n")
        << "a deleted group's comment does not come back with a new group of its name";
}

TEST_F(Groups, SmallPreferredLengthGivesMoreDataAndResumes) {
    std::vector<std::u16string> names;
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
    EXPECT_EQ(names,
              (std::vector<std::u16string>{u"root", u"sudo", u"users", u"tsusers", u"nogroup"}));
}

TEST_F(Groups, GlobalGroupsNeedADomainController) {
    std::string before = Root().AccountFiles();
    std::u16string name = u"glob001";
    GROUP_INFO_1 record{name.data(), const_cast<LPWSTR>(kComment)};
    DWORD field = 0;
    EXPECT_EQ(NetGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&record), &field), NERR_NotPrimary);
    EXPECT_EQ(NetGroupDel(nullptr, name.c_str()), NERR_NotPrimary);
    EXPECT_EQ(Root().AccountFiles(), before);
}

} // namespace
} // namespace nomvera::test
