#include "cli/console_host.h"
#include "form/activity_line.h"

#include "log/diagnostic_log.h"
#include "platform/wide_text.h"
#include "support/text.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::cli {
namespace {

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_received = 0;
struct sigaction g_previous[kStopSignals.size()];
bool g_installed[kStopSignals.size()] = {};

void OnStopSignal(int signalNumber) {
    if (g_received == 0) {
        g_received = signalNumber;
    }
}

const char* SignalName(int signalNumber) {
    switch (signalNumber) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

bool WriteWhole(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void WriteError(const std::string& text) {
    WriteWhole(STDERR_FILENO, text.data(), text.size());
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

TStopSignals::TStopSignals() {
    g_received = 0;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        struct sigaction current = {};
        sigaction(kStopSignals[i], nullptr, &current);
        // nohup and background jobs set these to be ignored; keep it so.
        if (kStopSignals[i] != SIGTERM && current.sa_handler == SIG_IGN) {
            continue;
        }
        g_installed[i] = sigaction(kStopSignals[i], &action, &g_previous[i]) == 0;
    }
}

TStopSignals::~TStopSignals() {
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        if (g_installed[i]) {
            sigaction(kStopSignals[i], &g_previous[i], nullptr);
            g_installed[i] = false;
        }
    }
}

int TStopSignals::Received() {
    return g_received;
}

TCredentialsFile::~TCredentialsFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

namespace {

// The folder that will hold path's last component, reached one component at a
// time from the root (or the working folder) without following a link, so
// that no account can send the file elsewhere by a link higher up. Returns
// the open folder (AT_FDCWD for a bare name) and the last component, or -1
// with error set.
int OpenParentFolder(const std::string& path, std::string& leaf, std::string& error) {
    const std::size_t slash = path.rfind('/');
    leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf.empty()) {
        error = "it names a folder, not a file";
        return -1;
    }
    if (slash == std::string::npos) {
        return AT_FDCWD;
    }
    int folder = open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = path[0] == '/' ? 1 : 0;
    while (folder >= 0 && start < slash) {
        std::size_t end = path.find('/', start);
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty()) {
            continue;
        }
        const int next =
            openat(folder, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int code = errno;
        if (next < 0) {
            struct stat info = {};
            error = fstatat(folder, part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                            S_ISLNK(info.st_mode)
                        ? "a folder on its path is a symbolic link (links are never followed)"
                        : std::strerror(code);
        }
        close(folder);
        folder = next;
    }
    if (folder < 0 && error.empty()) {
        error = std::strerror(errno);
    }
    return folder;
}

} // namespace

bool TCredentialsFile::Create(const std::string& path, std::string& error) {
    std::string leaf;
    const int folder = OpenParentFolder(path, leaf, error);
    if (folder == -1) {
        return false;
    }
    const int fd = openat(folder, leaf.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        const int code = errno;
        error = code == EEXIST ? "it exists already (an existing file or link is never replaced)"
                               : std::strerror(code);
        if (folder != AT_FDCWD) {
            close(folder);
        }
        return false;
    }
    fd_ = fd;
    // The umask may have taken bits away; the file is the owner's alone, exactly.
    if (fchmod(fd_, S_IRUSR | S_IWUSR) != 0 || !WriteAll("name,password\n", error)) {
        if (error.empty()) {
            error = std::strerror(errno);
        }
        close(fd_);
        fd_ = -1;
        // Made by this run a moment ago and still empty: take it back.
        unlinkat(folder, leaf.c_str(), 0);
    }
    if (folder != AT_FDCWD) {
        close(folder);
    }
    return fd_ >= 0;
}

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

bool TCredentialsFile::WriteAll(const std::string& text, std::string& error) {
    if (fd_ < 0 || !WriteWhole(fd_, text.data(), text.size())) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

TConsoleBatchHost::TConsoleBatchHost(const TCommandRequest& request, std::vector<TGroup> groups,
                                     log::TDiagnosticLog* logWriter, TCredentialsFile* credentials)
    : request_(request), groups_(std::move(groups)), logWriter_(logWriter),
      credentials_(credentials), progress_(isatty(STDERR_FILENO) == 1),
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
            // The status code closes an error line: " [2224]".
            long long status = level == TLevel::Info ? 0 : -1;
            const std::size_t open = text.rfind(" [");
            if (!text.empty() && text.back() == ']' && open != std::string::npos &&
                open + 3 < text.size() &&
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
    if (!WriteWhole(STDOUT_FILENO, text.data(), text.size())) {
        outputFailed_ = true;
        WriteError(std::string("nomvera: standard output: ") + std::strerror(errno) +
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
                WriteError(std::string("nomvera: ") + SignalName(received) +
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
    winsize size = {};
    std::size_t columns = 80;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        columns = size.ws_col;
    }
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
