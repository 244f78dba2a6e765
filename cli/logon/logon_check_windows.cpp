#include "cli/logon/logon_check.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/memory_wipe.h"
#include "platform/security.h"
#include "platform/wide_text.h"
#include "support/text.h"

namespace nomvera::cli {

TLogonResult CheckLogon(const std::string& service, const std::string& user,
                        const std::string& password) {
    (void)service; // PAM only
    TLogonResult result;
    const WideString wideUser = support::WidenText(user);
    WideString widePassword = support::WidenText(password);
    HANDLE token = nullptr;
    SetLastError(0);
    // "." : the account of this machine, never a domain account of that name.
    const BOOL loggedOn = LogonUserW(wideUser.c_str(), WIDE("."), widePassword.c_str(),
                                     LOGON32_LOGON_NETWORK, LOGON32_PROVIDER_DEFAULT, &token);
    const DWORD code = GetLastError();
    platform::WipeMemory(widePassword.data(), widePassword.size() * sizeof(WCHAR));
    if (loggedOn) {
        CloseHandle(token);
        result.passed = true;
    } else {
        result.step = "LogonUserW";
        result.message = support::SystemMessageText(code);
    }
    return result;
}

bool SystemRootIsThisMachine() {
    return true; // Windows acts on the machine itself only
}

} // namespace nomvera::cli
