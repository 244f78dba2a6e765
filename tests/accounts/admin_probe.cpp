// Run by the administrator-check test under another uid: prints what the
// check and the account service say to this process, one "key=value" a line.
#include "accounts/admin_check.h"
#include "accounts/netapi.h"
#include "platform/wide_text.h"

#include <cstdio>
#include <string>

int main() {
    nomvera::accounts::LoadAccountService("netapi32.dll");
    nomvera::accounts::LoadSecurityLibrary("advapi32.dll");
    WideString name = WIDE("probe001");
    WideString password = WIDE("pass001");
    USER_INFO_1 record{};
    record.usri1_name = name.data();
    record.usri1_password = password.data();
    record.usri1_priv = USER_PRIV_USER;
    record.usri1_flags = UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD;
    std::printf("administrator=%d\n", nomvera::accounts::IsAdministratorOnVersion(10) ? 1 : 0);
    std::printf("administrator-on-5=%d\n", nomvera::accounts::IsAdministratorOnVersion(5) ? 1 : 0);
    std::printf("elevation=%d\n", nomvera::accounts::GetTokenElevationType());
    std::printf("add=%u\n", NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&record), nullptr));
    std::printf("delete=%u\n", NetUserDel(nullptr, WIDE("root")));
    std::printf("group=%u\n", NetLocalGroupDel(nullptr, WIDE("tsusers")));
    nomvera::accounts::UnloadSecurityLibrary();
    nomvera::accounts::UnloadAccountService();
    return 0;
}
