#include "accounts/account_server.h"

#include "accounts/netapi.h"
#include "platform/environment.h"
#include "support/text.h"

#include <cstdlib>

#if !defined(_WIN32)
#include "platform/posix/services/account_credentials.h"
#endif

namespace nomvera::accounts {
namespace {

WideString& Server() {
    static WideString server;
    return server;
}

// This machine's name as the system gives it; empty when it gives none.
WideString ThisMachineName() {
    WCHAR name[256] = {};
    DWORD size = 256;
    return GetComputerNameW(name, &size) ? WideString(name, size) : WideString();
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
        const WideString name = ThisMachineName();
        return prefix + (name.empty() ? WIDE("this machine") : support::ShownText(name)) +
               WIDE(" (local)");
    }
    TNetBuffer buffer;
    const NET_API_STATUS status = NetWkstaGetInfo(AccountServerName(), 100, buffer.Receive());
    WideString domain;
    if (status == NERR_Success && buffer) {
        const auto* info = reinterpret_cast<const WKSTA_INFO_100*>(buffer.Get());
        if (info->wki100_langroup != nullptr) {
            domain = info->wki100_langroup;
        }
    }
    if (status != NERR_Success) {
        return prefix + WIDE("(") + support::ShownText(Server()) + WIDE(") ") +
               support::WidenText(support::SystemMessageText(status));
    }
    return prefix + support::ShownText(domain) + WIDE(" (") + support::ShownText(Server()) +
           WIDE(")");
}

std::vector<TAccountServiceLine> AccountServiceLines() {
    // This machine: the one line that names it; the caller's own sign-in.
    if (Server().empty()) {
        return {{false, AccountServiceLine()}};
    }
    std::vector<TAccountServiceLine> lines{{false, AccountServiceLine()}};
    const WideString prefix = WIDE("Account service sign-in: ");
#if defined(_WIN32)
    lines.push_back({false, prefix + WIDE("the logon of this session")});
#else
    std::optional<posix::AccountCredentials> credentials;
    const char* path = std::getenv(posix::kAccountCredentialsVariable);
    if (path != nullptr && *path != '\0') {
        posix::CredentialsRead read = posix::ReadCredentialsFile(path);
        if (!read.credentials) {
            lines.push_back({true, prefix + WIDE("refused: ") + support::WidenText(read.error)});
            return lines;
        }
        credentials = std::move(read.credentials);
    }
    const std::string server = support::NarrowText(Server());
    const posix::SignInWay way = posix::WayOfSigningIn(server, credentials);
    lines.push_back({false, prefix + support::WidenText(posix::DescribeSignIn(way, credentials))});
#endif
    return lines;
}

void SetAccountServerFromEnvironment() {
    const char* server = std::getenv("NOMVERA_ACCOUNT_SERVER");
    SetAccountServer(server != nullptr ? support::WidenText(server) : WideString());
}

} // namespace nomvera::accounts
