// nomvera-cli.exe, the command line's console program on Windows, run as a
// separate program (under Wine here): help, version and refusals as on
// Linux, and a run of the local-group batches. Wine's local-group calls
// are fakes that answer success and keep nothing, so the run asserts only
// the lines, the JSON and the status codes, never what a second run finds.
#include "tests/common/child_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nomvera::test {
namespace {

TChildResult RunCli(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {ProgramBesideTest("nomvera-cli")};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return RunProgram(all, true);
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(WindowsCommandLine, HelpVersionAndRefusalsAsOnLinux) {
    const TChildResult help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word :
         {"create-users", "delete-local-groups", "--password-file", "--output", "Exit status"}) {
        EXPECT_TRUE(Has(help.output, word)) << word;
    }
    const TChildResult version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "2.2.205.1\n");

    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"make-users"}, "nomvera: unknown command 'make-users'\n"},
        {{"create-users", "--prefix", "winu", "--password", "pw", "--count", "1"},
         "nomvera: --password is not taken: every account on the machine can read a command "
         "line; use --password-file FILE, or --password-file - for standard input\n"},
        {{"create-local-groups", "--prefix", "wing", "--count", "1000"},
         "nomvera: --count: '1000' is not a number from 1 to 999\n"},
    };
    for (const auto& [arguments, line] : refusals) {
        const TChildResult refused = RunCli(arguments);
        EXPECT_EQ(refused.exitCode, 2) << line;
        EXPECT_TRUE(refused.output.starts_with(line)) << refused.output;
    }
}

TEST(WindowsCommandLine, LocalGroupsComeAndGoWithTheLinuxLines) {
    const TChildResult created =
        RunCli({"create-local-groups", "--prefix", "winclig", "--count", "2", "--output", "json"});
    EXPECT_EQ(created.exitCode, 0) << created.output;
    // Wine's user is an administrator with a full token: no warning line.
    EXPECT_FALSE(Has(created.output, "not running as")) << created.output;
    EXPECT_TRUE(Has(created.output, "\"level\":\"info\",\"indent\":1,\"text\":\"Created Local "
                                    "group[winclig002]\",\"name\":\"winclig002\",\"status\":0}"))
        << created.output;
    EXPECT_TRUE(Has(created.output, "{\"type\":\"summary\",\"command\":\"create-local-groups\","
                                    "\"prefix\":\"winclig\",\"count\":2,\"done\":2,"))
        << created.output;
    EXPECT_TRUE(Has(created.output, "\"failed_steps\":0,\"exit_status\":0}\n"));

    const TChildResult deleted =
        RunCli({"delete-local-groups", "--prefix", "winclig", "--count", "2"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.output;
    EXPECT_TRUE(Has(deleted.output, "|I|Begin: Delete Local Groups\n"));
    EXPECT_TRUE(Has(deleted.output, "|I|.Deleted Local group[winclig001]\n"));
    EXPECT_TRUE(Has(deleted.output, "|I|.End: Delete Local Groups\n")) << deleted.output;
}

} // namespace
} // namespace nomvera::test
