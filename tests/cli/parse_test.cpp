// The command line as parsed, without running anything: what each accepted
// form stores, and the line each refusal names (the real program's refusals
// are in command_line_test.cpp).
#include "cli/command_line.h"
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
               "--pause=1000"});
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

    EXPECT_EQ(Parse({"--version"}).result, TParseResult::Version);
    EXPECT_EQ(Parse({"delete-users", "--prefix", "kelp", "-h"}).result, TParseResult::Help);
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
