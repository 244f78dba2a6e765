// The registry stand-in's table: each mapped value names its hive, key and
// value and gives a reader (and, where the value may be written, a writer)
// that stands for it on Linux. A unit of the platform library registers its
// values with a static RegistryValueRegistration; nothing else exists in the
// stand-in registry. Not part of the surface.
#pragma once

#include "platform/windows_types.h"

#include <functional>
#include <string>

namespace nomvera::posix {

// A value as the registry hands it over.
struct RegistryData {
    DWORD type = 0;      // REG_SZ or REG_DWORD
    std::u16string text; // REG_SZ, without its closing NUL
    DWORD number = 0;    // REG_DWORD
};

// ERROR_SUCCESS with data filled in; ERROR_FILE_NOT_FOUND when the value does
// not exist at the moment; any other Windows code for a failure.
using RegistryReader = std::function<LONG(RegistryData& data)>;
// Stores data; ERROR_SUCCESS or a Windows code (ERROR_ACCESS_DENIED without
// the rights the Linux meaning needs).
using RegistryWriter = std::function<LONG(const RegistryData& data)>;

// hive is HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE; keyPath uses "\" and is
// compared, like valueName, without regard to ASCII case. A value without a
// writer refuses writes with ERROR_ACCESS_DENIED. A key exists when a value
// is registered under it or under one of its subkeys.
void RegisterRegistryValue(HKEY hive, const std::string& keyPath, const std::string& valueName,
                           RegistryReader reader, RegistryWriter writer = nullptr);

struct RegistryValueRegistration {
    RegistryValueRegistration(HKEY hive, const std::string& keyPath, const std::string& valueName,
                              RegistryReader reader, RegistryWriter writer = nullptr) {
        RegisterRegistryValue(hive, keyPath, valueName, std::move(reader), std::move(writer));
    }
};

} // namespace nomvera::posix
