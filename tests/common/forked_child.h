// Forked children for tests that need a second process: one that runs a
// piece of test code (as root, or under another uid), and one that stays
// alive as another uid until the test lets it go.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

namespace nomvera::test {

// Runs body in a forked child and gives its exit code; -1 when the child did
// not exit normally. The child never returns into the test: 122 when body
// threw.
int RunInChild(const std::function<int()>& body);

// The same, after the child dropped to uid and gid (no supplementary groups);
// 120 when dropping the rights failed.
int RunAsUid(uid_t uid, gid_t gid, const std::function<int()>& body);

// A process whose real, effective and saved uid is uid, waiting until the
// object goes away (or Stop() is called); the test's handle on "the account
// still has a process running". With a working folder it works there.
class ProcessOfUid {
public:
    ProcessOfUid(uid_t uid, gid_t gid, const std::string& workingFolder = {});
    ~ProcessOfUid();
    ProcessOfUid(const ProcessOfUid&) = delete;
    ProcessOfUid& operator=(const ProcessOfUid&) = delete;

    bool Running() const { return pid_ > 0; }
    void Stop();

private:
    pid_t pid_ = -1;
    int release_ = -1; // closing it lets the child end
};

} // namespace nomvera::test
