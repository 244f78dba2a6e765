#include "log/log_location.h"

#include "platform/environment.h"
#include "platform/file_io.h"
#include "platform/private_files.h"
#include "platform/registry.h"
#include "platform/wide_text.h"
#include "support/buffers.h"
#include "support/files.h"
#include "support/platform_info.h"
#include "support/text.h"

#include <memory>

namespace nomvera::log {
namespace {

constexpr WCHAR kShellFoldersKey[] =
    WIDE("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
constexpr std::int32_t kFolderBufferCharacters = 1024;
constexpr DWORD kShortestEnvironmentFolder = 3; // "C:\" and shorter are no folder of a user

// The user's own folder in the temporary folder, never the shared one: the
// log holds every password the tool makes.
WideString PrivateTempFolder() {
    WideString folder(kFolderBufferCharacters, WIDE('\0'));
    for (;;) {
        const DWORD length =
            platform::GetPrivateTempPath(static_cast<DWORD>(folder.size()), folder.data());
        if (length < folder.size()) {
            folder.resize(length);
            return folder;
        }
        folder.assign(length, WIDE('\0'));
    }
}

} // namespace

WideString LogFolder() {
    WideString result;
    std::unique_ptr<support::TWideTextBuffer> buffer(
        support::NewWideTextBuffer(kFolderBufferCharacters));

    HKEY key = nullptr;
    const REGSAM access = KEY_READ | static_cast<REGSAM>(support::Platform().RegistryViewFlag);
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, access, &key) == ERROR_SUCCESS) {
        DWORD length = 0; // the whole buffer
        DWORD type = 0;
        if (buffer->QueryRegistryValue(key, WIDE("AppData"), length, type) == ERROR_SUCCESS &&
            type == REG_SZ) {
            result = buffer->ToString();
        }
        RegCloseKey(key);
    }

    if (result.empty()) {
        buffer->Clear();
        const DWORD length =
            GetEnvironmentVariableW(WIDE("APPDATA"), buffer->Data(), kFolderBufferCharacters);
        if (length > kShortestEnvironmentFolder) {
            result = buffer->ToString(); // empty when the value did not fit
        }
    }

    if (result.empty() || !support::FolderExistsW(result)) {
        result = PrivateTempFolder();
    }
    return support::AddBackslashW(result);
}

WideString PrimaryLogFilePath() {
    return LogFolder() + support::WidenText(kAdminLogFileName);
}

WideString FallbackLogFilePath() {
    return LogFolder() + support::WidenText(kNonAdminLogFileName);
}

} // namespace nomvera::log
