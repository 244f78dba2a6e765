// Where the running executable lies. Not part of the surface.
#pragma once

#include <string>

namespace nomvera::posix {

// Full path of the running executable (from /proc/self/exe); empty on failure.
std::string ExecutablePath();
// Its folder, without a trailing "/"; empty on failure.
std::string ExecutableFolder();

} // namespace nomvera::posix
