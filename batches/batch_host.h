// What the batches need of the window. The batches stay free of the window
// toolkit: the main window implements this interface, and the headless tests
// implement it over plain fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/wide_text.h"

namespace nomvera::log {
class TDiagnosticLog;
}

namespace nomvera::batches {

// How a batch is run. The window always runs a batch plainly (both false),
// and every line it logs then stays as it is.
struct TBatchFlags {
    // Reads only: for every name of the series, the line of what the batch
    // would do, or an error line for what stands in its way.
    bool dryRun = false;
    // What the batch is asked to bring about counts as done where it is so
    // already: an account or group that exists (create) or is gone (delete),
    // a membership or profile the account has already. Such a step logs an
    // info line instead of an error line, and a create goes on with the
    // remaining steps for that account.
    bool ensure = false;
};

class TBatchHost {
public:
    virtual ~TBatchHost() = default;

    // Panel inputs, read when the batch needs them (the name, password,
    // profile box and group list anew for every account).
    virtual WideString NameText() = 0;
    virtual WideString PasswordText() = 0;
    // ReadCount: the integer in the count entry, 0 when it holds no number.
    virtual std::int32_t ReadCount() = 0;
    virtual bool ProfileChecked() = 0;
    virtual std::size_t GroupCount() = 0;
    virtual WideString GroupName(std::size_t index) = 0;
    virtual bool GroupChecked(std::size_t index) = 0;

    // The activity log (an error line also brings the Logging page to the front).
    virtual void LogInfo(const WideString& text) = 0;
    virtual void LogWarning(const WideString& text) = 0;
    virtual void LogError(const WideString& text) = 0;
    // The diagnostic log behind the activity log; may be null or inactive.
    virtual log::TDiagnosticLog* LogWriter() = 0;

    // Make the Logging page the active page.
    virtual void ShowLoggingPage() = 0;
    // Repaint the window now (Update) / handle all pending messages, then return.
    virtual void Repaint() = 0;
    virtual void ProcessMessages() = 0;
    // The pause after each account or group, in milliseconds: 50 in the
    // window, so that the Logging page fills line by line; a host without a
    // window to repaint may pause less, or not at all.
    virtual std::uint32_t PauseMilliseconds() { return kWindowPauseMilliseconds; }
    static constexpr std::uint32_t kWindowPauseMilliseconds = 50;
    // Set by the close handler and never cleared.
    virtual bool ClosingRequested() = 0;
    // Read once when the batch starts.
    virtual TBatchFlags Flags() { return {}; }
};

} // namespace nomvera::batches
