#include "accounts/admin_check.h"

#include "accounts/account_server.h"
#include "accounts/netapi.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/libloader.h"
#include "platform/security.h"
#include "platform/wide_text.h"
#include "support/buffers.h"
#include "support/platform_info.h"

#include <cstring>

namespace nomvera::accounts {
namespace {

constexpr DWORD kFirstGroupsBuffer = 10;
constexpr DWORD kMaxGroupsBuffer = 10240000;
constexpr DWORD kGroupsSpare = 1024;
constexpr std::int32_t kNameCapacity = 1024;
constexpr std::size_t kSidBlockSize = 2048;

HMODULE securityLibrary = nullptr;
ConvertStringSidToSidAFn convertStringSidToSid = nullptr;
GetTokenInformationFn getTokenInformation = nullptr;
DWORD elevationTypeCell = 0;

struct NameCache {
    WideString name;
    bool valid = false;
};
NameCache administratorName;
NameCache remoteDesktopUsersName;
NameCache usersName;

template <class Fn> Fn BindOnFirstUse(Fn& slot, const char* name) {
    if (slot == nullptr && securityLibrary != nullptr) {
        slot = platform::EntryPointAs<Fn>(GetProcAddress(securityLibrary, name));
    }
    return securityLibrary == nullptr ? nullptr : slot;
}

BOOL BoundConvertStringSidToSidA(LPCSTR stringSid, PSID* sid) {
    auto entry = BindOnFirstUse(convertStringSidToSid, "ConvertStringSidToSidA");
    return entry == nullptr ? FALSE : entry(stringSid, sid);
}

BOOL BoundGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                              DWORD length, PDWORD returnLength) {
    auto entry = BindOnFirstUse(getTokenInformation, "GetTokenInformation");
    return entry == nullptr ? FALSE : entry(token, infoClass, info, length, returnLength);
}

// The name of a SID on the given machine (null: this one), empty when the
// look-up fails.
WideString NameOfSid(PSID sid, LPCWSTR server = nullptr) {
    support::TWideTextBuffer* name = support::NewWideTextBuffer(kNameCapacity);
    support::TWideTextBuffer* domain = support::NewWideTextBuffer(kNameCapacity);
    WideString result;
    try {
        DWORD nameLength = name->Length();
        DWORD domainLength = domain->Length();
        SID_NAME_USE use{};
        if (LookupAccountSidW(server, sid, name->Data(), &nameLength, domain->Data(), &domainLength,
                              &use)) {
            result = name->ToString();
        }
    } catch (...) {
        result.clear();
    }
    support::FreeAndNilBuffer(name);
    support::FreeAndNilBuffer(domain);
    return result;
}

WideString CachedName(NameCache& cache, WideString (*lookUp)()) {
    if (cache.valid && !cache.name.empty()) {
        return cache.name;
    }
    WideString name = lookUp();
    cache.name = name;
    cache.valid = !name.empty();
    return name;
}

WideString NameOfSidText(const char (&sidText)[13]) {
    support::TAnsiTextBuffer* text = support::NewAnsiTextBuffer(12);
    WideString result;
    PSID sid = nullptr;
    try {
        std::memcpy(text->Data(), sidText, 12);
        if (BoundConvertStringSidToSidA(text->Data(), &sid)) {
            // The group the batches fill lives with the accounts they make.
            result = NameOfSid(sid, AccountServerName());
        }
    } catch (...) {
        result.clear();
    }
    if (sid != nullptr) {
        LocalFree(sid);
    }
    support::FreeAndNilBuffer(text);
    return result;
}

WideString LookUpAdministrator() {
    WideString result;
    LPBYTE record = nullptr;
    void* block = nullptr;
    try {
        NET_API_STATUS status = NetUserModalsGet(nullptr, 2, &record);
        if (status == NERR_Success && record != nullptr) {
            PSID domain = reinterpret_cast<USER_MODALS_INFO_2*>(record)->usrmod2_domain_id;
            BYTE count = *GetSidSubAuthorityCount(domain);
            support::AllocZeroedBlock(block, kSidBlockSize);
            if (InitializeSid(block, GetSidIdentifierAuthority(domain),
                              static_cast<BYTE>(count + 1))) {
                for (BYTE i = 0; i < count; ++i) {
                    *GetSidSubAuthority(block, i) = *GetSidSubAuthority(domain, i);
                }
                *GetSidSubAuthority(block, count) = DOMAIN_USER_RID_ADMIN;
                result = NameOfSid(block);
            }
        }
    } catch (...) {
        result.clear();
    }
    support::WipeAndFreeBlock(block, kSidBlockSize);
    if (record != nullptr) {
        NetApiBufferFree(record);
    }
    return result;
}

WideString LookUpRemoteDesktopUsers() {
    return NameOfSidText("S-1-5-32-555");
}

WideString LookUpUsers() {
    return NameOfSidText("S-1-5-32-545");
}

// Whether the token's groups hold S-1-5-32-544; attributes are not looked at.
bool HoldsAdministrators(HANDLE token) {
    void* groups = nullptr;
    DWORD size = kFirstGroupsBuffer;
    DWORD needed = 0;
    bool found = false;
    support::AllocZeroedBlock(groups, size);
    bool read = BoundGetTokenInformation(token, TokenGroups, groups, size, &needed) != FALSE;
    if (!read && needed > 1 && needed <= kMaxGroupsBuffer) {
        support::WipeAndFreeBlock(groups, size);
        size = needed + kGroupsSpare;
        support::AllocZeroedBlock(groups, size);
        read = BoundGetTokenInformation(token, TokenGroups, groups, size, &needed) != FALSE;
    }
    if (read) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID administrators = nullptr;
        if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                     0, 0, 0, 0, 0, 0, &administrators)) {
            const auto* list = static_cast<const TOKEN_GROUPS*>(groups);
            for (DWORD i = 0; i < list->GroupCount && !found; ++i) {
                found = EqualSid(list->Groups[i].Sid, administrators) != FALSE;
            }
            FreeSid(administrators);
        }
    }
    support::WipeAndFreeBlock(groups, size);
    return found;
}

} // namespace

