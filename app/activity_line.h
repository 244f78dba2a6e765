// The line the activity log shows for a message, shared by the window and
// the command line.
#pragma once

#include <string>

namespace nomvera::log {
class TDiagnosticLog;
}

namespace nomvera::app {

enum class TActivityLevel { Info, Warning, Error };

// Writes the message through the log file when it is active and gives the
// line as the activity log shows it (time stamp, level tag, indent, text);
// without an active log file, the bare message.
std::u16string ActivityLine(log::TDiagnosticLog* logWriter, TActivityLevel level,
                            const std::u16string& message);

} // namespace nomvera::app
