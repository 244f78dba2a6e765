// Process-wide state of the program, alive from start to exit: the exit code
// (form/program_state.h), under the name the window's code has always used.
#pragma once

#include "form/program_state.h"

namespace nomvera::app {

using form::ChosenExitCode;

} // namespace nomvera::app
