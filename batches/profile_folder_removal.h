// Removal of a folder tree from disk: what is left of a profile folder after
// the profile service has had its turn.
#pragma once

#include <string>

#include "platform/wide_text.h"

namespace nomvera::log {
class TDiagnosticLog;
}

namespace nomvera::batches {

// Deletes every file below path (with AllFiles false, every file except
// those whose extension is ".LOG" in any case), every subfolder, and with
// RemoveRoot the folder itself. A file or folder that resists is tried again
// with other attributes and counted; the first 50 failures and the total go
// to log (the diagnostic log only; nothing with a null log). At most 1000
// folders are entered.
//
// Paths in the lines are shown with their control characters escaped
// (support::ShownText), and a path longer than 512 characters as its first
// 256 and last 255 characters around "…". The walk keeps one path for all
// its levels, so its memory grows with the depth alone.
//
// The walk never follows a symbolic link (a link is removed as an entry),
// never enters another mount than the one of path, and removes nothing when
// path names the root folder "/" or a drive root.
void DeleteFilesInSubdirW(const WideString& path, log::TDiagnosticLog* log, bool RemoveRoot,
                          bool AllFiles);

} // namespace nomvera::batches
