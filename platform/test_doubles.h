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
// The two below reach into the stand-ins' own WriteFile and CreateEventA/W.
// On Windows those are the system's, which nothing here can slow down or make
// fail, so the doubles exist only on POSIX.

// A slow disk: every WriteFile first sleeps this many milliseconds. 0 turns
// it off.
void DelayFileWrites(DWORD milliseconds);

// The next `count` calls of CreateEventA/CreateEventW fail with `code` and
// create nothing. 0 turns it off.
void FailNextEventCreations(int count, DWORD code);

// The library of another machine's account service is looked for at this
// path instead of the system's library folders (a missing or foreign file,
// say); null or empty goes back to the system's.
void UseDomainLibrary(const char* path);
#endif

} // namespace nomvera::platform::test_double
