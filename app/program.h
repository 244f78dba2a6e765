// The program's life from start to exit code.
#pragma once

namespace nomvera::app {

// Binds the system libraries, runs the window until a close request and
// releases everything in reverse order; returns ChosenExitCode.
int RunProgram(int argc, char** argv);

// The start-up steps before the application object exists, and their
// releases, for programs that build the window themselves (the window tests,
// the screenshots): the support units (account service, security library,
// platform facts), then the window module (account comment, file-system
// redirection and profile-service entry points).
void StartSupportUnits();
void StopSupportUnits();
void BindWindowModule();
void ReleaseWindowModule();

} // namespace nomvera::app
