// The machine whose account service the batches and Fill Groups use: this
// machine unless a server was named (a domain controller's DNS name or
// address), for the whole run of the program.
#pragma once

#include "platform/wide_text.h"

#include <vector>

namespace nomvera::accounts {

// Empty for this machine.
void SetAccountServer(const WideString& server);
const WideString& AccountServer();
// The server name every account-service call passes: null for this machine.
LPCWSTR AccountServerName();

// The banner line that names the account service in use:
// "Account service: LAB (dc1.lab.test)", "Account service: HOST1 (local)".
// The domain comes from the server's workstation record; a server that does
// not answer is named with the code of its failure.
WideString AccountServiceLine();

// The start banner's lines about the account service: for this machine the
// line that names it; for another machine the service, then how the tool
// signs in to it, or why the
// authentication file named by NOMVERA_ACCOUNT_CREDENTIALS was refused
// (an error line; every call to that machine then fails).
struct TAccountServiceLine {
    bool error = false;
    WideString text;
};
std::vector<TAccountServiceLine> AccountServiceLines();

// The window takes no arguments: NOMVERA_ACCOUNT_SERVER names its server
// (unset or empty: this machine).
void SetAccountServerFromEnvironment();

} // namespace nomvera::accounts
