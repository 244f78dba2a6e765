#include "platform/security.h"

// Windows hashes a password inside the account service: nothing to prepare.
void nomvera::platform::PreparePassword(LPCWSTR) {}
