// Tokens and the network logon.
//
// A process's token holds its effective uid and its groups (the process's own
// gids and the groups of the root's group file that name its user). Its
// elevation: effective uid 0 is full (2); a member of the administrators'
// group under another uid is limited (3); anyone else is default (1). Only a
// full token carries S-1-5-32-544 as an enabled group; a limited one carries
// it for deny only.
#include "platform/errors.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/shadow_tools.h"
#include "platform/posix/services/sysroot.h"
#include "platform/posix/services/tokens.h"
#include "platform/security.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <unistd.h>

namespace nomvera::posix {
namespace {

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(~std::uintptr_t{0});
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(~std::uintptr_t{1});
constexpr DWORD kEnabledGroup = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;

void AddGid(std::vector<gid_t>& gids, gid_t gid) {
    if (std::find(gids.begin(), gids.end(), gid) == gids.end()) {
        gids.push_back(gid);
    }
}

void SetElevation(TokenObject& token) {
    auto admins = AdministratorsGroup();
    token.administratorsMember =
        token.uid == 0 || (admins && std::find(token.gids.begin(), token.gids.end(), admins->gid) !=
                                         token.gids.end());
    if (token.uid == 0) {
        token.elevation = TokenElevationTypeFull;
    } else if (token.administratorsMember) {
        token.elevation = TokenElevationTypeLimited;
    } else {
        token.elevation = TokenElevationTypeDefault;
    }
}

std::unique_ptr<TokenObject> ProcessToken() {
    auto token = std::make_unique<TokenObject>();
    token->uid = geteuid();
    AddGid(token->gids, getegid());
    int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> own(static_cast<std::size_t>(count));
        count = getgroups(count, own.data());
        for (int i = 0; i < count; ++i) {
            AddGid(token->gids, own[static_cast<std::size_t>(i)]);
        }
    }
    if (auto user = FindUserByUid(token->uid)) {
        for (gid_t gid : GroupsOfUser(*user)) {
            AddGid(token->gids, gid);
        }
    }
    SetElevation(*token);
    return token;
}

struct GroupSids {
    std::vector<std::pair<SidValue, DWORD>> entries;
};

GroupSids SidsOf(const TokenObject& token) {
    GroupSids sids;
    SidValue admins = BuiltinAliasSid(DOMAIN_ALIAS_RID_ADMINS);
    bool adminsListed = false;
    for (gid_t gid : token.gids) {
        auto sid = GroupSid(gid);
        if (!sid) {
            continue;
        }
        bool isAdmins = *sid == admins;
        if (isAdmins) {
            if (adminsListed) {
                continue;
            }
            adminsListed = true;
        }
        DWORD attributes = isAdmins && token.elevation == TokenElevationTypeLimited
                               ? SE_GROUP_USE_FOR_DENY_ONLY
                               : kEnabledGroup;
        sids.entries.emplace_back(*sid, attributes);
    }
    if (token.administratorsMember && !adminsListed) {
        DWORD attributes = token.elevation == TokenElevationTypeLimited ? SE_GROUP_USE_FOR_DENY_ONLY
                                                                        : kEnabledGroup;
        sids.entries.emplace_back(admins, attributes);
    }
    return sids;
}

bool Reply(DWORD needed, DWORD infoLength, LPVOID info, PDWORD returnLength) {
    if (returnLength != nullptr) {
        *returnLength = needed;
    }
    if (info == nullptr || infoLength < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return true;
}

long Today() {
    return static_cast<long>(std::time(nullptr) / 86400);
}

} // namespace

BOOL TokenInformation(HANDLE handle, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                      DWORD infoLength, PDWORD returnLength) {
    auto* token = platform::HandleObjectOrFail<TokenObject>(handle);
    if (token == nullptr) {
        return FALSE;
    }
    switch (infoClass) {
    case TokenElevationType: {
        if (!Reply(sizeof(DWORD), infoLength, info, returnLength)) {
            return FALSE;
        }
        DWORD type = token->elevation;
        std::memcpy(info, &type, sizeof type);
        return TRUE;
    }
    case TokenUser: {
        auto sid = UserSid(token->uid);
        if (!sid) {
            SetLastError(ERROR_NONE_MAPPED);
            return FALSE;
        }
        DWORD needed = static_cast<DWORD>(sizeof(SID_AND_ATTRIBUTES)) + sid->Size();
        if (!Reply(needed, infoLength, info, returnLength)) {
            return FALSE;
        }
        auto* entry = static_cast<SID_AND_ATTRIBUTES*>(info);
        BYTE* raw = static_cast<BYTE*>(info) + sizeof(SID_AND_ATTRIBUTES);
        sid->WriteTo(raw);
        entry->Sid = raw;
        entry->Attributes = 0;
        return TRUE;
    }
    case TokenGroups: {
        GroupSids sids = SidsOf(*token);
        std::size_t header =
            offsetof(TOKEN_GROUPS, Groups) +
            sizeof(SID_AND_ATTRIBUTES) * std::max<std::size_t>(1, sids.entries.size());
        std::size_t needed = header;
        for (auto& [sid, attributes] : sids.entries) {
            needed += sid.Size();
        }
        if (!Reply(static_cast<DWORD>(needed), infoLength, info, returnLength)) {
            return FALSE;
        }
        auto* groups = static_cast<TOKEN_GROUPS*>(info);
        BYTE* raw = static_cast<BYTE*>(info) + header;
        groups->GroupCount = static_cast<DWORD>(sids.entries.size());
        for (std::size_t i = 0; i < sids.entries.size(); ++i) {
            sids.entries[i].first.WriteTo(raw);
            groups->Groups[i].Sid = raw;
            groups->Groups[i].Attributes = sids.entries[i].second;
            raw += sids.entries[i].first.Size();
        }
        return TRUE;
    }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

} // namespace nomvera::posix

using nomvera::posix::TokenObject;

HANDLE GetCurrentProcess() {
    return nomvera::posix::kCurrentProcess;
}

HANDLE GetCurrentThread() {
    return nomvera::posix::kCurrentThread;
}

BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    if (token == nullptr || process != nomvera::posix::kCurrentProcess) {
        SetLastError(token == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    (void)access;
    *token = nomvera::platform::RegisterHandle(nomvera::posix::ProcessToken());
    return TRUE;
}

BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, PHANDLE token) {
    (void)access;
    (void)openAsSelf;
    if (token == nullptr || thread != nomvera::posix::kCurrentThread) {
        SetLastError(token == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // No thread here ever impersonates, so no thread has a token of its own.
    *token = nullptr;
    SetLastError(ERROR_NO_TOKEN);
    return FALSE;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                         DWORD infoLength, PDWORD returnLength) {
    return nomvera::posix::TokenInformation(token, infoClass, info, infoLength, returnLength);
}

BOOL LogonUserW(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logonType,
                DWORD logonProvider, PHANDLE token) {
    using namespace nomvera::posix;
    if (token != nullptr) {
        *token = nullptr;
    }
    if (user == nullptr || password == nullptr || token == nullptr ||
        logonProvider != LOGON32_PROVIDER_DEFAULT ||
        (logonType != LOGON32_LOGON_NETWORK && logonType != LOGON32_LOGON_INTERACTIVE &&
         logonType != LOGON32_LOGON_NETWORK_CLEARTEXT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsLocalMachineName(domain)) {
        SetLastError(ERROR_LOGON_FAILURE);
        return FALSE;
    }
    auto name = Utf16ToUtf8(user);
    auto secret = Utf16ToUtf8(password);
    auto account = name ? FindUserByName(*name) : std::nullopt;
    auto shadow = account ? FindShadowByName(account->name) : std::nullopt;
    if (!secret || !account || !shadow) {
        SetLastError(account && !shadow && geteuid() != 0 ? ERROR_ACCESS_DENIED
                                                          : ERROR_LOGON_FAILURE);
        return FALSE;
    }
    // A locked account keeps its hash behind "!": the right password then
    // learns that the account is disabled, a wrong one only that it failed.
    std::string hash = shadow->hash;
    bool locked = !hash.empty() && hash[0] == '!';
    if (locked) {
        hash.erase(0, hash.find_first_not_of('!'));
    }
    bool matches = PasswordMatches(*secret, hash);
    std::fill(secret->begin(), secret->end(), '\0');
    if (!matches) {
        SetLastError(ERROR_LOGON_FAILURE);
        return FALSE;
    }
    long today = Today();
    DWORD refusal = ERROR_SUCCESS;
    if (locked) {
        refusal = ERROR_ACCOUNT_DISABLED;
    } else if (shadow->expireDay >= 0 && shadow->expireDay <= today) {
        refusal = ERROR_ACCOUNT_EXPIRED;
    } else if (shadow->lastChange == 0) {
        refusal = ERROR_PASSWORD_MUST_CHANGE;
    } else if (shadow->lastChange > 0 && shadow->maxDays >= 0 && shadow->maxDays < 99999 &&
               shadow->lastChange + shadow->maxDays < today) {
        refusal = ERROR_PASSWORD_EXPIRED;
    }
    if (refusal != ERROR_SUCCESS) {
        SetLastError(refusal);
        return FALSE;
    }
    auto logon = std::make_unique<TokenObject>();
    logon->uid = account->uid;
    logon->gids = GroupsOfUser(*account);
    SetElevation(*logon);
    *token = nomvera::platform::RegisterHandle(std::move(logon));
    return TRUE;
}
