#include "cli/console_host.h"
#include "cli/console.h"
#include "form/activity_line.h"

#include "log/diagnostic_log.h"
#include "platform/wide_text.h"
#include "support/text.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace nomvera::cli {
namespace {

void WriteError(const std::string& text) {
    WriteStream(TStream::Error, text);
}

std::string Duration(std::chrono::steady_clock::duration duration) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
    const long long minutes = seconds / 60;
    std::string text = std::to_string(minutes / 60 > 0 ? minutes / 60 : minutes);
    auto two = [](long long value) { return (value < 10 ? "0" : "") + std::to_string(value); };
    if (minutes / 60 > 0) {
        text += ":" + two(minutes % 60);
    }
    return text + ":" + two(seconds % 60);
}

// Joining a group the account is in already (1378): every new account is in
// Users, its primary group, which the window ticks. The account is a member,
// as asked, so the line does not fail the run.
bool AlreadyAMember(const WideString& text) {
    return text.starts_with(WIDE("Error making User[")) && text.ends_with(WIDE(" [1378]"));
}

} // namespace

std::string TCredentialsFile::Field(const std::string& text) {
    const bool quoted = text.find_first_of(",\"\r\n") != std::string::npos ||
                        (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quoted) {
        return text;
    }
    std::string field = "\"";
    for (const char c : text) {
        field += c;
        if (c == '"') {
            field += '"';
        }
    }
    return field + "\"";
}

bool TCredentialsFile::Add(const WideString& name, const WideString& password, std::string& error) {
    return WriteAll(Field(support::NarrowText(name)) + "," + Field(support::NarrowText(password)) +
                        "\n",
                    error);
}

TConsoleBatchHost::TConsoleBatchHost(const TCommandRequest& request, std::vector<TGroup> groups,
                                     log::TDiagnosticLog* logWriter, TCredentialsFile* credentials)
    : request_(request), groups_(std::move(groups)), logWriter_(logWriter),
      credentials_(credentials), progress_(IsTerminal(TStream::Error)),
      started_(std::chrono::steady_clock::now()) {}

TConsoleBatchHost::~TConsoleBatchHost() {
    ClearProgress();
}

void TConsoleBatchHost::EndCounting() {
    counting_ = false;
    ClearProgress();
    progress_ = false;
}

WideString TConsoleBatchHost::GroupName(std::size_t index) {
    return index < groups_.size() ? groups_[index].name : WideString();
}

bool TConsoleBatchHost::GroupChecked(std::size_t index) {
    return index < groups_.size() && groups_[index].checked;
}

void TConsoleBatchHost::LogInfo(const WideString& text) {
    AddLine(text, TLevel::Info);
    if (credentials_ != nullptr) {
        NoteCreatedAccount(text);
    }
}

void TConsoleBatchHost::LogWarning(const WideString& text) {
    AddLine(text, TLevel::Warning);
}

void TConsoleBatchHost::LogError(const WideString& text) {
    AddLine(text, TLevel::Error);
}

void TConsoleBatchHost::AddLine(const WideString& text, TLevel level) {
    const WideString line = form::ActivityLine(logWriter_, level, text);
    if (level == TLevel::Error && counting_ && !AlreadyAMember(text)) {
        ++errorLines_;
    }
    ++(level == TLevel::Info      ? counts_.info
       : level == TLevel::Warning ? counts_.warnings
                                  : counts_.errors);
    if (request_.quiet && level == TLevel::Info) {
        return;
    }
    const std::string shown = support::NarrowText(line);
    WriteOutput((request_.json ? JsonLine(shown, level, request_.prefix) : shown) + "\n");
}

