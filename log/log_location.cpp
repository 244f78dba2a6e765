#include "log/log_location.h"

#include "platform/environment.h"
#include "platform/registry.h"
#include "support/buffers.h"
#include "support/files.h"
#include "support/platform_info.h"
#include "support/text.h"

#include <memory>

namespace nomvera::log {
namespace {

constexpr char16_t kShellFoldersKey[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr std::int32_t kFolderBufferCharacters = 1024;
constexpr DWORD kShortestEnvironmentFolder = 3; // "C:\" and shorter are no folder of a user

} // namespace

std::u16string LogFolder() {
    std::u16string result;
    std::unique_ptr<support::TWideTextBuffer> buffer(
        support::NewWideTextBuffer(kFolderBufferCharacters));

    HKEY key = nullptr;
    const REGSAM access = KEY_READ | static_cast<REGSAM>(support::Platform().RegistryViewFlag);
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, access, &key) == ERROR_SUCCESS) {
        DWORD length = 0; // the whole buffer
        DWORD type = 0;
        if (buffer->QueryRegistryValue(key, u"AppData", length, type) == ERROR_SUCCESS &&
            type == REG_SZ) {
            result = buffer->ToString();
        }
        RegCloseKey(key);
    }

    if (result.empty()) {
        buffer->Clear();
        const DWORD length =
            GetEnvironmentVariableW(u"APPDATA", buffer->Data(), kFolderBufferCharacters);
        if (length > kShortestEnvironmentFolder) {
            result = buffer->ToString(); // empty when the value did not fit
        }
    }

    if (result.empty() || !support::FolderExistsW(result)) {
        result = support::TempFolderW();
    }
    return support::AddBackslashW(result);
}

std::u16string PrimaryLogFilePath() {
    return LogFolder() + support::WidenText(kAdminLogFileName);
}

std::u16string FallbackLogFilePath() {
    return LogFolder() + support::WidenText(kNonAdminLogFileName);
}

} // namespace nomvera::log
