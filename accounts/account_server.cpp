#include "accounts/account_server.h"

#include "accounts/netapi.h"
#include "support/text.h"

namespace nomvera::accounts {
namespace {

WideString& Server() {
    static WideString server;
    return server;
}

} // namespace

void SetAccountServer(const WideString& server) {
    Server() = server;
}

const WideString& AccountServer() {
    return Server();
}

LPCWSTR AccountServerName() {
    return Server().empty() ? nullptr : Server().c_str();
}

WideString AccountServiceLine() {
    const WideString prefix = WIDE("Account service: ");
    if (Server().empty()) {
        return prefix + WIDE("the local machine");
    }
    LPBYTE buffer = nullptr;
    const NET_API_STATUS status = NetWkstaGetInfo(AccountServerName(), 100, &buffer);
    WideString domain;
    if (status == NERR_Success && buffer != nullptr) {
        const auto* info = reinterpret_cast<const WKSTA_INFO_100*>(buffer);
        if (info->wki100_langroup != nullptr) {
            domain = info->wki100_langroup;
        }
    }
    if (buffer != nullptr) {
        NetApiBufferFree(buffer);
    }
    if (status != NERR_Success) {
        return prefix + WIDE("(") + Server() + WIDE(") ") +
               support::WidenText(support::SystemMessageText(status));
    }
    return prefix + domain + WIDE(" (") + Server() + WIDE(")");
}

} // namespace nomvera::accounts
