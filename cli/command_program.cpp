// Command mode from start to exit status. The order matters: everything that
// can refuse the command (options, the profile service, the groups named,
// the credentials file) is checked before the log file is opened or any
// account is touched, so a refusal changes nothing.
#include "accounts/account_server.h"
#include "accounts/admin_check.h"
#include "accounts/profile_service.h"
#include "batches/group_list.h"
#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/console_host.h"
#include "cli/logon/logon_check.h"
#include "cli/password_input.h"
#include "form/activity_line.h"
#include "form/start_up.h"
#include "log/diagnostic_log.h"
#include "log/log_location.h"
#include "platform/wide_text.h"
#include "support/files.h"
#include "support/text.h"

#if !defined(_WIN32)
#include "platform/posix/services/account_credentials.h"
#endif

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <string_view>

namespace nomvera::cli {
namespace {

enum : int { kStandardOutput = 1, kStandardError = 2 };

void PrintTo(int stream, const std::string& text) {
    WriteStream(stream == kStandardOutput ? TStream::Output : TStream::Error, text);
}

int Refuse(const std::string& error, const std::string& hint = {}) {
    PrintTo(kStandardError, "nomvera: " + error + "\n" + (hint.empty() ? "" : hint + "\n"));
    return kExitUsage;
}

// The group list as the window fills it: every local group in group-file
// order, the built-in Remote Desktop Users and Users ticked unless asked
// not to, and each group named on the command line ticked too.
bool GroupList(const TCommandRequest& request, std::vector<TConsoleBatchHost::TGroup>& groups,
               std::string& error) {
    batches::TGroupNameList names;
    batches::EnumerateLocalGroups(names);
    const WideString remoteDesktopUsers = accounts::GetRemoteDesktopUsersGroupName();
    const WideString usersGroup = accounts::GetUsersGroupName();
    for (std::size_t i = 0; i < names.Count(); ++i) {
        const WideString& name = names[i];
        const bool builtIn = (!remoteDesktopUsers.empty() && name == remoteDesktopUsers) ||
                             (!usersGroup.empty() && name == usersGroup);
        groups.push_back({name, request.defaultGroups && builtIn});
    }
    for (const WideString& wanted : request.groups) {
        bool found = false;
        for (auto& group : groups) {
            if (group.name == wanted) {
                group.checked = true;
                found = true;
            }
        }
        if (!found) {
            error = "--group: there is no local group '" +
                    support::NarrowText(support::ShownText(wanted)) + "'";
            return false;
        }
    }
    return true;
}

// The password prefix from --password-file, or asked for on the terminal.
bool ObtainPassword(TCommandRequest& request, std::string& error) {
    std::string line;
    std::string source;
    std::string reason;
    bool read = false;
    if (!request.passwordFile.empty()) {
        source = "--password-file " + support::ShownText(std::string_view(request.passwordFile));
        read = ReadPasswordFile(request.passwordFile, line, reason);
    } else if (CanAskForPassword()) {
        source = "the password prefix typed";
        read = AskForPassword(line, reason);
    } else {
        error = "--password-file is missing (standard input is not a terminal to ask on)";
        return false;
    }
    bool usable = read && CheckPasswordPrefix(source, line, request.password, error);
    if (!read) {
        error = source + ": " + reason;
    }
    std::fill(line.begin(), line.end(), '\0');
    return usable;
}

// The account server and how to sign in to it, before any account call.
bool ChooseAccountServer(const TCommandRequest& request, std::string& error) {
    accounts::SetAccountServer(support::WidenText(request.server));
#if defined(_WIN32)
    if (!request.serverCredentialsPath.empty()) {
        error = "--server-credentials: on Windows the server is reached with the logon of this "
                "session";
        return false;
    }
#else
    // The stand-in account service reads the file the variable names; the
    // command line alone decides, whatever the caller's environment holds.
    if (request.serverCredentialsPath.empty()) {
        unsetenv(posix::kAccountCredentialsVariable);
        return true;
    }
    posix::CredentialsRead read = posix::ReadCredentialsFile(request.serverCredentialsPath);
    if (!read.credentials) {
        error = "--server-credentials: " + read.error;
        return false;
    }
    setenv(posix::kAccountCredentialsVariable, request.serverCredentialsPath.c_str(), 1);
#endif
    return true;
}

int RunRequest(TCommandRequest request, TConsoleBatchHost::TLineCounts& counts) {
    if (std::string error; !ChooseAccountServer(request, error)) {
        return Refuse(error);
    }
    if (request.command->check != nullptr && !SystemRootIsThisMachine()) {
        // The logon stack reads this machine's own configuration: under a
        // sandbox root its answers would be about other accounts.
        return Refuse(std::string(request.command->name) +
                      ": NOMVERA_SYSROOT names a system root that is not this machine, and "
                      "logons are checked by this machine's own logon stack; nothing was "
                      "checked");
    }
    // Said once, before anything else, in words that say what to do; the
    // log's start block still has its own line for it. A check changes nothing.
    if (request.command->check == nullptr && !request.dryRun && !accounts::IsAdministrator()) {
#ifdef _WIN32
        PrintTo(kStandardError, "nomvera: not running as an administrator: every change will be "
                                "refused; run it from an elevated prompt\n");
#else
        PrintTo(kStandardError, "nomvera: not running as root: every change will be refused; run "
                                "it with sudo\n");
#endif
    }
    if (request.command->takesPassword || request.command->check != nullptr) {
        std::string error;
        if (!ObtainPassword(request, error)) {
            return Refuse(error);
        }
    }
    if (request.profile && !accounts::ProfileServiceComplete()) {
        return Refuse("--profile: the profile service (libuserenv.so) is not available");
    }
    std::vector<TConsoleBatchHost::TGroup> groups;
    if (request.command->takesPassword) {
        std::string error;
        if (!GroupList(request, groups, error)) {
            return Refuse(error);
        }
    }
    TCredentialsFile credentials;
    // A dry run writes no credentials file: no account is made.
    if (!request.credentialsPath.empty() && !request.dryRun) {
        std::string error;
        if (!credentials.Create(request.credentialsPath, error)) {
            // Shown as the log shows a path: a control character in it
            // must not reach the terminal.
            return Refuse("--credentials " +
                          support::ShownText(std::string_view(request.credentialsPath)) + ": " +
                          error);
        }
    }

    const std::unique_ptr<log::TDiagnosticLog> owner = form::OpenActivityLog();
    log::TDiagnosticLog* writer = owner.get();
    int status = kExitSuccess;
    {
        TConsoleBatchHost host(request, groups, writer,
                               credentials.IsOpen() ? &credentials : nullptr);
        host.LogInfo(WIDE("Begin: Command line"));
        host.LogInfo(form::BannerLine());
        for (const auto& line : accounts::AccountServiceLines()) {
            line.error ? host.LogError(line.text) : host.LogInfo(line.text);
        }
        if (writer != nullptr && !writer->InactiveReason().empty()) {
            host.LogError(writer->InactiveReason());
        }
        const bool administrator = accounts::IsAdministrator();
        if (!administrator) {
            host.LogError(WIDE("not an ") + accounts::GetAdministratorAccountName());
        }
        host.LogInfo(WIDE("End: Command line"));
        if (request.command->takesPassword) {
            host.LogInfo(WIDE("Begin: Fill Groups"));
            // As in the window; only when the built-in groups are to be joined.
            if (request.defaultGroups) {
                for (const WideString& line : accounts::MissingBuiltInGroupLines()) {
                    host.LogWarning(line);
                }
            }
            host.LogInfo(
                WIDE("End: Fill Groups: ") +
                support::WidenText(support::DecimalText(static_cast<std::int64_t>(groups.size()))));
        }

        host.BeginCounting();
        try {
            if (request.command->check != nullptr) {
                request.command->check(host, request);
            } else {
                request.command->batch(host);
            }
        } catch (const std::exception& failure) {
            host.LogError(WIDE("EXCP: ") + support::WidenText(failure.what()));
        } catch (...) {
            host.LogError(WIDE("EXCP: unknown exception"));
        }
        host.EndCounting();

        // Without an administrator every change would be refused: a dry run
        // that read that much would not succeed.
        if (host.ErrorLines() > 0 || host.OutputFailed() || (request.dryRun && !administrator)) {
            status = kExitStepFailed;
        }
        counts = host.LineCounts();
        counts.failedSteps = host.ErrorLines();
        counts.outputFailed = host.OutputFailed();
        counts.ran = true;
    }
    if (writer != nullptr) {
        try {
            writer->Close();
        } catch (...) {
        }
    }
    return status;
}

} // namespace

int RunCommandLine(int argc, char** argv) {
    PrepareStandardStreams();
    std::vector<std::string> arguments(argv, argv + argc);
    const TParsedCommandLine parsed = ParseCommandLine(arguments);
    switch (parsed.result) {
    case TParseResult::Help:
        PrintTo(kStandardOutput, HelpText());
        return kExitSuccess;
    case TParseResult::Version:
        PrintTo(kStandardOutput,
                support::NarrowText(support::GetFileVersionText(support::GetModulePath())) + "\n");
        return kExitSuccess;
    case TParseResult::UsageError:
        return Refuse(parsed.error, parsed.hint);
    case TParseResult::Run:
        break;
    }

    // Before anything is touched, so that a stop request is never lost; a
    // closed output pipe must not end the program in the middle of a step.
    TStopSignals stopSignals;
    IgnoreClosedPipes();

    form::StartSupportUnits();
    form::BindWindowModule();
    int status = kExitStepFailed;
    TConsoleBatchHost::TLineCounts counts;
    try {
        status = RunRequest(parsed.request, counts);
    } catch (const std::exception& failure) {
        PrintTo(kStandardError, std::string("nomvera: EXCP: ") + failure.what() + "\n");
    } catch (...) {
        PrintTo(kStandardError, "nomvera: EXCP: unknown exception\n");
    }
    form::ReleaseWindowModule();
    form::StopSupportUnits();

    if (const int received = TStopSignals::Received(); received != 0 && status != kExitUsage) {
        status = 128 + received;
    }
    if (parsed.request.json && counts.ran && !counts.outputFailed) {
        const TCommandRequest& request = parsed.request;
        auto number = [](std::size_t value) { return std::to_string(value); };
        PrintTo(kStandardOutput,
                std::string("{\"type\":\"summary\",\"command\":\"") + request.command->name +
                    "\",\"prefix\":" +
                    TConsoleBatchHost::JsonString(support::NarrowText(request.prefix)) +
                    ",\"count\":" + std::to_string(request.count) +
                    ",\"done\":" + number(counts.passes) + ",\"info\":" + number(counts.info) +
                    ",\"warnings\":" + number(counts.warnings) + ",\"errors\":" +
                    number(counts.errors) + ",\"failed_steps\":" + number(counts.failedSteps) +
                    ",\"exit_status\":" + std::to_string(status) + "}\n");
    }
    return status;
}

} // namespace nomvera::cli
