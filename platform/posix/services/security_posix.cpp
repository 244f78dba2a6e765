// SIDs, account look-ups and the blocks the security and account services
// hand out.
#include "platform/errors.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/netapi_remote.h"
#include "platform/posix/services/sids.h"
#include "platform/posix/services/state_files.h"
#include "platform/posix/services/sysroot.h"
#include "platform/security.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <unordered_map>

namespace nomvera::posix {
namespace {

constexpr std::uint64_t kNtAuthority = 5;
constexpr DWORD kMachineDomainRid = 21;

struct BlockTable {
    std::mutex lock;
    std::unordered_map<void*, BlockKind> live;
};

BlockTable& Blocks() {
    static auto* table = new BlockTable; // outlives every static destructor
    return *table;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    return Upper(a) == Upper(b);
}

// The alias RID a group stands for, or 0.
DWORD AliasRidOfGroup(const GroupEntry& group) {
    auto admins = AdministratorsGroup();
    if (admins && admins->gid == group.gid) {
        return DOMAIN_ALIAS_RID_ADMINS;
    }
    if (group.name == "users") {
        return DOMAIN_ALIAS_RID_USERS;
    }
    if (group.name == "tsusers") {
        return DOMAIN_ALIAS_RID_REMOTE_DESKTOP_USERS;
    }
    return 0;
}

std::optional<GroupEntry> GroupOfAlias(DWORD rid) {
    switch (rid) {
    case DOMAIN_ALIAS_RID_ADMINS:
        return AdministratorsGroup();
    case DOMAIN_ALIAS_RID_USERS:
        return FindGroupByName("users");
    case DOMAIN_ALIAS_RID_REMOTE_DESKTOP_USERS:
        return FindGroupByName("tsusers");
    default:
        return std::nullopt;
    }
}

std::optional<SidValue> DomainMember(std::uint64_t rid) {
    auto domain = MachineDomainSid();
    if (!domain || rid > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    domain->subAuthorities.push_back(static_cast<std::uint32_t>(rid));
    return domain;
}

bool ParseNumber(const std::string& text, std::uint64_t& value) {
    if (text.empty()) {
        return false;
    }
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        int digit;
        char c = text[i];
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
            digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        } else {
            return false;
        }
        if (value > (0xFFFFFFFFFFFFull - static_cast<std::uint64_t>(digit)) /
                        static_cast<std::uint64_t>(base)) {
            return false;
        }
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return start < text.size();
}

// The SID of a deleted account whose profile is still registered under its
// name, as Windows still names the SID of a deleted account that has a
// profile; the latest such registration whose uid no account holds now.
std::optional<SidValue> DeletedAccountSid(const std::string& name) {
    std::optional<SidValue> found;
    for (const auto& entry : ReadProfileList()) {
        if (entry.name && *entry.name == name && !FindUserByUid(entry.uid) &&
            entry.state != ProfileRegistration::State::Orphaned) {
            auto sid = ParseSidString(entry.sid);
            if (sid && UidOfSid(*sid) == entry.uid) {
                found = sid;
            }
        }
    }
    return found;
}

} // namespace

std::string SidValue::ToString() const {
    std::string text = "S-1-";
    if (authority >= (1ull << 32)) {
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(authority));
        text += hex;
    } else {
        text += std::to_string(authority);
    }
    for (std::uint32_t sub : subAuthorities) {
        text += '-';
        text += std::to_string(sub);
    }
    return text;
}

DWORD SidValue::Size() const {
    return static_cast<DWORD>(8 + 4 * subAuthorities.size());
}

void SidValue::WriteTo(void* raw) const {
    auto* bytes = static_cast<BYTE*>(raw);
    bytes[0] = 1;
    bytes[1] = static_cast<BYTE>(subAuthorities.size());
    for (int i = 0; i < 6; ++i) {
        bytes[2 + i] = static_cast<BYTE>(authority >> (8 * (5 - i)));
    }
    for (std::size_t i = 0; i < subAuthorities.size(); ++i) {
        std::uint32_t sub = subAuthorities[i];
        std::memcpy(bytes + 8 + 4 * i, &sub, 4);
    }
}

