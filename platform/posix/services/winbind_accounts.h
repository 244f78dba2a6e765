// The accounts of the domain this machine is a member of, as its winbind
// maps them: a domain SID to the uid and passwd entry the host gives the
// account. Reached through libwbclient, loaded by name at run time from the
// system's library folders under the ownership rule of every library root
// loads; the machine's name service configuration is never used or changed.
// Not part of the surface.
#pragma once

#include "platform/errors.h"
#include "platform/posix/services/sids.h"
#include "platform/posix/services/sysroot.h"

#include <optional>

namespace nomvera::posix::winbind {

struct DomainAccount {
    std::optional<PasswdEntry> user; // name as winbind gives it ("LAB\\name")
    // When no user: ERROR_NONE_MAPPED (no winbind, not a member, or the SID
    // is no user winbind knows), ERROR_ACCESS_DENIED (a library another
    // account could change was refused).
    DWORD code = ERROR_NONE_MAPPED;
};
DomainAccount AccountOfSid(const SidValue& sid);

// Whether winbind's name for an account ("LAB\\name", or "name" with a
// default domain) is the plain account name, compared as Windows compares
// account names (ASCII case folded).
bool IsNameOf(const std::string& winbindName, const std::string& accountName);

} // namespace nomvera::posix::winbind
