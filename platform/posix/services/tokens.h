// Access tokens of the stand-ins: a process's own and those a logon gives.
// Not part of the surface.
#pragma once

#include "platform/posix/kernel/handle_table.h"
#include "platform/posix/services/sids.h"

#include <sys/types.h>
#include <vector>

namespace nomvera::posix {

class TokenObject : public platform::KernelObject {
public:
    uid_t uid = 0;
    std::vector<gid_t> gids;
    TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
    bool administratorsMember = false;
};

} // namespace nomvera::posix