std::optional<SidValue> ReadSid(const void* sid) {
    if (sid == nullptr) {
        return std::nullopt;
    }
    const auto* bytes = static_cast<const BYTE*>(sid);
    if (bytes[0] != 1 || bytes[1] > kMaxSubAuthorities) {
        return std::nullopt;
    }
    SidValue value;
    for (int i = 0; i < 6; ++i) {
        value.authority = (value.authority << 8) | bytes[2 + i];
    }
    for (BYTE i = 0; i < bytes[1]; ++i) {
        std::uint32_t sub;
        std::memcpy(&sub, bytes + 8 + 4 * i, 4);
        value.subAuthorities.push_back(sub);
    }
    return value;
}

std::optional<SidValue> ParseSidString(const std::string& text) {
    if (text.size() < 5 || (text[0] != 'S' && text[0] != 's') || text.compare(1, 3, "-1-") != 0) {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::size_t start = 4;
    while (true) {
        std::size_t dash = text.find('-', start);
        parts.push_back(
            text.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
        if (dash == std::string::npos) {
            break;
        }
        start = dash + 1;
    }
    if (parts.size() > kMaxSubAuthorities + 1) {
        return std::nullopt;
    }
    SidValue value;
    if (!ParseNumber(parts[0], value.authority)) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::uint64_t sub = 0;
        if (!ParseNumber(parts[i], sub) || sub > 0xFFFFFFFFull) {
            return std::nullopt;
        }
        value.subAuthorities.push_back(static_cast<std::uint32_t>(sub));
    }
    return value;
}

std::optional<SidValue> MachineDomainSid() {
    std::ifstream in(InSystemRoot("/etc/machine-id"));
    std::string id;
    std::getline(in, id);
    if (id.size() < 24) {
        return std::nullopt;
    }
    BYTE bytes[12];
    for (int i = 0; i < 12; ++i) {
        char pair[3] = {id[2 * i], id[2 * i + 1], 0};
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
            return std::nullopt;
        }
        bytes[i] = static_cast<BYTE>(std::strtoul(pair, nullptr, 16));
    }
    SidValue sid{kNtAuthority, {kMachineDomainRid}};
    for (int i = 0; i < 3; ++i) {
        std::uint32_t number;
        std::memcpy(&number, bytes + 4 * i, 4); // little-endian, as Windows keeps them
        sid.subAuthorities.push_back(number);
    }
    return sid;
}

SidValue BuiltinAliasSid(DWORD rid) {
    return SidValue{kNtAuthority, {SECURITY_BUILTIN_DOMAIN_RID, rid}};
}

std::optional<SidValue> UserSid(uid_t uid) {
    if (uid == 0) {
        return DomainMember(DOMAIN_USER_RID_ADMIN);
    }
    return DomainMember(1000ull + 2ull * uid);
}

std::optional<SidValue> GroupSid(gid_t gid) {
    if (auto group = FindGroupByGid(gid)) {
        if (DWORD alias = AliasRidOfGroup(*group)) {
            return BuiltinAliasSid(alias);
        }
    }
    return DomainMember(1001ull + 2ull * gid);
}

std::optional<uid_t> UidOfSid(const SidValue& sid) {
    auto domain = MachineDomainSid();
    if (!domain || sid.subAuthorities.size() != domain->subAuthorities.size() + 1 ||
        sid.authority != domain->authority ||
        !std::equal(domain->subAuthorities.begin(), domain->subAuthorities.end(),
                    sid.subAuthorities.begin())) {
        return std::nullopt;
    }
    std::uint32_t rid = sid.subAuthorities.back();
    if (rid == DOMAIN_USER_RID_ADMIN) {
        return 0;
    }
    if (rid > 1000 && rid % 2 == 0) {
        return static_cast<uid_t>((rid - 1000) / 2);
    }
    return std::nullopt;
}

