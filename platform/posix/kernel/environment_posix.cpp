#include "platform/environment.h"

#include "platform/errors.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/sysroot.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

namespace {

// Copies text and its NUL when it fits into size characters.
bool Fits(const std::u16string& text, LPWSTR buffer, std::size_t size) {
    if (buffer == nullptr || text.size() + 1 > size) {
        return false;
    }
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return true;
}

} // namespace

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    auto narrow = nomvera::posix::Utf16ToUtf8(name == nullptr ? u"" : name);
    if (name == nullptr || !narrow || narrow->empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The per-user application-data folder's Linux counterpart. A relative
    // path there is invalid by the XDG rules and counts as not set.
    const bool appData = strcasecmp(narrow->c_str(), "APPDATA") == 0;
    if (appData) {
        *narrow = "XDG_STATE_HOME";
    }
    const char* value = std::getenv(narrow->c_str());
    if (appData && value != nullptr && value[0] != '/') {
        value = nullptr;
    }
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    std::u16string wide = nomvera::posix::Utf8ToUtf16Lossy(value);
    if (!Fits(wide, buffer, size)) {
        return static_cast<DWORD>(wide.size() + 1);
    }
    if (wide.empty()) {
        SetLastError(ERROR_SUCCESS);
    }
    return static_cast<DWORD>(wide.size());
}

BOOL GetUserNameExW(EXTENDED_NAME_FORMAT format, LPWSTR nameBuffer, PULONG size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (format != NameSamCompatible) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    auto user = nomvera::posix::FindUserByUid(geteuid());
    if (!user) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    std::u16string text =
        nomvera::posix::Utf8ToUtf16Lossy(nomvera::posix::MachineName() + "\\" + user->name);
    if (!Fits(text, nameBuffer, *size)) {
        *size = static_cast<ULONG>(text.size() + 1);
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    *size = static_cast<ULONG>(text.size());
    return TRUE;
}

BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string name = nomvera::posix::Utf8ToUtf16Lossy(nomvera::posix::MachineName());
    if (name.empty()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!Fits(name, buffer, *size)) {
        *size = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    *size = static_cast<DWORD>(name.size());
    return TRUE;
}