void LoadSecurityLibrary(const char* libraryName) {
    if (securityLibrary == nullptr) {
        securityLibrary = LoadLibraryA(libraryName);
    }
}

void UnloadSecurityLibrary() {
    if (securityLibrary != nullptr) {
        FreeLibrary(securityLibrary);
        securityLibrary = nullptr;
    }
    convertStringSidToSid = nullptr;
    getTokenInformation = nullptr;
    administratorName = {};
    remoteDesktopUsersName = {};
    usersName = {};
}

bool IsAdministratorOnVersion(std::int32_t windowsMajorVersion) {
    HANDLE token = nullptr;
    bool result = false;
    try {
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) || token == nullptr) {
            if (token != nullptr) {
                CloseHandle(token);
            }
            token = nullptr;
            OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
        }
        if (token != nullptr && HoldsAdministrators(token)) {
            if (windowsMajorVersion >= 6) {
                elevationTypeCell = 0;
                GetTokenElevationType();
                result = elevationTypeCell == TokenElevationTypeDefault ||
                         elevationTypeCell == TokenElevationTypeFull;
            } else {
                result = true;
            }
        }
    } catch (...) {
        result = false;
    }
    if (token != nullptr) {
        CloseHandle(token);
    }
    return result;
}

bool IsAdministrator() {
    return IsAdministratorOnVersion(support::Platform().WindowsMajorVersion);
}

std::int32_t GetTokenElevationType() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) || token == nullptr) {
        return -1;
    }
    DWORD length = 0;
    BOOL read = BoundGetTokenInformation(token, TokenElevationType, &elevationTypeCell,
                                         sizeof elevationTypeCell, &length);
    CloseHandle(token);
    return read ? static_cast<std::int32_t>(elevationTypeCell) : -2;
}

WideString GetAdministratorAccountName() {
    return CachedName(administratorName, LookUpAdministrator);
}

WideString GetRemoteDesktopUsersGroupName() {
    return CachedName(remoteDesktopUsersName, LookUpRemoteDesktopUsers);
}

WideString GetUsersGroupName() {
    return CachedName(usersName, LookUpUsers);
}

std::vector<WideString> MissingBuiltInGroupLines() {
    struct TBuiltIn {
        const WCHAR* title;
        WideString name;
        // The local group that stands for it on Linux (platform/posix).
        const WCHAR* posixName;
    };
    const TBuiltIn builtIns[] = {
        {WIDE("Remote Desktop Users"), GetRemoteDesktopUsersGroupName(), WIDE("tsusers")},
        {WIDE("Users"), GetUsersGroupName(), WIDE("users")},
    };
    std::vector<WideString> lines;
    for (const TBuiltIn& group : builtIns) {
        if (!group.name.empty()) {
            continue;
        }
#if defined(_WIN32)
        lines.push_back(WIDE("Built-in group ") + WideString(group.title) +
                        WIDE(" not found: new users do not join it"));
#else
        const WideString name = group.posixName;
        lines.push_back(WIDE("Built-in group ") + WideString(group.title) + WIDE(" (") + name +
                        WIDE(") not found: create it with groupadd ") + name +
                        WIDE(" to have new users join it"));
#endif
    }
    return lines;
}

} // namespace nomvera::accounts
