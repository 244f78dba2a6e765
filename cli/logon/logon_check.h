// check-users: whether an account can log on through the machine's own
// logon stack, as a user at the console or over the network would.
#pragma once

#include <string>

namespace nomvera::cli {

struct TLogonResult {
    bool passed = false;
    // When it did not pass: the step that refused ("pam_authenticate",
    // "pam_acct_mgmt", …) and the logon stack's own words for it, with its
    // code in square brackets, followed by what the stack told the user.
    std::string step;
    std::string message;
};

// Linux: pam_start with the service (its /etc/pam.d file), pam_authenticate,
// then pam_acct_mgmt, answering every hidden prompt with the password.
// Windows: LogonUserW, network logon. The password is wiped from every copy
// this function makes.
TLogonResult CheckLogon(const std::string& service, const std::string& user,
                        const std::string& password);

// Whether NOMVERA_SYSROOT names the machine itself (unset, empty, or the same
// folder as "/"). The logon stack reads the machine's own configuration, so
// logons can be checked only there.
bool SystemRootIsThisMachine();

} // namespace nomvera::cli
