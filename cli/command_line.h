// The command-line front end: the six batches without the window, for
// scripted set-ups. Parsing is kept apart from running, so that a bad option
// is refused before anything is touched.
#pragma once

#include "batches/batch_host.h"
#include "platform/wide_text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nomvera::cli {

// Exit statuses of command mode.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitStepFailed = 1;
inline constexpr int kExitUsage = 2;

struct TCommandRequest;

// A command: one per batch of form::kBatches, then those of the command
// line alone.
struct TCommand {
    const char* name = nullptr;     // "create-users"
    const WCHAR* caption = nullptr; // the batch button's caption
    void (*batch)(batches::TBatchHost&) = nullptr;
    bool users = false;         // counts accounts (else groups) in the progress line
    bool takesPassword = false; // --password-file, --group, --no-default-groups, --credentials
    bool takesProfile = false;  // --profile
    // A command of the command line only (check-users), run instead of batch;
    // it takes --password-file and --pam-service, and neither --dry-run nor
    // --ensure.
    void (*check)(batches::TBatchHost&, const TCommandRequest&) = nullptr;
    const char* help = nullptr; // what --help says it does, below its usage
};

struct TCommandRequest {
    const TCommand* command = nullptr;
    WideString prefix;
    WideString password; // read after parsing (ReadPasswordPrefix), never from an argument
    // --password-file: "-" for standard input; empty: asked for on the terminal.
    std::string passwordFile;
    std::int32_t count = 0;
    std::vector<WideString> groups; // each --group, in the order given
    bool defaultGroups = true;
    bool profile = false;
    bool quiet = false;
    bool json = false;           // --output json: one JSON object per line
    std::string credentialsPath; // empty: none
    std::uint32_t pause = 0;     // --pause: milliseconds after each account or group
    bool dryRun = false;         // --dry-run, -n
    bool ensure = false;         // --ensure
    std::string pamService = "login";
    // --server: the machine whose account service every call uses (a domain
    // controller's DNS name or address); empty: this machine.
    std::string server;
    std::string serverCredentialsPath; // --server-credentials; empty: none
};

// The longest --pause, in milliseconds.
inline constexpr std::uint32_t kLongestPause = 1000;

enum class TParseResult { Run, Help, Version, UsageError };

struct TParsedCommandLine {
    TParseResult result = TParseResult::UsageError;
    TCommandRequest request;
    // UsageError: the one line naming the bad option or value, and the
    // usage hint (the command's synopsis when the command is known).
    std::string error;
    std::string hint;
};

// argv[0] is the program; argv[1] onwards are parsed. Never touches the system.
TParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The password prefix read from source (named in the error): valid UTF-8,
// no control character, at most 17 characters, as the window's entry takes it.
bool CheckPasswordPrefix(const std::string& source, const std::string& text, WideString& prefix,
                         std::string& error);

// Every command, option and exit status, as --help prints it.
std::string HelpText();

// Runs command mode to its exit status: no window, no display needed.
int RunCommandLine(int argc, char** argv);

} // namespace nomvera::cli
