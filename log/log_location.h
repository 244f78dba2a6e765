// Where the diagnostic log lies and what it is called.
#pragma once

#include <string>

#include "platform/wide_text.h"

namespace nomvera::log {

inline constexpr char kAdminLogFileName[] = "kelRostery.log";
inline constexpr char kNonAdminLogFileName[] = "kelNonAdminRostery.log";

// The per-user application-data folder, else the user's private folder in
// the temporary folder (never the shared temporary folder itself), ending in
// the path separator; looked up afresh on every call.
WideString LogFolder();
WideString PrimaryLogFilePath();  // LogFolder() + kAdminLogFileName
WideString FallbackLogFilePath(); // LogFolder() + kNonAdminLogFileName

} // namespace nomvera::log
