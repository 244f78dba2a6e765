// A fresh system root for account tests: etc/passwd, shadow, group, gshadow
// with root and a few system groups (users 100, sudo 27, tsusers), the user
// nobody, login.defs, default/useradd, a skeleton folder, a machine id and an
// empty home folder. While the object lives, NOMVERA_SYSROOT names it; the
// previous value comes back when it goes away, and the folder is removed.
#pragma once

#include "tests/common/temp_folder.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace nomvera::test {

class SandboxRoot {
public:
    SandboxRoot();
    ~SandboxRoot();
    SandboxRoot(const SandboxRoot&) = delete;
    SandboxRoot& operator=(const SandboxRoot&) = delete;

    const std::string& Path() const { return folder_.Path(); }
    // Path() + "/" + relative (no leading "/" in relative).
    std::string operator/(const std::string& relative) const { return folder_ / relative; }
    // The whole content of etc/passwd, etc/shadow, etc/group and etc/gshadow,
    // to prove that a refused change left them byte-for-byte as they were.
    std::string AccountFiles() const;
    // What `pwck -r -R ROOT` and `grpck -r -R ROOT` report about the account
    // files, one line each, without the home folders and login programs that
    // a sandbox does not have. Empty when the files are sound.
    std::vector<std::string> AccountFileComplaints() const;
    // The profile list as its lines leave it, one line per SID in the order
    // the SIDs were first registered: a SID's last line in place of its
    // earlier ones, a "SID<tab>removed" line taking them away; an unfinished
    // last line is left out. "" when the file is missing or empty.
    std::string ProfileList() const;

private:
    TempFolder folder_;
    std::string previous_;
    bool hadPrevious_ = false;
};

inline bool RunningAsRoot() {
    return geteuid() == 0;
}

} // namespace nomvera::test

// Account changes through shadow-utils need root, even inside a sandbox root.
#define NOMVERA_SKIP_UNLESS_ROOT()                                                                 \
    do {                                                                                           \
        if (!::nomvera::test::RunningAsRoot())                                                     \
            GTEST_SKIP() << "needs root: shadow-utils change account files only as root";          \
    } while (0)
