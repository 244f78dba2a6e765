// Test doubles of the platform surface: failures and conditions that cannot
// be made to happen here on purpose. Only tests call these.
#pragma once

#include "platform/windows_types.h"

namespace nomvera::platform::test_double {

// Lets LoadLibraryA also take the test double library of this plain name
// ("netapi32_counting") from the executable's folder, under the same
// ownership rule as the shipped ones. On Windows LoadLibraryA is the
// system's own and already takes any library: there it changes nothing.
void AcceptTestDoubleLibrary(const char* plainName);

#if !defined(_WIN32)
// The library of another machine's account service is looked for at this
// path instead of the system's library folders (a missing or foreign file,
// say); null or empty goes back to the system's.
void UseDomainLibrary(const char* path);
#endif

} // namespace nomvera::platform::test_double
