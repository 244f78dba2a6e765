// nomvera-cli.exe, the command line's console program on Windows, run as a
// separate program (under Wine here): help, version, refusals and a run of
// the local-group batches.
#include "tests/common/child_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nomvera::test {
namespace {

TChildResult RunCli(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), ProgramBesideTest("nomvera-cli"));
    return RunProgram(arguments, true);
}

TEST(WindowsProgram, PROBE) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--version"},
             {"create-local-groups", "--prefix", "winclig", "--count", "2", "--output", "json"},
             {"delete-local-groups", "--prefix", "winclig", "--count", "2"}}) {
        const TChildResult r = RunCli(args);
        std::printf("=== %s exit %d\n%s\n", args[0].c_str(), r.exitCode, r.output.c_str());
    }
}

} // namespace
} // namespace nomvera::test
