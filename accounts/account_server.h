// The machine whose account service the batches and Fill Groups use: this
// machine unless a server was named (a domain controller's DNS name or
// address), for the whole run of the program.
#pragma once

#include "platform/wide_text.h"

namespace nomvera::accounts {

// Empty for this machine.
void SetAccountServer(const WideString& server);
const WideString& AccountServer();
// The server name every account-service call passes: null for this machine.
LPCWSTR AccountServerName();

// The banner line that names the account service in use:
// "Account service: LAB (dc1.lab.test)", "Account service: the local machine".
// The domain comes from the server's workstation record; a server that does
// not answer is named with the code of its failure.
WideString AccountServiceLine();

} // namespace nomvera::accounts
