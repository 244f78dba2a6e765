#include "accounts/netapi.h"
#include "batches/batches.h"
#include "tests/batches/batch_fixture.h"

#include <gtest/gtest.h>

namespace nomvera::test {
namespace {

using Transcript = std::vector<std::string>;
using Batch = void (*)(batches::TBatchHost&);

class GroupBatchTest : public BatchTest {
protected:
    void SetUp() override {
        NOMVERA_SKIP_UNLESS_ROOT();
        BatchTest::SetUp();
        host.name = u"grp";
    }
    Transcript Run(Batch batch, int count) {
        host.lines.clear();
        host.count = count;
        batch(host);
        return host.Transcript();
    }
};

TEST_F(GroupBatchTest, CreatesAndDeletesNumberedLocalGroups) {
    EXPECT_EQ(Run(batches::CreateLocalGroupsBatch, 1),
              (Transcript{"I Begin: Create Local Groups", "I Created Local group[grp001]",
                          "I End: Create Local Groups"}));
    // grp001 exists already: one error, then the next group.
    const Transcript second = Run(batches::CreateLocalGroupsBatch, 2);
    ASSERT_EQ(second.size(), 4u);
    EXPECT_EQ(second[1].rfind("E Error creating group[grp001] ", 0), 0u) << second[1];
    EXPECT_NE(second[1].find("[" + std::to_string(ERROR_ALIAS_EXISTS) + "]"), std::string::npos)
        << second[1];
    EXPECT_EQ(second[2], "I Created Local group[grp002]");
    ASSERT_TRUE(GroupMembers("grp002"));

    // grp003 does not exist.
    const Transcript deleted = Run(batches::DeleteLocalGroupsBatch, 3);
    ASSERT_EQ(deleted.size(), 5u);
    EXPECT_EQ(deleted[0], "I Begin: Delete Local Groups");
    EXPECT_EQ(deleted[1], "I Deleted Local group[grp001]");
    EXPECT_EQ(deleted[2], "I Deleted Local group[grp002]");
    EXPECT_EQ(deleted[3].rfind("E Error Local deleting group[grp003] ", 0), 0u) << deleted[3];
    EXPECT_EQ(deleted[4], "I End: Delete Local Groups");
    EXPECT_FALSE(GroupMembers("grp001"));
    EXPECT_FALSE(GroupMembers("grp002"));
    EXPECT_EQ(host.repaints, 1 + 2 + 3);
}

TEST_F(GroupBatchTest, GlobalGroupsNeedAPrimaryDomainController) {
    const std::string before = root_.AccountFiles();
    EXPECT_EQ(Run(batches::CreateGlobalGroupsBatch, 2),
              (Transcript{"I Begin: Create Global Groups",
                          "E Error creating Globalgroup[grp001] " + Message(NERR_NotPrimary),
                          "E Error creating Globalgroup[grp002] " + Message(NERR_NotPrimary),
                          "I End: Create Global Groups"}));
    EXPECT_EQ(Run(batches::DeleteGlobalGroupsBatch, 1),
              (Transcript{"I Begin: Delete Global Groups",
                          "E Error deleting Global group[grp001] " + Message(NERR_NotPrimary),
                          "I End: Delete Global Groups"}));
    EXPECT_EQ(root_.AccountFiles(), before);
}

TEST_F(GroupBatchTest, CountsOutsideOneTo999TouchNothing) {
    const std::string before = root_.AccountFiles();
    struct Case {
        Batch batch;
        const char* caption;
        const char* error;
    };
    const Case cases[] = {
        {batches::CreateLocalGroupsBatch, "Create Local Groups", "Can not do; no users to create: "},
        {batches::CreateGlobalGroupsBatch, "Create Global Groups",
         "Can not do; no Groups to create: "},
        {batches::DeleteLocalGroupsBatch, "Delete Local Groups", "Can not do; no Groups to delete: "},
        {batches::DeleteGlobalGroupsBatch, "Delete Global Groups",
         "Can not do; no Groups to delete: "},
    };
    for (const auto& c : cases) {
        for (int count : {0, 1000, -1}) {
            SCOPED_TRACE(std::string(c.caption) + " " + std::to_string(count));
            EXPECT_EQ(Run(c.batch, count),
                      (Transcript{std::string("I Begin: ") + c.caption,
                                  std::string("E ") + c.error + std::to_string(count),
                                  std::string("I End: ") + c.caption}));
        }
    }
    EXPECT_EQ(host.repaints, 0);
    EXPECT_EQ(root_.AccountFiles(), before);
}

TEST_F(GroupBatchTest, AMissingAccountServiceGives127) {
    accounts::UnloadAccountService();
    accounts::LoadAccountService("nomvera-no-such-library.dll");
    const Transcript created = Run(batches::CreateLocalGroupsBatch, 1);
    const Transcript deleted = Run(batches::DeleteGlobalGroupsBatch, 1);
    accounts::UnloadAccountService();
    accounts::LoadAccountService();
    EXPECT_EQ(created[1], "E Error creating group[grp001] " + Message(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(deleted[1], "E Error deleting Global group[grp001] " + Message(ERROR_PROC_NOT_FOUND));
}

TEST_F(GroupBatchTest, ClosingEmptiesTheRemainingPasses) {
    host.onProcessMessages = [this](int pass) {
        if (pass == 3) { // after grp002
            host.closing = true;
        }
    };
    EXPECT_EQ(Run(batches::CreateLocalGroupsBatch, 5),
              (Transcript{"I Begin: Create Local Groups", "I Created Local group[grp001]",
                          "I Created Local group[grp002]", "I End: Create Local Groups"}));
    EXPECT_FALSE(GroupMembers("grp003"));
}

} // namespace
} // namespace nomvera::test
