// The policy value that makes accounts created from now on skip the privacy
// questions of the first logon.
#pragma once

#include "platform/windows_types.h"

namespace nomvera::shortcuts {

inline constexpr char kOobePolicyKey[] = "Software\\Policies\\Microsoft\\Windows\\OOBE";
inline constexpr char kDisablePrivacyExperience[] = "DisablePrivacyExperience";

// Creates or opens the key under HKEY_LOCAL_MACHINE with full access plus
// viewFlag and sets the value to the REG_DWORD 1. The status of the first
// call that failed, else 0; never raises.
DWORD WriteNoPrivacyPolicy(REGSAM viewFlag);

} // namespace nomvera::shortcuts
