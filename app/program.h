// The program's life from start to exit code.
#pragma once

#include "form/start_up.h"

namespace nomvera::app {

// Binds the system libraries, runs the window until a close request and
// releases everything in reverse order; returns ChosenExitCode.
int RunProgram(int argc, char** argv);

// The start-up steps before the application object exists (form/start_up.h),
// under the names the window tests use.
using form::BindWindowModule;
using form::ReleaseWindowModule;
using form::StartSupportUnits;
using form::StopSupportUnits;

} // namespace nomvera::app
