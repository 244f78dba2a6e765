// The diagnostic log: a size-limited UTF-8 ring file behind a 16-byte
// position header. Every activity-log line passes through it; it never
// raises a failure to its callers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/wide_text.h"

namespace nomvera::log {

class TDiagnosticLog {
public:
    // Builds the log, opens or creates the file (and its folder chain) and
    // writes the start line. A file that cannot be opened gives an inactive
    // log, never a failure. mode: 0 automatic, 1 direct, other values queued.
    static std::unique_ptr<TDiagnosticLog> Create(const WideString& path, std::int64_t maxSizeKiB,
                                                  std::uint8_t mode);
    // Closes the log if Close has not.
    ~TDiagnosticLog();
    TDiagnosticLog(const TDiagnosticLog&) = delete;
    TDiagnosticLog& operator=(const TDiagnosticLog&) = delete;

    bool IsActive() const;
    // Why the file was refused, as one line for the window to show (the log
    // is then inactive); empty when the file opened, or did not for another
    // reason (held by another copy of the tool, no room, ...).
    const WideString& InactiveReason() const;
    // The path after the ".utf8" rule.
    const WideString& Path() const;

    // Format, suppress repeats, write; return the formatted line (empty for
    // an empty message).
    WideString WriteInfo(const WideString& message);
    WideString WriteWarning(const WideString& message);
    WideString WriteError(const WideString& message);
    std::string WriteInfoAnsi(const std::string& message);
    std::string WriteErrorAnsi(const std::string& message);

    // Writes pending repeat summaries and the closing lines, stops the
    // writer thread and closes the file; the log is inactive from then on.
    // Once only: later calls do nothing.
    void Close();

private:
    struct State;
    TDiagnosticLog();
    std::unique_ptr<State> state_;
};

} // namespace nomvera::log
