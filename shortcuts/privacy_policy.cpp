#include "shortcuts/privacy_policy.h"

#include "platform/registry.h"

namespace nomvera::shortcuts {

DWORD WriteNoPrivacyPolicy(REGSAM viewFlag) {
    DWORD status = 0;
    HKEY key = nullptr;
    try {
        status = static_cast<DWORD>(
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOobePolicyKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS | viewFlag, nullptr, &key, nullptr));
        if (status == 0) {
            const DWORD one = 1;
            status =
                static_cast<DWORD>(RegSetValueExA(key, kDisablePrivacyExperience, 0, REG_DWORD,
                                                  reinterpret_cast<const BYTE*>(&one), sizeof one));
        }
    } catch (...) {
    }
    try {
        if (key != nullptr) {
            auto closed = static_cast<DWORD>(RegCloseKey(key));
            if (status == 0) {
                status = closed;
            }
        }
    } catch (...) {
    }
    return status;
}

} // namespace nomvera::shortcuts