std::optional<AccountOfSidResult> AccountOfSid(const SidValue& sid) {
    if (sid.authority == kNtAuthority && !sid.subAuthorities.empty() &&
        sid.subAuthorities[0] == SECURITY_BUILTIN_DOMAIN_RID) {
        if (sid.subAuthorities.size() == 1) {
            return AccountOfSidResult{"BUILTIN", "BUILTIN", SidTypeDomain};
        }
        if (sid.subAuthorities.size() == 2) {
            if (auto group = GroupOfAlias(sid.subAuthorities[1])) {
                return AccountOfSidResult{group->name, "BUILTIN", SidTypeAlias};
            }
        }
        return std::nullopt;
    }
    auto domain = MachineDomainSid();
    if (!domain) {
        return std::nullopt;
    }
    std::string machine = MachineName();
    if (sid == *domain) {
        return AccountOfSidResult{machine, machine, SidTypeDomain};
    }
    if (auto uid = UidOfSid(sid)) {
        if (auto user = FindUserByUid(*uid)) {
            return AccountOfSidResult{user->name, machine, SidTypeUser};
        }
        return std::nullopt;
    }
    if (sid.subAuthorities.size() == domain->subAuthorities.size() + 1 &&
        std::equal(domain->subAuthorities.begin(), domain->subAuthorities.end(),
                   sid.subAuthorities.begin()) &&
        sid.authority == domain->authority) {
        std::uint32_t rid = sid.subAuthorities.back();
        if (rid >= 1001 && rid % 2 == 1) {
            if (auto group = FindGroupByGid(static_cast<gid_t>((rid - 1001) / 2))) {
                return AccountOfSidResult{group->name, machine, SidTypeAlias};
            }
        }
    }
    return std::nullopt;
}

std::optional<std::pair<SidValue, AccountOfSidResult>> SidOfAccount(const std::string& qualified) {
    std::string domainPart;
    std::string name = qualified;
    if (auto slash = qualified.find('\\'); slash != std::string::npos) {
        domainPart = qualified.substr(0, slash);
        name = qualified.substr(slash + 1);
    }
    std::string machine = MachineName();
    bool builtinOnly = SameTextIgnoringCase(domainPart, "BUILTIN");
    if (!builtinOnly && !domainPart.empty() && domainPart != "." &&
        !SameTextIgnoringCase(domainPart, machine)) {
        return std::nullopt;
    }
    if (name.empty()) {
        return std::nullopt;
    }
    if (domainPart.empty() && SameTextIgnoringCase(name, "BUILTIN")) {
        return std::make_pair(SidValue{kNtAuthority, {SECURITY_BUILTIN_DOMAIN_RID}},
                              AccountOfSidResult{"BUILTIN", "BUILTIN", SidTypeDomain});
    }
    if (!builtinOnly) {
        if (domainPart.empty() && SameTextIgnoringCase(name, machine)) {
            if (auto domain = MachineDomainSid()) {
                return std::make_pair(*domain, AccountOfSidResult{machine, machine, SidTypeDomain});
            }
            return std::nullopt;
        }
        if (auto user = FindUserByName(name)) {
            if (auto sid = UserSid(user->uid)) {
                return std::make_pair(*sid, AccountOfSidResult{user->name, machine, SidTypeUser});
            }
            return std::nullopt;
        }
    }
    if (auto group = FindGroupByName(name)) {
        DWORD alias = AliasRidOfGroup(*group);
        if (alias != 0) {
            return std::make_pair(BuiltinAliasSid(alias),
                                  AccountOfSidResult{group->name, "BUILTIN", SidTypeAlias});
        }
        if (!builtinOnly) {
            if (auto sid = GroupSid(group->gid)) {
                return std::make_pair(*sid, AccountOfSidResult{group->name, machine, SidTypeAlias});
            }
        }
        return std::nullopt;
    }
    if (!builtinOnly) {
        if (auto sid = DeletedAccountSid(name)) {
            return std::make_pair(*sid, AccountOfSidResult{name, machine, SidTypeDeletedAccount});
        }
    }
    return std::nullopt;
}

