#include "platform/messages.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/lmaccess.h"
#include "platform/strings.h"
#include "platform/version_info.h"

#include <cstring>

namespace {

struct MessageEntry {
    DWORD code;
    const char* text;
};

// One short English sentence per code, closed like the system's messages.
constexpr MessageEntry kMessages[] = {
    {ERROR_SUCCESS, "The operation succeeded.\r\n"},
    {ERROR_FILE_NOT_FOUND, "No file or folder of that name was found.\r\n"},
    {ERROR_PATH_NOT_FOUND, "A folder on the path was not found.\r\n"},
    {ERROR_ACCESS_DENIED, "Access was refused.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is not open.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Too little memory is free to finish the operation.\r\n"},
    {ERROR_GEN_FAILURE, "The device or file system reported a failure.\r\n"},
    {32, "Another program is using the file.\r\n"},
    {ERROR_NOT_SUPPORTED, "That operation is not supported here.\r\n"},
    {ERROR_INVALID_PARAMETER, "A parameter is not valid.\r\n"},
    {ERROR_DISK_FULL, "The disk has no room left.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer given is too small for the result.\r\n"},
    {ERROR_INVALID_NAME, "The file or folder name is not valid.\r\n"},
    {ERROR_INVALID_LEVEL, "The information level is not valid.\r\n"},
    {ERROR_MOD_NOT_FOUND, "The library was not found.\r\n"},
    {ERROR_PROC_NOT_FOUND, "The entry point was not found in the library.\r\n"},
    {ERROR_DIR_NOT_EMPTY, "The folder is not empty.\r\n"},
    {ERROR_ALREADY_EXISTS, "An entry of that name exists already.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, "The file name or path is too long.\r\n"},
    {ERROR_MORE_DATA, "More data is available than the buffer holds.\r\n"},
    {ERROR_NO_MORE_ITEMS, "There are no more entries.\r\n"},
    {ERROR_DIRECTORY, "The name is not that of a folder.\r\n"},
    {ERROR_NO_UNICODE_TRANSLATION, "The text holds characters that cannot be converted.\r\n"},
    {ERROR_LOGON_FAILURE, "The user name or the password is wrong.\r\n"},
    {ERROR_NONE_MAPPED, "No security identifier belongs to that account name.\r\n"},
    {ERROR_NO_SUCH_ALIAS, "The local group does not exist.\r\n"},
    {ERROR_MEMBER_IN_ALIAS, "The account is a member of the local group already.\r\n"},
    {ERROR_ALIAS_EXISTS, "The local group exists already.\r\n"},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "The file has no resource of that type.\r\n"},
    {NERR_BadUsername, "The user name is not valid.\r\n"},
    {NERR_GroupNotFound, "The group was not found.\r\n"},
    {NERR_UserNotFound, "The user was not found.\r\n"},
    {NERR_GroupExists, "The group exists already.\r\n"},
    {NERR_UserExists, "The account exists already.\r\n"},
    {NERR_NotPrimary, "The operation is allowed only on the primary domain controller.\r\n"},
    {NERR_PasswordTooShort, "The password does not meet the password rules.\r\n"},
};

const char* MessageOf(DWORD code) {
    for (const auto& entry : kMessages) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return nullptr;
}

bool EnglishOrNeutral(DWORD languageId) {
    constexpr DWORD kPrimaryMask = 0x3FF;
    constexpr DWORD kNeutral = 0x00;
    constexpr DWORD kEnglish = 0x09;
    DWORD primary = languageId & kPrimaryMask;
    return primary == kNeutral || primary == kEnglish;
}

} // namespace

DWORD FormatMessageA(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* /*arguments*/) {
    constexpr DWORD kUnsupported = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING |
                                   FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & kUnsupported) != 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!EnglishOrNeutral(languageId)) {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    const char* text = MessageOf(messageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    std::size_t length = std::strlen(text);
    if (length + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}
