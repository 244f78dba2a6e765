// Security identifiers of the stand-ins: the machine domain SID from the
// root's machine id, algorithmic RIDs from uids and gids, the built-in
// aliases, and the blocks the services hand out. Not part of the surface.
#pragma once

#include "platform/security_types.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace nomvera::posix {

struct SidValue {
    std::uint64_t authority = 0; // the 48-bit identifier authority
    std::vector<std::uint32_t> subAuthorities;

    bool operator==(const SidValue&) const = default;
    std::string ToString() const; // "S-1-5-21-…"
    DWORD Size() const;           // bytes of the raw form
    void WriteTo(void* raw) const;
};

inline constexpr std::size_t kMaxSubAuthorities = 15;

// The SID in raw form at sid, when it is a valid revision-1 SID.
std::optional<SidValue> ReadSid(const void* sid);
// "S-1-…" in decimal (an authority of 2^32 and more in 0x hexadecimal).
std::optional<SidValue> ParseSidString(const std::string& text);

std::optional<SidValue> MachineDomainSid();
SidValue BuiltinAliasSid(DWORD rid);
std::optional<SidValue> UserSid(uid_t uid);
// The alias SID for the administrators' group, users and tsusers; the
// algorithmic group SID for every other group.
std::optional<SidValue> GroupSid(gid_t gid);

struct AccountOfSidResult {
    std::string name;
    std::string domain;
    SID_NAME_USE use = SidTypeUnknown;
};
std::optional<AccountOfSidResult> AccountOfSid(const SidValue& sid);
// A plain or "DOMAIN\name" account name: users first, then groups, then
// deleted accounts whose profile is still registered under that name
// (SidTypeDeletedAccount).
std::optional<std::pair<SidValue, AccountOfSidResult>> SidOfAccount(const std::string& name);
// The uid of a user SID of the machine domain (RID 500 is uid 0).
std::optional<uid_t> UidOfSid(const SidValue& sid);

// Blocks handed out by the services, each freed only by its own release
// call; a pointer that is not a live block of that kind is refused.
enum class BlockKind { NetApi, Local, Sid };
void* AllocateBlock(BlockKind kind, std::size_t size);
bool ReleaseBlock(BlockKind kind, void* block);

// The two entry points the advapi32 stand-in exports.
BOOL StringSidToSid(LPCSTR stringSid, PSID* sid);
BOOL TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                      DWORD infoLength, PDWORD returnLength);

// Whether a server or system name means this machine: null, empty, or the
// machine name with or without leading backslashes.
bool IsLocalMachineName(LPCWSTR name);

} // namespace nomvera::posix