void* AllocateBlock(BlockKind kind, std::size_t size) {
    void* block = std::calloc(1, size == 0 ? 1 : size);
    if (block == nullptr) {
        return nullptr;
    }
    auto& table = Blocks();
    std::lock_guard guard(table.lock);
    table.live.emplace(block, kind);
    return block;
}

bool ReleaseBlock(BlockKind kind, void* block) {
    {
        auto& table = Blocks();
        std::lock_guard guard(table.lock);
        auto it = table.live.find(block);
        if (it == table.live.end() || it->second != kind) {
            return false;
        }
        table.live.erase(it);
    }
    std::free(block);
    return true;
}

bool IsLocalMachineName(LPCWSTR name) {
    if (name == nullptr || name[0] == 0) {
        return true;
    }
    auto text = Utf16ToUtf8(name);
    if (!text) {
        return false;
    }
    std::string plain = *text;
    while (!plain.empty() && plain[0] == '\\') {
        plain.erase(0, 1);
    }
    return SameTextIgnoringCase(plain, MachineName()) || plain == "." ||
           SameTextIgnoringCase(plain, "localhost");
}

BOOL StringSidToSid(LPCSTR stringSid, PSID* sid) {
    if (stringSid == nullptr || sid == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto value = ParseSidString(stringSid);
    if (!value) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    void* block = AllocateBlock(BlockKind::Local, value->Size());
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    value->WriteTo(block);
    *sid = block;
    return TRUE;
}

} // namespace nomvera::posix

using nomvera::posix::BlockKind;
using nomvera::posix::ReadSid;

namespace {

// Copies text into a caller's buffer of size characters (NUL included), or
// reports the size it needs.
bool FitText(const std::u16string& text, LPWSTR buffer, DWORD size) {
    return buffer != nullptr && size > text.size();
}

} // namespace

