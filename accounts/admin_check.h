// The administrator check and the cached local names of well-known accounts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wide_text.h"

namespace nomvera::accounts {

// "advapi32.dll" at start (unless held) and its release at exit; the two
// entry points ConvertStringSidToSidA and GetTokenInformation are bound on
// first use.
void LoadSecurityLibrary(const char* libraryName = "advapi32.dll");
void UnloadSecurityLibrary();

bool IsAdministrator();
// The same check for a given Windows major version: from 6 on a member of
// the administrators is one only with a full or an unsplit token.
bool IsAdministratorOnVersion(std::int32_t windowsMajorVersion);
// The elevation type (1 default, 2 full, 3 limited); -2 when the query
// fails, -1 when the process token cannot be opened.
std::int32_t GetTokenElevationType();
WideString GetAdministratorAccountName();
WideString GetRemoteDesktopUsersGroupName();
WideString GetUsersGroupName();

// One warning line for each built-in group that new users join by default
// (Remote Desktop Users, Users) for whose SID the machine has no group; on
// Linux the line names the local group that stands for it and how to make it.
std::vector<WideString> MissingBuiltInGroupLines();

} // namespace nomvera::accounts
