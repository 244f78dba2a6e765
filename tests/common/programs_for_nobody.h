// Programs of the build that a test starts as the account nobody. The build
// folder may lie under a folder nobody cannot enter (a clone in a home
// folder of mode 0700, or under a mktemp -d folder), so the programs and
// every library of the build beside them are linked or copied into a fresh
// folder under the temporary folder, which nobody can enter. The programs
// find their libraries beside themselves ($ORIGIN).
#pragma once

#if !defined(_WIN32)

#include "tests/common/temp_folder.h"

#include <string>
#include <vector>

namespace nomvera::test {

class ProgramsForNobody {
public:
    // `programs`: names of programs (or of libraries nobody is to read)
    // beside the running test program.
    explicit ProgramsForNobody(const std::vector<std::string>& programs);

    // Empty when every program is there and nobody can start it; else a
    // sentence that says why not, for the test's skip message.
    const std::string& Problem() const { return problem_; }
    // The copy's folder, and the full path of one copied program or library.
    const std::string& Folder() const { return folder_.Path(); }
    std::string Path(const std::string& name) const { return folder_ / name; }

private:
    TempFolder folder_;
    std::string problem_;
};

} // namespace nomvera::test

// Skips the test with the helper's sentence when nobody cannot start the copies.
#define NOMVERA_SKIP_UNLESS_NOBODY_CAN_RUN(copies)                                                 \
    do {                                                                                           \
        if (!(copies).Problem().empty()) {                                                         \
            GTEST_SKIP() << (copies).Problem();                                                    \
        }                                                                                          \
    } while (false)

#endif