BOOL LookupAccountNameW(LPCWSTR systemName, LPCWSTR accountName, PSID sid, LPDWORD sidSize,
                        LPWSTR domainName, LPDWORD domainSize, PSID_NAME_USE use) {
    if (accountName == nullptr || sidSize == nullptr || domainSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::optional<std::pair<nomvera::posix::SidValue, nomvera::posix::AccountOfSidResult>> found;
    if (!nomvera::posix::IsLocalMachineName(systemName)) {
        // A user or global group of another machine's domain, as that
        // machine's service knows it.
        auto lookup = nomvera::posix::remote::SidOfAccount(systemName, accountName);
        if (!lookup.found) {
            SetLastError(lookup.code);
            return FALSE;
        }
        found = std::move(lookup.found);
    } else {
        auto name = nomvera::posix::Utf16ToUtf8(accountName);
        found = name ? nomvera::posix::SidOfAccount(*name) : std::nullopt;
    }
    if (!found) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    std::u16string domain = nomvera::posix::Utf8ToUtf16Lossy(found->second.domain);
    DWORD needed = found->first.Size();
    bool sidFits = sid != nullptr && *sidSize >= needed;
    bool domainFits = FitText(domain, domainName, *domainSize);
    if (!sidFits || !domainFits) {
        *sidSize = needed;
        *domainSize = static_cast<DWORD>(domain.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    found->first.WriteTo(sid);
    std::copy(domain.begin(), domain.end(), domainName);
    domainName[domain.size()] = 0;
    *sidSize = needed;
    *domainSize = static_cast<DWORD>(domain.size());
    if (use != nullptr) {
        *use = found->second.use;
    }
    return TRUE;
}

BOOL LookupAccountSidW(LPCWSTR systemName, PSID sid, LPWSTR name, LPDWORD nameSize,
                       LPWSTR domainName, LPDWORD domainSize, PSID_NAME_USE use) {
    auto value = ReadSid(sid);
    if (!value || nameSize == nullptr || domainSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::optional<nomvera::posix::AccountOfSidResult> found;
    if (!nomvera::posix::IsLocalMachineName(systemName)) {
        auto lookup = nomvera::posix::remote::NameOfBuiltinAlias(systemName, *value);
        if (!lookup.found) {
            SetLastError(lookup.code);
            return FALSE;
        }
        found = std::move(lookup.found->second);
    } else {
        found = nomvera::posix::AccountOfSid(*value);
    }
    if (!found) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    std::u16string account = nomvera::posix::Utf8ToUtf16Lossy(found->name);
    std::u16string domain = nomvera::posix::Utf8ToUtf16Lossy(found->domain);
    if (!FitText(account, name, *nameSize) || !FitText(domain, domainName, *domainSize)) {
        *nameSize = static_cast<DWORD>(account.size() + 1);
        *domainSize = static_cast<DWORD>(domain.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::copy(account.begin(), account.end(), name);
    name[account.size()] = 0;
    std::copy(domain.begin(), domain.end(), domainName);
    domainName[domain.size()] = 0;
    *nameSize = static_cast<DWORD>(account.size());
    *domainSize = static_cast<DWORD>(domain.size());
    if (use != nullptr) {
        *use = found->use;
    }
    return TRUE;
}

BOOL ConvertSidToStringSidA(PSID sid, LPSTR* stringSid) {
    auto value = ReadSid(sid);
    if (!value || stringSid == nullptr) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    std::string text = value->ToString();
    auto* block =
        static_cast<char*>(nomvera::posix::AllocateBlock(BlockKind::Local, text.size() + 1));
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    std::memcpy(block, text.c_str(), text.size() + 1);
    *stringSid = block;
    return TRUE;
}

BOOL ConvertStringSidToSidA(LPCSTR stringSid, PSID* sid) {
    return nomvera::posix::StringSidToSid(stringSid, sid);
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
    if (authority == nullptr || sid == nullptr || subAuthorityCount == 0 || subAuthorityCount > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    nomvera::posix::SidValue value;
    for (BYTE b : authority->Value) {
        value.authority = (value.authority << 8) | b;
    }
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    value.subAuthorities.assign(subs, subs + subAuthorityCount);
    void* block = nomvera::posix::AllocateBlock(BlockKind::Sid, value.Size());
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    value.WriteTo(block);
    *sid = block;
    return TRUE;
}

BOOL InitializeSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount) {
    if (sid == nullptr || authority == nullptr ||
        subAuthorityCount > nomvera::posix::kMaxSubAuthorities) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* bytes = static_cast<BYTE*>(sid);
    bytes[0] = 1;
    bytes[1] = subAuthorityCount;
    std::memcpy(bytes + 2, authority->Value, 6);
    return TRUE;
}

PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID sid) {
    return reinterpret_cast<PSID_IDENTIFIER_AUTHORITY>(static_cast<BYTE*>(sid) + 2);
}

PDWORD GetSidSubAuthority(PSID sid, DWORD index) {
    return reinterpret_cast<PDWORD>(static_cast<BYTE*>(sid) + 8 + 4 * index);
}

BYTE* GetSidSubAuthorityCount(PSID sid) {
    return static_cast<BYTE*>(sid) + 1;
}

DWORD GetLengthSid(PSID sid) {
    auto value = ReadSid(sid);
    return value ? value->Size() : 0;
}

BOOL IsValidSid(PSID sid) {
    return ReadSid(sid) ? TRUE : FALSE;
}

BOOL EqualSid(PSID a, PSID b) {
    auto first = ReadSid(a);
    auto second = ReadSid(b);
    if (!first || !second) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    return *first == *second ? TRUE : FALSE;
}

PVOID FreeSid(PSID sid) {
    if (sid == nullptr || nomvera::posix::ReleaseBlock(BlockKind::Sid, sid)) {
        return nullptr;
    }
    return sid;
}

HANDLE LocalFree(HANDLE memory) {
    if (memory == nullptr || nomvera::posix::ReleaseBlock(BlockKind::Local, memory)) {
        return nullptr;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return memory;
}
