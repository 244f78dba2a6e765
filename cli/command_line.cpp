#include "cli/command_line.h"

#include "batches/batches.h"
#include "cli/check_users.h"
#include "form/batch_table.h"
#include "platform/wide_text.h"
#include "support/count_text.h"
#include "support/text.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace nomvera::cli {
namespace {

constexpr std::size_t kPrefixMinimum = 4;
// The window's name and password entries take at most 17 characters.
constexpr std::size_t kEntryMaximum = 17;

void CheckUsers(batches::TBatchHost& host, const TCommandRequest& request) {
    CheckUsersBatch(host, request.pamService);
}

// The window's batches, in its order, then check-users.
constexpr auto kCommands = [] {
    std::array<TCommand, form::kBatches.size() + 1> commands = {};
    for (std::size_t i = 0; i < form::kBatches.size(); ++i) {
        const form::TBatch& batch = form::kBatches[i];
        commands[i] = {batch.command,
                       batch.caption,
                       batch.run,
                       batch.target == form::TBatchTarget::Users,
                       batch.takesPassword,
                       batch.takesProfile,
                       nullptr,
                       batch.help};
    }
    commands.back() = {
        "check-users",
        WIDE("Check Users"),
        nullptr,
        true,
        false,
        false,
        &CheckUsers,
        "Log on as each user NAME001 ... with the password PREFIX001 ... through this machine's "
        "logon stack (PAM: authenticate, then account management); one line per user, \"Logon "
        "checked[NAME]\" or the stack's refusal. Not under a NOMVERA_SYSROOT other than this "
        "machine."};
    return commands;
}();

// The command's name and its own options, without those every batch or
// every command takes.
std::vector<std::string> UsageWords(const TCommand& command) {
    std::vector<std::string> words = {command.name, "--prefix NAME"};
    if (command.takesPassword || command.check != nullptr) {
        words.emplace_back("[--password-file FILE]");
    }
    words.emplace_back("--count N");
    if (command.takesPassword) {
        words.insert(words.end(),
                     {"[--group GROUP]...", "[--no-default-groups]", "[--credentials FILE]"});
    }
    if (command.takesProfile) {
        words.emplace_back("[--profile]");
    }
    if (command.check != nullptr) {
        words.emplace_back("[--pam-service NAME]");
    }
    return words;
}

// The words on lines of at most 78 characters; the first line starts with
// first, the others with indent (a word longer than a line gets one of its
// own).
std::string Wrapped(const std::vector<std::string>& words, const std::string& first,
                    const std::string& indent) {
    constexpr std::size_t kWidth = 78;
    std::string text = first;
    std::size_t lineStart = 0;
    for (const std::string& word : words) {
        if (text.size() > lineStart + indent.size() &&
            text.size() - lineStart + 1 + word.size() > kWidth) {
            text += "\n";
            lineStart = text.size();
            text += indent;
        }
        text += (text.back() == ' ' ? "" : " ") + word;
    }
    return text + "\n";
}

std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) {
            words.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return words;
}

std::string Synopsis(const TCommand& command) {
    std::string line = "Usage: nomvera";
    for (const std::string& word : UsageWords(command)) {
        line += " " + word;
    }
    if (command.check == nullptr) {
        line += " [--dry-run] [--ensure] [--pause MS] [--server HOST [--server-credentials FILE]]";
    }
    return line + " [--quiet] [--output text|json]";
}

constexpr char kGeneralHint[] =
    "Usage: nomvera [COMMAND OPTION...]; 'nomvera --help' lists the commands and options";

bool ValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

bool HasControlCharacter(WideStringView text) {
    for (const WCHAR c : text) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
            return true;
        }
    }
    return false;
}

// A text value checked for what every text option needs; the error names the option.
bool TextValue(const std::string& option, const std::string& value, WideString& out,
               std::string& error) {
    if (!ValidUtf8(value)) {
        error = option + ": the value is not valid UTF-8";
        return false;
    }
    out = support::WidenText(value);
    if (HasControlCharacter(out)) {
        error = option + ": the value holds a control character";
        return false;
    }
    return true;
}

std::string Shown(const std::string& text) {
    return support::NarrowText(support::ShownText(support::WidenText(text)));
}

bool ForUsers(const TCommand& command) {
    return command.takesPassword;
}
bool ForProfiles(const TCommand& command) {
    return command.takesProfile;
}
bool ForEvery(const TCommand&) {
    return true;
}
bool ForPasswords(const TCommand& command) {
    return command.takesPassword || command.check != nullptr;
}
bool ForBatches(const TCommand& command) {
    return command.check == nullptr;
}
bool ForChecks(const TCommand& command) {
    return command.check != nullptr;
}

