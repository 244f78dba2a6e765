// The batch host of command mode: the panel's inputs come from the command
// line, every activity-log line goes through the diagnostic log to standard
// output, a progress line is kept on standard error when that is a terminal,
// and SIGINT, SIGTERM and SIGHUP stand for the window's close request.
#pragma once

#include "batches/batch_host.h"
#include "cli/command_line.h"
#include "form/activity_line.h"
#include "platform/wide_text.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace nomvera::cli {

// SIGINT, SIGTERM and SIGHUP only note their number while installed; a
// signal that was ignored when the program started (nohup, a background job)
// stays ignored.
class TStopSignals {
public:
    TStopSignals();
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;
    // The first signal received, 0 while none.
    static int Received();
};

// The new file for --credentials, its header written at once; rows are
// written as accounts are created. On POSIX made with O_CREAT|O_EXCL|
// O_NOFOLLOW, mode 0600, in its folder reached without following links; on
// Windows a new private file (platform/private_files.h).
class TCredentialsFile {
public:
    TCredentialsFile() = default;
    ~TCredentialsFile();
    TCredentialsFile(const TCredentialsFile&) = delete;
    TCredentialsFile& operator=(const TCredentialsFile&) = delete;

    // False with error set when the file cannot be made (nothing is left behind).
    bool Create(const std::string& path, std::string& error);
    bool IsOpen() const;
    // False with error set when the row could not be written whole.
    bool Add(const WideString& name, const WideString& password, std::string& error);
    // One CSV field as RFC 4180 has it: quoted when it holds a comma, a quote,
    // CR or LF (or starts or ends with a blank), quotes doubled.
    static std::string Field(const std::string& text);

private:
    bool WriteAll(const std::string& text, std::string& error);
#ifdef _WIN32
    void* file_ = nullptr; // the file's HANDLE; null when none is open
#else
    int fd_ = -1;
#endif
};

class TConsoleBatchHost : public batches::TBatchHost {
public:
    using TLevel = form::TActivityLevel;
    // groups: the machine's local groups in group-file order, with their ticks.
    struct TGroup {
        WideString name;
        bool checked = false;
    };
    TConsoleBatchHost(const TCommandRequest& request, std::vector<TGroup> groups,
                      log::TDiagnosticLog* logWriter, TCredentialsFile* credentials);
    ~TConsoleBatchHost() override;

    // Error lines logged while a batch runs are the ones the exit status counts.
    void BeginCounting() { counting_ = true; }
    void EndCounting();
    std::size_t ErrorLines() const { return errorLines_; }
    // Every line given, by level: for the summary of --output json.
    struct TLineCounts {
        std::size_t info = 0;
        std::size_t warnings = 0;
        std::size_t errors = 0;
        std::size_t passes = 0;      // accounts or groups of the series handled
        std::size_t failedSteps = 0; // the error lines the exit status counts
        bool ran = false;            // the batch started
        bool outputFailed = false;
    };
    const TLineCounts& LineCounts() const { return counts_; }
    // One JSON string, quoted, with every control character escaped.
    static std::string JsonString(const std::string& text);
    // The JSON object of one line as shown (time stamp, level tag, indent
    // and text; bare when the log file is not open).
    static std::string JsonLine(const std::string& shown, TLevel level, const WideString& prefix);
    // Standard output failed (a closed pipe, a full disk): lines after that
    // reached the log file only.
    bool OutputFailed() const { return outputFailed_; }

    WideString NameText() override { return request_.prefix; }
    WideString PasswordText() override { return request_.password; }
    std::int32_t ReadCount() override { return request_.count; }
    bool ProfileChecked() override { return request_.profile; }
    std::size_t GroupCount() override { return groups_.size(); }
    WideString GroupName(std::size_t index) override;
    bool GroupChecked(std::size_t index) override;
    void LogInfo(const WideString& text) override;
    void LogWarning(const WideString& text) override;
    void LogError(const WideString& text) override;
    log::TDiagnosticLog* LogWriter() override { return logWriter_; }
    void ShowLoggingPage() override {}
    // Each batch repaints once at the end of every pass: one account done.
    void Repaint() override;
    void ProcessMessages() override;
    bool ClosingRequested() override;
    // No window to repaint: no pause unless --pause asks for one.
    std::uint32_t PauseMilliseconds() override { return request_.pause; }
    batches::TBatchFlags Flags() override { return {request_.dryRun, request_.ensure}; }

private:
    void AddLine(const WideString& text, TLevel level);
    void NoteCreatedAccount(const WideString& text);
    void WriteOutput(const std::string& text);
    void DrawProgress();
    void ClearProgress();

    TCommandRequest request_;
    std::vector<TGroup> groups_;
    log::TDiagnosticLog* logWriter_;
    TCredentialsFile* credentials_;
    bool counting_ = false;
    std::size_t errorLines_ = 0;
    TLineCounts counts_;
    bool outputFailed_ = false;
    bool credentialsFailed_ = false;
    bool closing_ = false;
    bool stopNoted_ = false;

    bool progress_ = false;         // standard error is a terminal
    std::size_t progressShown_ = 0; // characters of the progress line on screen
    int passesDone_ = 0;
    std::chrono::steady_clock::time_point started_;
};

} // namespace nomvera::cli
