// The activity log as the window and the command line share it: the log
// file chosen at start, the banner line, and the line shown for a message.
#pragma once

#include <memory>
#include <string>

#include "log/diagnostic_log.h"
#include "platform/wide_text.h"

namespace nomvera::form {

enum class TActivityLevel { Info, Warning, Error };

inline constexpr WCHAR kBuildDate[] = WIDE("01-Jan-2023");

// The log file for this run: the administrator's name when the check passes,
// else (or when that creation fails) the other one; null when neither can be
// created. A file that cannot be opened gives an inactive log, not null.
std::unique_ptr<log::TDiagnosticLog> OpenActivityLog();

// The start banner: the program's path, its file version, the build date.
WideString BannerLine();

// Writes the message through the log file when it is active and gives the
// line as the activity log shows it (time stamp, level tag, indent, text);
// without an active log file, the bare message.
WideString ActivityLine(log::TDiagnosticLog* logWriter, TActivityLevel level,
                        const WideString& message);

} // namespace nomvera::form