std::string StorePrefix(TCommandRequest& request, const std::string& value) {
    std::string error;
    if (!TextValue("--prefix", value, request.prefix, error)) {
        return error;
    }
    if (request.prefix.size() < kPrefixMinimum || request.prefix.size() > kEntryMaximum) {
        return "--prefix: '" + value + "' is not 4 to 17 characters long";
    }
    return {};
}

std::string StorePasswordFile(TCommandRequest& request, const std::string& value) {
    if (value.empty()) {
        return "--password-file needs a value";
    }
    request.passwordFile = value;
    return {};
}

std::string StoreCount(TCommandRequest& request, const std::string& value) {
    const bool digits =
        !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
    const std::int32_t count = digits ? support::CountFromText(support::WidenText(value)) : 0;
    if (count < 1 || count > 999) {
        return "--count: '" + Shown(value) + "' is not a number from 1 to 999";
    }
    request.count = count;
    return {};
}

std::string StorePause(TCommandRequest& request, const std::string& value) {
    const bool digits = !value.empty() && value.size() <= 7 &&
                        value.find_first_not_of("0123456789") == std::string::npos;
    const long pause = digits ? std::stol(value) : -1;
    if (pause < 0 || pause > static_cast<long>(kLongestPause)) {
        return "--pause: '" + Shown(value) + "' is not a number of milliseconds from 0 to " +
               std::to_string(kLongestPause);
    }
    request.pause = static_cast<std::uint32_t>(pause);
    return {};
}

std::string StoreGroup(TCommandRequest& request, const std::string& value) {
    WideString group;
    std::string error;
    if (!TextValue("--group", value, group, error)) {
        return error;
    }
    if (group.empty()) {
        return "--group needs a value";
    }
    request.groups.push_back(group);
    return {};
}

std::string StoreCredentials(TCommandRequest& request, const std::string& value) {
    if (value.empty()) {
        return "--credentials needs a value";
    }
    request.credentialsPath = value;
    return {};
}

// A DNS name, an IPv4 address or a bracketed IPv6 address: what a host name
// may hold, never anything that could pass for an option or a path.
std::string StoreServer(TCommandRequest& request, const std::string& value) {
    constexpr std::size_t kMaxHostLength = 255;
    const bool usable =
        !value.empty() && value.size() <= kMaxHostLength && value.front() != '-' &&
        value.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_:[]") ==
            std::string::npos;
    if (!usable) {
        return "--server: '" + Shown(value) + "' is not a host name or address";
    }
    request.server = value;
    return {};
}

std::string StoreServerCredentials(TCommandRequest& request, const std::string& value) {
    if (value.empty()) {
        return "--server-credentials needs a value";
    }
    request.serverCredentialsPath = value;
    return {};
}

std::string StoreNoDefaultGroups(TCommandRequest& request, const std::string&) {
    request.defaultGroups = false;
    return {};
}
std::string StoreProfile(TCommandRequest& request, const std::string&) {
    request.profile = true;
    return {};
}
std::string StoreOutput(TCommandRequest& request, const std::string& value) {
    if (value != "text" && value != "json") {
        return "--output: '" + Shown(value) + "' is not text or json";
    }
    request.json = value == "json";
    return {};
}
std::string StoreQuiet(TCommandRequest& request, const std::string&) {
    request.quiet = true;
    return {};
}
std::string StoreDryRun(TCommandRequest& request, const std::string&) {
    request.dryRun = true;
    return {};
}
std::string StoreEnsure(TCommandRequest& request, const std::string&) {
    request.ensure = true;
    return {};
}

// A name of /etc/pam.d, never a path.
std::string StorePamService(TCommandRequest& request, const std::string& value) {
    const bool plain = !value.empty() && value.size() <= 64 && value[0] != '.' &&
                       value.find_first_not_of(
                           "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") ==
                           std::string::npos;
    if (!plain) {
        return "--pam-service: '" + Shown(value) +
               "' is not a service name (letters, digits, '.', '_' and '-')";
    }
    request.pamService = value;
    return {};
}

// Every option after the command. An option is checked in this order: it
// applies to the command, its value is there (or, for a flag, none is
// given with '='), it is not given twice, then its own check stores it.
// A new option is one row here, its store function, and its line in
// HelpText (and in Synopsis when the command's usage line should show it).
struct TOption {
    const char* name;
    const char* shortName; // nullptr: none
    bool takesValue;
    bool repeatable;                      // values only; flags may always repeat
    bool (*appliesTo)(const TCommand&);   // refused with every other command
    bool (*requiredFor)(const TCommand&); // nullptr: optional everywhere
    // Checks and stores the value; the error line, empty when it is accepted.
    std::string (*store)(TCommandRequest&, const std::string& value);
    // Not nullptr: the option is no longer taken, and this is the line that says why.
    const char* refusal = nullptr;
};

