// The start-up steps before the window exists, and their releases, in the
// order every host of the window (and every test that builds it) runs them.
#pragma once

namespace nomvera::form {

// The support units: the account service, the security library and the
// platform facts (the log writer picks its mode from them).
void StartSupportUnits();
void StopSupportUnits();
// The window's module: the account comment, the file-system redirection and
// profile-service entry points. A missing library or entry point leaves it
// absent; nothing is reported.
void BindWindowModule();
void ReleaseWindowModule();

} // namespace nomvera::form
