// Process-wide state of the program, alive from start to exit.
#pragma once

#include <cstdint>

namespace nomvera::form {

// The process exit code, 0 at start; only the ExitCode page's buttons change it.
inline std::int32_t ChosenExitCode = 0;

} // namespace nomvera::form
