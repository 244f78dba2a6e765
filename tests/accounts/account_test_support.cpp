#include "tests/accounts/account_test_support.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/wide_text.h"

#include <sstream>

namespace nomvera::test {

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

void SandboxAccounts::SetUp() {
    NOMVERA_SKIP_UNLESS_ROOT();
    root_ = std::make_unique<SandboxRoot>();
    accounts::LoadAccountService("netapi32.dll");
    ASSERT_TRUE(accounts::AccountServiceLoaded());
}

void SandboxAccounts::TearDown() {
    accounts::UnloadAccountService();
    if (root_) {
        std::vector<std::string> complaints = root_->AccountFileComplaints();
        EXPECT_TRUE(complaints.empty()) << ::testing::PrintToString(complaints) << "\n"
                                        << root_->AccountFiles();
    }
    root_.reset();
}

NET_API_STATUS SandboxAccounts::AddUser(const WideString& name, const WideString& password,
                                        const WCHAR* comment) {
    USER_INFO_1 record{};
    record.usri1_name = const_cast<LPWSTR>(name.c_str());
    record.usri1_password = const_cast<LPWSTR>(password.c_str());
    record.usri1_priv = USER_PRIV_USER;
    record.usri1_comment = const_cast<LPWSTR>(comment);
    record.usri1_flags = UF_DONT_EXPIRE_PASSWD | UF_NORMAL_ACCOUNT;
    return NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&record), nullptr);
}

NET_API_STATUS SandboxAccounts::SetPassword(const WideString& name, const WideString& password) {
    USER_INFO_1 record{};
    record.usri1_name = const_cast<LPWSTR>(name.c_str());
    record.usri1_password = const_cast<LPWSTR>(password.c_str());
    record.usri1_priv = USER_PRIV_USER;
    record.usri1_comment = const_cast<LPWSTR>(kComment);
    record.usri1_flags = UF_DONT_EXPIRE_PASSWD | UF_NORMAL_ACCOUNT;
    return NetUserSetInfo(nullptr, name.c_str(), 1, reinterpret_cast<LPBYTE>(&record), nullptr);
}

NET_API_STATUS SandboxAccounts::AddLocalGroup(const WideString& name, const WCHAR* comment) {
    LOCALGROUP_INFO_1 record{const_cast<LPWSTR>(name.c_str()), const_cast<LPWSTR>(comment)};
    DWORD parmErr = 0;
    return NetLocalGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&record), &parmErr);
}

NET_API_STATUS SandboxAccounts::AddMember(const WideString& group, const WideString& user) {
    std::vector<BYTE> sid = SidOf(user);
    LOCALGROUP_MEMBERS_INFO_0 member{sid.empty() ? nullptr : sid.data()};
    return NetLocalGroupAddMembers(nullptr, group.c_str(), 0, reinterpret_cast<LPBYTE>(&member), 1);
}

std::vector<WideString> SandboxAccounts::LocalGroups() {
    LPBYTE block = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    std::vector<WideString> names;
    NET_API_STATUS status =
        NetLocalGroupEnum(nullptr, 0, &block, MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    EXPECT_EQ(status, NERR_Success);
    for (DWORD i = 0; status == NERR_Success && i < read; ++i) {
        names.emplace_back(reinterpret_cast<LOCALGROUP_INFO_0*>(block)[i].lgrpi0_name);
    }
    if (block != nullptr) {
        EXPECT_EQ(NetApiBufferFree(block), NERR_Success);
    }
    return names;
}

std::vector<BYTE> SandboxAccounts::SidOf(const WideString& name) {
    std::vector<BYTE> sid(1024);
    WideString domain(1024, WIDE('\0'));
    DWORD sidSize = static_cast<DWORD>(sid.size());
    DWORD domainSize = static_cast<DWORD>(domain.size());
    SID_NAME_USE use{};
    if (!LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(), &domainSize,
                            &use)) {
        return {};
    }
    sid.resize(sidSize);
    return sid;
}

std::string SandboxAccounts::SidTextOf(const WideString& name) {
    std::vector<BYTE> sid = SidOf(name);
    LPSTR text = nullptr;
    if (sid.empty() || !ConvertSidToStringSidA(sid.data(), &text)) {
        return {};
    }
    std::string result = text;
    LocalFree(text);
    return result;
}

HANDLE SandboxAccounts::Logon(const WideString& name, const WideString& password, DWORD* code) {
    HANDLE token = nullptr;
    SetLastError(0);
    LogonUserW(name.c_str(), nullptr, password.c_str(), LOGON32_LOGON_NETWORK,
               LOGON32_PROVIDER_DEFAULT, &token);
    if (code != nullptr) {
        *code = GetLastError();
    }
    return token;
}

void SandboxAccounts::ReplaceLine(const std::string& file, const std::string& startsWith,
                                  const std::string& line) const {
    std::istringstream in(ReadTextFile(Root() / file));
    std::string result;
    std::string current;
    bool replaced = false;
    while (std::getline(in, current)) {
        if (!replaced && current.rfind(startsWith, 0) == 0) {
            current = line;
            replaced = true;
        }
        result += current + "\n";
    }
    ASSERT_TRUE(replaced) << startsWith << " not in " << file;
    WriteTextFile(Root() / file, result);
}

} // namespace nomvera::test
