// Wiping memory that held a secret, in a way the compiler may not drop as a
// dead store: SecureZeroMemory on Windows, explicit_bzero on POSIX.
#pragma once

#include "platform/windows_types.h"

#include <cstddef>

#if !defined(_WIN32)
#include <string.h>
#endif

namespace nomvera::platform {

inline void WipeMemory(void* data, std::size_t size) {
#if defined(_WIN32)
    SecureZeroMemory(data, size);
#else
    explicit_bzero(data, size);
#endif
}

} // namespace nomvera::platform