constexpr char kPasswordRefusal[] =
    "--password is not taken: every account on the machine can read a command line; "
    "use --password-file FILE, or --password-file - for standard input";

constexpr std::array<TOption, 16> kOptions = {{
    {"--prefix", nullptr, true, false, &ForEvery, &ForEvery, &StorePrefix},
    {"--password-file", nullptr, true, false, &ForPasswords, nullptr, &StorePasswordFile},
    {"--count", nullptr, true, false, &ForEvery, &ForEvery, &StoreCount},
    {"--group", nullptr, true, true, &ForUsers, nullptr, &StoreGroup},
    {"--credentials", nullptr, true, false, &ForUsers, nullptr, &StoreCredentials},
    {"--no-default-groups", nullptr, false, false, &ForUsers, nullptr, &StoreNoDefaultGroups},
    {"--profile", nullptr, false, false, &ForProfiles, nullptr, &StoreProfile},
    {"--pause", nullptr, true, false, &ForBatches, nullptr, &StorePause},
    {"--quiet", "-q", false, false, &ForEvery, nullptr, &StoreQuiet},
    {"--output", nullptr, true, false, &ForEvery, nullptr, &StoreOutput},
    {"--dry-run", "-n", false, false, &ForBatches, nullptr, &StoreDryRun},
    {"--ensure", nullptr, false, false, &ForBatches, nullptr, &StoreEnsure},
    {"--pam-service", nullptr, true, false, &ForChecks, nullptr, &StorePamService},
    {"--server", nullptr, true, false, &ForBatches, nullptr, &StoreServer},
    {"--server-credentials", nullptr, true, false, &ForBatches, nullptr, &StoreServerCredentials},
    {"--password", nullptr, true, false, &ForEvery, nullptr, nullptr, kPasswordRefusal},
}};

} // namespace

bool CheckPasswordPrefix(const std::string& source, const std::string& text, WideString& prefix,
                         std::string& error) {
    if (!TextValue(source, text, prefix, error)) {
        return false;
    }
    if (prefix.size() > kEntryMaximum) {
        error = source + ": the password prefix is longer than 17 characters";
        return false;
    }
    return true;
}

TParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    TParsedCommandLine parsed;
    auto fail = [&parsed](std::string error, std::string hint) {
        parsed.result = TParseResult::UsageError;
        parsed.error = std::move(error);
        parsed.hint = std::move(hint);
        return parsed;
    };
    if (arguments.size() < 2) {
        return fail("no command given", kGeneralHint);
    }
    const std::string& first = arguments[1];
    if (first == "--help" || first == "-h") {
        parsed.result = TParseResult::Help;
        return parsed;
    }
    if (first == "--version") {
        parsed.result = TParseResult::Version;
        return parsed;
    }
    const TCommand* command = nullptr;
    for (const TCommand& candidate : kCommands) {
        if (first == candidate.name) {
            command = &candidate;
        }
    }
    if (command == nullptr) {
        const std::string shown = Shown(first);
        return fail(first.rfind("-", 0) == 0 ? "unknown option '" + shown + "'"
                                             : "unknown command '" + shown + "'",
                    kGeneralHint);
    }
    const std::string hint = Synopsis(*command);
    TCommandRequest& request = parsed.request;
    request.command = command;

    std::array<bool, kOptions.size()> seen = {};
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        bool inlineValue = false;
        if (option.rfind("--", 0) == 0) {
            if (const std::size_t equals = option.find('='); equals != std::string::npos) {
                value = option.substr(equals + 1);
                option.resize(equals);
                inlineValue = true;
            }
        }
        if (option == "--help" || option == "-h") {
            parsed.result = TParseResult::Help;
            return parsed;
        }
        std::size_t index = 0;
        while (index < kOptions.size() && option != kOptions[index].name &&
               (kOptions[index].shortName == nullptr || option != kOptions[index].shortName)) {
            ++index;
        }
        if (index == kOptions.size()) {
            return fail(option.rfind("-", 0) == 0 ? "unknown option '" + Shown(option) + "'"
                                                  : "unexpected argument '" + Shown(option) + "'",
                        hint);
        }
        const TOption& row = kOptions[index];
        if (row.refusal != nullptr) {
            return fail(row.refusal, hint);
        }
        if (row.appliesTo != nullptr && !row.appliesTo(*command)) {
            return fail(option + " does not apply to " + command->name, hint);
        }
        if (row.takesValue) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) {
                    return fail(option + " needs a value", hint);
                }
                value = arguments[++i];
            }
            if (seen[index] && !row.repeatable) {
                return fail(option + " is given twice", hint);
            }
        } else if (inlineValue) {
            return fail(option + " takes no value", hint);
        }
        seen[index] = true;
        if (std::string error = row.store(request, value); !error.empty()) {
            return fail(error, hint);
        }
    }
    for (std::size_t index = 0; index < kOptions.size(); ++index) {
        const TOption& row = kOptions[index];
        if (!seen[index] && row.requiredFor != nullptr && row.requiredFor(*command)) {
            return fail(std::string(row.name) + " is missing", hint);
        }
    }
    if (!request.serverCredentialsPath.empty() && request.server.empty()) {
        return fail("--server-credentials needs --server", hint);
    }
    parsed.result = TParseResult::Run;
    return parsed;
}

