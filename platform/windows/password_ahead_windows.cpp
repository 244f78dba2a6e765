#include "platform/security.h"

// Windows hashes a password inside the account service: nothing to prepare.
void nomvera::platform::PreparePassword(LPCWSTR) {}
void nomvera::platform::PrepareThrowAwayPassword(LPCWSTR) {}

// Windows adds each member through its own request: nothing to prepare.
void nomvera::platform::PrepareMemberships(LPCWSTR, const std::vector<WideString>&) {}
