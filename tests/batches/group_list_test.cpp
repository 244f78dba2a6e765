#include "batches/group_list.h"

#include "accounts/netapi.h"
#include "platform/wide_text.h"
#include "tests/common/sandbox_root.h"

#include <gtest/gtest.h>

namespace nomvera::batches {
namespace {

using test::ReadTextFile;
using test::SandboxRoot;
using test::WriteTextFile;

std::vector<WideString> Names(const TGroupNameList& list) {
    std::vector<WideString> names;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        names.push_back(list[i]);
    }
    return names;
}

TEST(GroupNameList, KeepsInsertionOrderAndDuplicatesAndIgnoresCaseInLookUps) {
    TGroupNameList list;
    EXPECT_EQ(list.Add(WIDE("zeta")), 0u);
    EXPECT_EQ(list.Add(WIDE("Alpha")), 1u);
    EXPECT_EQ(list.Add(WIDE("ALPHA")), 2u);
    EXPECT_EQ(Names(list), (std::vector<WideString>{WIDE("zeta"), WIDE("Alpha"), WIDE("ALPHA")}));
    EXPECT_EQ(list.IndexOf(WIDE("alpha")), 1);
    EXPECT_EQ(list.IndexOf(WIDE("ZETA")), 0);
    EXPECT_EQ(list.IndexOf(WIDE("alph")), -1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.IndexOf(WIDE("zeta")), -1);
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
    list.Add(WIDE("kept"));
    EnumerateLocalGroups(list);
    EXPECT_EQ(Names(list), (std::vector<WideString>{WIDE("kept"), WIDE("root"), WIDE("sudo"),
                                                    WIDE("users"), WIDE("tsusers"), WIDE("nogroup"),
                                                    WIDE("Ärzte"), WIDE("aardvark")}));
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
