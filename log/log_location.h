// Where the diagnostic log lies and what it is called.
#pragma once

#include <string>

namespace nomvera::log {

inline constexpr char kAdminLogFileName[] = "kelRostery.log";
inline constexpr char kNonAdminLogFileName[] = "kelNonAdminRostery.log";

// The per-user application-data folder, else the user's private folder in
// the temporary folder (never the shared temporary folder itself), ending in
// the path separator; looked up afresh on every call.
std::u16string LogFolder();
std::u16string PrimaryLogFilePath();  // LogFolder() + kAdminLogFileName
std::u16string FallbackLogFilePath(); // LogFolder() + kNonAdminLogFileName

} // namespace nomvera::log