constexpr char kHelpStart[] = R"(Usage: nomvera                 open the window (no arguments)
       nomvera COMMAND OPTION...
       nomvera --help | --version

Runs one batch of the window without the window (no display needed) and
prints every activity-log line on standard output, as the Logging page shows
it. The lines also go to the same log file as the window's.

Commands:
)";

constexpr char kHelpEnd[] = R"(
Options:
  --prefix NAME         name prefix, 4 to 17 characters
  --password-file FILE  create-users, check-users: the password prefix
                        (at most 17 characters) is the first line of FILE,
                        a regular file of your own that no other account
                        can read or change (mode 0600 or stricter, not a
                        link); - reads the line from standard input. A
                        password is never taken as an argument (--password
                        is refused): every account can read command lines.
  --count N             how many, 1 to 999
  --group GROUP         also join this local group; repeatable (create-users)
  --no-default-groups   do not join Users and Remote Desktop Users
  --profile             create-users: create each profile at once;
                        delete-users: delete each profile and its folder
  --credentials FILE    create-users: write name,password of every user
                        created to FILE, a new file of mode 0600 (an
                        existing file or link is refused)
  --pause MS            wait MS milliseconds (0 to 1000) after each user or
                        group, to spread the load; the window waits 50, the
                        command line by default not at all
  --dry-run, -n         change nothing: say per user or group what the
                        command would do and what stands in its way
  --ensure              what exists already (create) or is gone already
                        (delete) counts as done, with an info line
  --pam-service NAME    check-users: the PAM service (default login)
  --server HOST         every account-service call goes to HOST, a domain
                        controller's DNS name or address, instead of this
                        machine: the users and groups are the domain's
                        (a deletion is domain-wide). See docs/domain.md
  --server-credentials FILE
                        sign in to HOST with FILE's "username = NAME",
                        "password = SECRET" and "domain = DOMAIN" lines; a
                        regular file of your own (root's, as root), mode
                        0600, not a link. Kerberos when NAME is user@REALM
                        and HOST a DNS name. Without it, the Kerberos
                        ticket cache when there is one
  --quiet, -q           print only warning and error lines
  --output text|json    json: each line as one JSON object on its own line
                        (time, level, indent, text; name and status for a
                        line about one account or group of the series),
                        then one summary object with the counts and the
                        exit status; the log file is unchanged
  --help, -h            print this help and exit
  --version             print the program's file version and exit
  OPTION=VALUE is the same as OPTION VALUE.

Exit status:
  0    every step succeeded; with --dry-run: the command would succeed;
       with --ensure: the end state is the one asked for; check-users:
       every user could log on
  1    a step logged an error (the other steps still ran); a dry run
       found something in the way
  2    bad usage, or the command cannot start; nothing was changed
  129, 130, 143
       stopped by SIGHUP, SIGINT or SIGTERM after the current account
       (the End line is still logged)
)";

std::string HelpText() {
    std::string text = kHelpStart;
    for (const TCommand& command : kCommands) {
        const std::vector<std::string> usage = UsageWords(command);
        const std::string indent(2 + usage.front().size() + 1, ' ');
        text += Wrapped({usage.begin() + 1, usage.end()}, "  " + usage.front(), indent);
        text += Wrapped(Words(command.help), "      ", "      ");
        if (&command == &kCommands[form::kBatches.size() - 1]) {
            text += "  Each of these also takes [--dry-run] [--ensure] [--pause MS] and\n"
                    "  [--server HOST [--server-credentials FILE]].\n";
        }
    }
    return text + kHelpEnd;
}

} // namespace nomvera::cli