std::string TConsoleBatchHost::JsonString(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string TConsoleBatchHost::JsonLine(const std::string& shown, TLevel level,
                                        const WideString& prefix) {
    // "2026-12-08 13:45:09.664|I|..text": the stamp is 23 characters.
    constexpr std::size_t kStamp = 23;
    std::string time;
    std::string text = shown;
    std::size_t indent = 0;
    if (shown.size() > kStamp + 3 && shown[kStamp] == '|' && shown[kStamp + 2] == '|' &&
        shown[4] == '-' && shown[10] == ' ') {
        time = shown.substr(0, kStamp);
        text = shown.substr(kStamp + 3);
        while (indent < text.size() && text[indent] == '.') {
            ++indent;
        }
        text.erase(0, indent);
    } else {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        const auto millis =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000;
        std::tm local = {};
#ifdef _WIN32
        localtime_s(&local, &seconds);
#else
        localtime_r(&seconds, &local);
#endif
        char stamp[80];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                      local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec, static_cast<int>(millis));
        time = stamp;
    }
    std::string object = "{\"type\":\"line\",\"time\":" + JsonString(time) + ",\"level\":\"" +
                         (level == TLevel::Info      ? "info"
                          : level == TLevel::Warning ? "warning"
                                                     : "error") +
                         "\",\"indent\":" + std::to_string(indent) +
                         ",\"text\":" + JsonString(text);
    // The account or group of the series the line is about: "[PREFIXnnn]".
    const std::string head = "[" + support::NarrowText(prefix);
    for (std::size_t at = text.find(head); !prefix.empty() && at != std::string::npos;
         at = text.find(head, at + 1)) {
        const std::size_t digits = at + head.size();
        if (digits + 4 <= text.size() && text[digits + 3] == ']' &&
            text.find_first_not_of("0123456789", digits) == digits + 3) {
            object += ",\"name\":" + JsonString(text.substr(at + 1, digits + 2 - at));
            // The status code closes an error line: " [2224]" (a DWORD: at most ten digits).
            long long status = level == TLevel::Info ? 0 : -1;
            const std::size_t open = text.rfind(" [");
            if (!text.empty() && text.back() == ']' && open != std::string::npos &&
                open + 3 < text.size() && text.size() - open <= 13 &&
                text.find_first_not_of("0123456789", open + 2) == text.size() - 1) {
                status = std::stoll(text.substr(open + 2, text.size() - open - 3));
            }
            object += ",\"status\":" + (status < 0 ? std::string("null") : std::to_string(status));
            break;
        }
    }
    return object + "}";
}

// The batch logs "Created User[NAME] Password[PASSWORD]" exactly when the
// account service created the account; the name and password are the
// prefixes and the running number, so the line is matched whole.
void TConsoleBatchHost::NoteCreatedAccount(const WideString& text) {
    const WideString head = WIDE("Created User[") + request_.prefix;
    if (credentialsFailed_ || !text.starts_with(head) || text.size() < head.size() + 3) {
        return;
    }
    const WideString number = text.substr(head.size(), 3);
    for (const WCHAR digit : number) {
        if (digit < WIDE('0') || digit > WIDE('9')) {
            return;
        }
    }
    const WideString name = request_.prefix + number;
    const WideString password = request_.password + number;
    if (text != WIDE("Created User[") + name + WIDE("] Password[") + password + WIDE("]")) {
        return;
    }
    std::string error;
    if (!credentials_->Add(name, password, error)) {
        credentialsFailed_ = true;
        LogError(WIDE("Credentials file not written [") +
                 support::ShownText(support::WidenText(request_.credentialsPath)) + WIDE("]: ") +
                 support::WidenText(error) + WIDE("; User[") + name +
                 WIDE("] and later are missing"));
    }
}

void TConsoleBatchHost::WriteOutput(const std::string& text) {
    if (outputFailed_) {
        return;
    }
    const bool redraw = progressShown_ > 0;
    ClearProgress();
    if (std::string reason; !WriteStream(TStream::Output, text, &reason)) {
        outputFailed_ = true;
        WriteError("nomvera: standard output: " + reason +
                   "; the log file still gets every line\n");
    }
    if (redraw) {
        DrawProgress();
    }
}

void TConsoleBatchHost::Repaint() {
    ++passesDone_;
    counts_.passes = static_cast<std::size_t>(passesDone_);
    DrawProgress();
}

void TConsoleBatchHost::ProcessMessages() {
    ClosingRequested();
}

bool TConsoleBatchHost::ClosingRequested() {
    if (!closing_) {
        if (const int received = TStopSignals::Received(); received != 0) {
            closing_ = true;
            if (!stopNoted_) {
                stopNoted_ = true;
                ClearProgress();
                WriteError(std::string("nomvera: ") + StopSignalName(received) +
                           " received; stopping after the current account\n");
            }
        }
    }
    return closing_;
}

void TConsoleBatchHost::DrawProgress() {
    if (!progress_ || !counting_) {
        return;
    }
    const int total = request_.count;
    const auto elapsed = std::chrono::steady_clock::now() - started_;
    std::string text = support::NarrowText(request_.command->caption) + ": " +
                       std::to_string(passesDone_) + " of " + std::to_string(total) +
                       (request_.command->users ? " users" : " groups") + ", " + Duration(elapsed) +
                       " elapsed";
    if (passesDone_ > 0 && passesDone_ < total) {
        text += ", about " + Duration(elapsed / passesDone_ * (total - passesDone_)) + " left";
    }
    const std::size_t columns = TerminalColumns();
    // Never the last column: a terminal that wraps there breaks the redraw.
    if (text.size() >= columns) {
        text.resize(columns - 1);
    }
    ClearProgress();
    WriteError("\r" + text);
    progressShown_ = text.size();
}

void TConsoleBatchHost::ClearProgress() {
    if (progressShown_ == 0) {
        return;
    }
    WriteError("\r" + std::string(progressShown_, ' ') + "\r");
    progressShown_ = 0;
}

} // namespace nomvera::cli
