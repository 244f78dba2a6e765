// A fresh sandbox system root with the account and profile services bound,
// and readers of the sandbox's account files.
#pragma once

#include "tests/batches/recording_batch_host.h"
#include "tests/common/sandbox_root.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace nomvera::test {

struct PasswdLine {
    std::string name;
    unsigned uid = 0;
    unsigned gid = 0;
    std::string gecos;
    std::string home;
};

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::optional<PasswdLine> User(const std::string& name) const;
    // The members listed for group in the sandbox's etc/group; nothing for a missing group.
    std::optional<std::vector<std::string>> GroupMembers(const std::string& group) const;
    std::string Home(const std::string& user) const { return root_ / ("home/" + user); }
    // The account files, the tool's registrations and group comments, and
    // every entry under home with its type, mode, owner, size and times: what
    // a run that changes nothing leaves exactly as it was.
    std::string SystemState() const;

    SandboxRoot root_;
    TRecordingBatchHost host;
};

// SystemMessageText of a code, for building expected lines.
std::string Message(unsigned code);

} // namespace nomvera::test
