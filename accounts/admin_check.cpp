#include "accounts/admin_check.h"

#include "accounts/account_server.h"
#include "accounts/netapi.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/security.h"
#include "platform/wide_text.h"
#include "support/bound_library.h"
#include "support/buffers.h"
#include "support/owner.h"
#include "support/platform_info.h"

#include <cstring>

namespace nomvera::accounts {
namespace {

constexpr DWORD kFirstGroupsBuffer = 10;
constexpr DWORD kMaxGroupsBuffer = 10240000;
constexpr DWORD kGroupsSpare = 1024;
constexpr std::int32_t kNameCapacity = 1024;
constexpr std::size_t kSidBlockSize = 2048;

support::TBoundLibrary securityLibrary;
support::TEntryPoint<ConvertStringSidToSidAFn> convertStringSidToSid{securityLibrary,
                                                                     "ConvertStringSidToSidA"};
support::TEntryPoint<GetTokenInformationFn> getTokenInformation{securityLibrary,
                                                                "GetTokenInformation"};
DWORD elevationTypeCell = 0;

struct NameCache {
    WideString name;
    bool valid = false;
};
NameCache administratorName;
NameCache remoteDesktopUsersName;
NameCache usersName;

BOOL BoundConvertStringSidToSidA(LPCSTR stringSid, PSID* sid) {
    auto entry = convertStringSidToSid.Get();
    return entry == nullptr ? FALSE : entry(stringSid, sid);
}

BOOL BoundGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                              DWORD length, PDWORD returnLength) {
    auto entry = getTokenInformation.Get();
    return entry == nullptr ? FALSE : entry(token, infoClass, info, length, returnLength);
}

// The name of a SID on the given machine (null: this one), empty when the
// look-up fails.
WideString NameOfSid(PSID sid, LPCWSTR server = nullptr) {
    using TOwnedText = support::TOwnedBuffer<support::TWideTextBuffer>;
    const TOwnedText name(support::NewWideTextBuffer(kNameCapacity));
    const TOwnedText domain(support::NewWideTextBuffer(kNameCapacity));
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
    const support::TOwnedBuffer<support::TAnsiTextBuffer> text(support::NewAnsiTextBuffer(12));
    WideString result;
    support::TLocalMemory<PSID> sid;
    try {
        std::memcpy(text->Data(), sidText, 12);
        if (BoundConvertStringSidToSidA(text->Data(), sid.Receive())) {
            // The group the batches fill lives with the accounts they make.
            result = NameOfSid(sid.Get(), AccountServerName());
        }
    } catch (...) {
        result.clear();
    }
    return result;
}

WideString LookUpAdministrator() {
    WideString result;
    TNetBuffer record;
    try {
        NET_API_STATUS status = NetUserModalsGet(nullptr, 2, record.Receive());
        if (status == NERR_Success && record) {
            PSID domain = reinterpret_cast<USER_MODALS_INFO_2*>(record.Get())->usrmod2_domain_id;
            BYTE count = *GetSidSubAuthorityCount(domain);
            const support::TOwnedBlock owned = support::NewZeroedBlock(kSidBlockSize);
            void* block = owned.Get().data;
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
    DWORD size = kFirstGroupsBuffer;
    DWORD needed = 0;
    bool found = false;
    support::TOwnedBlock groups = support::NewZeroedBlock(size);
    bool read =
        BoundGetTokenInformation(token, TokenGroups, groups.Get().data, size, &needed) != FALSE;
    if (!read && needed > 1 && needed <= kMaxGroupsBuffer) {
        groups.Reset();
        size = needed + kGroupsSpare;
        groups = support::NewZeroedBlock(size);
        read =
            BoundGetTokenInformation(token, TokenGroups, groups.Get().data, size, &needed) != FALSE;
    }
    if (read) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        PSID administrators = nullptr;
        if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                     0, 0, 0, 0, 0, 0, &administrators)) {
            const auto* list = static_cast<const TOKEN_GROUPS*>(groups.Get().data);
            for (DWORD i = 0; i < list->GroupCount && !found; ++i) {
                found = EqualSid(list->Groups[i].Sid, administrators) != FALSE;
            }
            FreeSid(administrators);
        }
    }
    return found;
}

} // namespace

void LoadSecurityLibrary(const char* libraryName) {
    securityLibrary.Load(libraryName);
}

void UnloadSecurityLibrary() {
    securityLibrary.Release();
    administratorName = {};
    remoteDesktopUsersName = {};
    usersName = {};
}

bool IsAdministratorOnVersion(std::int32_t windowsMajorVersion) {
    support::TOwnedHandle token;
    bool result = false;
    try {
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive()) || !token) {
            OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive());
        }
        if (token && HoldsAdministrators(token.Get())) {
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
    return result;
}

bool IsAdministrator() {
    return IsAdministratorOnVersion(support::Platform().WindowsMajorVersion);
}

std::int32_t GetTokenElevationType() {
    support::TOwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) || !token) {
        return -1;
    }
    DWORD length = 0;
    BOOL read = BoundGetTokenInformation(token.Get(), TokenElevationType, &elevationTypeCell,
                                         sizeof elevationTypeCell, &length);
    token.Reset();
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
