#include "batches/group_list.h"

#include "accounts/netapi.h"
#include "tests/common/sandbox_root.h"

#include <gtest/gtest.h>

namespace nomvera::batches {
namespace {

using test::ReadTextFile;
using test::SandboxRoot;
using test::WriteTextFile;

std::vector<std::u16string> Names(const TGroupNameList& list) {
    std::vector<std::u16string> names;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        names.push_back(list[i]);
    }
    return names;
}

TEST(GroupNameList, KeepsInsertionOrderAndDuplicatesAndIgnoresCaseInLookUps) {
    TGroupNameList list;
    EXPECT_EQ(list.Add(u"zeta"), 0u);
    EXPECT_EQ(list.Add(u"Alpha"), 1u);
    EXPECT_EQ(list.Add(u"ALPHA"), 2u);
    EXPECT_EQ(Names(list), (std::vector<std::u16string>{u"zeta", u"Alpha", u"ALPHA"}));
    EXPECT_EQ(list.IndexOf(u"alpha"), 1);
    EXPECT_EQ(list.IndexOf(u"ZETA"), 0);
    EXPECT_EQ(list.IndexOf(u"alph"), -1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.IndexOf(u"zeta"), -1);
}

class EnumerateLocalGroupsTest : public ::testing::Test {
protected:
    void SetUp() override { accounts::LoadAccountService(); }
    void TearDown() override { accounts::UnloadAccountService(); }
    SandboxRoot root_;
};

TEST_F(EnumerateLocalGroupsTest, AppendsTheGroupsInTheOrderOfTheGroupFile) {
    WriteTextFile(root_ / "etc/group",
                  ReadTextFile(root_ / "etc/group") + "Ärzte:x:1500:\n" + "aardvark:x:1200:\n");
    TGroupNameList list;
    list.Add(u"kept");
    EnumerateLocalGroups(list);
    EXPECT_EQ(Names(list),
              (std::vector<std::u16string>{u"kept", u"root", u"sudo", u"users", u"tsusers",
                                           u"nogroup", u"Ärzte", u"aardvark"}));
}

TEST_F(EnumerateLocalGroupsTest, AddsNothingWithoutGroups) {
    WriteTextFile(root_ / "etc/group", "");
    TGroupNameList list;
    EnumerateLocalGroups(list);
    EXPECT_EQ(list.Count(), 0u);
}

TEST_F(EnumerateLocalGroupsTest, AddsNothingWhenTheAccountServiceIsMissing) {
    accounts::UnloadAccountService();
    accounts::LoadAccountService("no-such-netapi.dll");
    TGroupNameList list;
    EnumerateLocalGroups(list);
    EXPECT_EQ(list.Count(), 0u);
}

} // namespace
} // namespace nomvera::batches
