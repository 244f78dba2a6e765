// check-users: a real logon for every account of a series, one line each.
#pragma once

#include "batches/batch_host.h"

#include <string>

namespace nomvera::cli {

// Logs "Begin: Check Users", then for account NAME001 … (prefix and password
// prefix from the host) "Logon checked[NAME]" or the error line with the
// step that refused and the logon stack's own words, then the summary line
// and "End: Check Users". service: the PAM service (Linux); unused on
// Windows, where the logon is LogonUserW's network logon.
void CheckUsersBatch(batches::TBatchHost& host, const std::string& service);

} // namespace nomvera::cli
