#include "platform/test_doubles.h"

namespace nomvera::platform::test_double {

// LoadLibraryA is the system's own here and takes any library already.
void AcceptTestDoubleLibrary(const char*) {}

} // namespace nomvera::platform::test_double
