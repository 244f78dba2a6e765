// The command line as parsed, without running anything: what each accepted
// form stores, and the line each refusal names (the real program's refusals
// are in command_line_test.cpp).
#include "cli/command_line.h"
#include "form/batch_table.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nomvera::cli {
namespace {

TParsedCommandLine Parse(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"nomvera"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return ParseCommandLine(all);
}

TEST(CommandLineParse, StoresEveryOptionInEitherForm) {
    const TParsedCommandLine parsed =
        Parse({"create-users", "--prefix=kelp", "--password-file", "-", "--count=12", "--group",
               "a", "--group=b", "--no-default-groups", "--profile", "-q", "--credentials", "c.csv",
               "--pause=1000", "--server", "dc1.lab.test", "--server-credentials=lab.auth"});
    ASSERT_EQ(parsed.result, TParseResult::Run) << parsed.error;
    const TCommandRequest& request = parsed.request;
    EXPECT_STREQ(request.command->name, "create-users");
    EXPECT_EQ(support::NarrowText(request.prefix), "kelp");
    EXPECT_EQ(request.passwordFile, "-");
    EXPECT_EQ(request.count, 12);
    ASSERT_EQ(request.groups.size(), 2u);
    EXPECT_EQ(support::NarrowText(request.groups[1]), "b");
    EXPECT_FALSE(request.defaultGroups);
    EXPECT_TRUE(request.profile);
    EXPECT_TRUE(request.quiet);
    EXPECT_EQ(request.credentialsPath, "c.csv");
    EXPECT_EQ(request.pause, 1000u);
    EXPECT_EQ(Parse({"delete-users", "--prefix", "kelp", "--count", "1"}).request.pause, 0u)
        << "the command line has no window to let fill: no pause unless asked";

    const TParsedCommandLine flags =
        Parse({"delete-users", "--prefix", "kelp", "--count", "2", "-n", "--ensure"});
    ASSERT_EQ(flags.result, TParseResult::Run) << flags.error;
    EXPECT_TRUE(flags.request.dryRun && flags.request.ensure);
    const TParsedCommandLine check = Parse({"check-users", "--prefix", "kelp", "--count", "2",
                                            "--password-file=-", "--pam-service", "sshd"});
    ASSERT_EQ(check.result, TParseResult::Run) << check.error;
    EXPECT_EQ(check.request.passwordFile, "-");
    EXPECT_EQ(check.request.pamService, "sshd");
    EXPECT_FALSE(check.request.dryRun);
    EXPECT_EQ(request.server, "dc1.lab.test");
    EXPECT_EQ(request.serverCredentialsPath, "lab.auth");

    EXPECT_EQ(Parse({"--version"}).result, TParseResult::Version);
    EXPECT_EQ(Parse({"delete-users", "--prefix", "kelp", "-h"}).result, TParseResult::Help);
}

// Every batch of the window is a command, with the options its row gives it,
// a usage line and a paragraph of the help; no line of the help is too wide.
TEST(CommandLineParse, EveryBatchIsACommandWithItsOptionsAndHelp) {
    const std::string help = HelpText();
    for (const form::TBatch& batch : form::kBatches) {
        const std::string name = batch.command;
        const TParsedCommandLine parsed =
            Parse({name, "--prefix", "kelp", "--count", "3", "--profile", "--group", "g"});
        if (batch.takesPassword && batch.takesProfile) {
            ASSERT_EQ(parsed.result, TParseResult::Run) << parsed.error;
            EXPECT_EQ(parsed.request.command->batch, batch.run) << name;
            EXPECT_EQ(parsed.request.command->caption, WideStringView(batch.caption)) << name;
        } else {
            EXPECT_EQ(parsed.error, (batch.takesProfile ? "--group" : "--profile") +
                                        std::string(" does not apply to ") + name);
        }
        EXPECT_NE(help.find("\n  " + name + " --prefix NAME"), std::string::npos) << name;
        EXPECT_NE(help.find(std::string(batch.help).substr(0, 20)), std::string::npos) << name;
    }
    std::size_t start = 0;
    for (std::size_t end = help.find('\n'); end != std::string::npos;
         start = end + 1, end = help.find('\n', start)) {
        EXPECT_LE(end - start, 78u) << help.substr(start, end - start);
    }
}

TEST(CommandLineParse, RefusalsNameTheOption) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command given"},
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"delete-users", "--prefix", "kelp", "--prefix", "kelq", "--count", "1"},
         "--prefix is given twice"},
        {{"delete-users", "--prefix", "kelp", "--count", "1", "--quiet=yes"},
         "--quiet takes no value"},
        {{"delete-users", "--prefix", "kelp", "--count", "1", "stray"},
         "unexpected argument 'stray'"},
        {{"delete-users", "--prefix", "kelp", "--count", "1", "--group", "a"},
         "--group does not apply to delete-users"},
        {{"create-users", "--prefix", "kelp", "--count", "1", "--group="}, "--group needs a value"},
        {{"delete-users", "--prefix", "kelp", "--count", "1", "--password="},
         "--password is not taken: every account on the machine can read a command line; use "
         "--password-file FILE, or --password-file - for standard input"},
        {{"create-local-groups", "--prefix", "kel\xff", "--count", "1"},
         "--prefix: the value is not valid UTF-8"},
        {{"create-local-groups", "--count", "1"}, "--prefix is missing"},
        {{"delete-users", "--prefix", "kelp", "--count", "1", "--pause", "1001"},
         "--pause: '1001' is not a number of milliseconds from 0 to 1000"},
        {{"delete-users", "--prefix", "kelp", "--count", "1", "--pause=-1"},
         "--pause: '-1' is not a number of milliseconds from 0 to 1000"},
        {{"delete-local-groups", "--prefix", "kelp", "--count", "1", "--pause", "99999999"},
         "--pause: '99999999' is not a number of milliseconds from 0 to 1000"},
        {{"check-users", "--prefix", "kelp", "--count", "1", "--password-file", "f", "-n"},
         "-n does not apply to check-users"},
        {{"check-users", "--prefix", "kelp", "--count", "1", "--password-file", "f",
          "--pam-service", "../../tmp/x"},
         "--pam-service: '../../tmp/x' is not a service name (letters, digits, '.', '_' and '-')"},
        {{"create-local-groups", "--prefix", "kelp", "--count", "1", "--pam-service", "login"},
         "--pam-service does not apply to create-local-groups"},
        {{"delete-local-groups", "--prefix", "kelp", "--count", "1", "--server", "-x"},
         "--server: '-x' is not a host name or address"},
        {{"delete-local-groups", "--prefix", "kelp", "--count", "1", "--server", "dc/../x"},
         "--server: 'dc/../x' is not a host name or address"},
        {{"delete-local-groups", "--prefix", "kelp", "--count", "1", "--server-credentials", "f"},
         "--server-credentials needs --server"},
    };
    for (const auto& [arguments, error] : cases) {
        const TParsedCommandLine parsed = Parse(arguments);
        EXPECT_EQ(parsed.result, TParseResult::UsageError) << error;
        EXPECT_EQ(parsed.error, error);
        EXPECT_TRUE(parsed.hint.starts_with("Usage: nomvera ")) << parsed.hint;
    }
}

TEST(CommandLineParse, PasswordPrefixIsCheckedAsTheWindowTakesIt) {
    WideString prefix;
    std::string error;
    EXPECT_TRUE(CheckPasswordPrefix("f", "", prefix, error));
    EXPECT_TRUE(CheckPasswordPrefix("f", "12345678901234567", prefix, error));
    EXPECT_FALSE(CheckPasswordPrefix("f", "123456789012345678", prefix, error));
    EXPECT_EQ(error, "f: the password prefix is longer than 17 characters");
    EXPECT_FALSE(CheckPasswordPrefix("f", "p\x1b[2J", prefix, error));
    EXPECT_EQ(error, "f: the value holds a control character");
}

} // namespace
} // namespace nomvera::cli
