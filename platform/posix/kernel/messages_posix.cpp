#include "platform/messages.h"

#include "platform/environment.h"
#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/lmaccess.h"
#include "platform/posix/services/netapi_remote.h"
#include "platform/posix/services/sysroot.h"
#include "platform/security_types.h"
#include "platform/shell.h"
#include "platform/strings.h"
#include "platform/sync.h"
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
    {1, "The function is not available here.\r\n"},
    {ERROR_FILE_NOT_FOUND, "No file or folder of that name was found.\r\n"},
    {ERROR_PATH_NOT_FOUND, "A folder on the path was not found.\r\n"},
    {ERROR_TOO_MANY_OPEN_FILES, "The program has too many files open.\r\n"},
    {ERROR_ACCESS_DENIED, "Access was refused.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is not open.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Too little memory is free to finish the operation.\r\n"},
    {ERROR_WRITE_FAULT, "The device could not write the data.\r\n"},
    {ERROR_READ_FAULT, "The device could not read the data.\r\n"},
    {ERROR_GEN_FAILURE, "The device or file system reported a failure.\r\n"},
    {ERROR_SHARING_VIOLATION, "Another program is using the file.\r\n"},
    {ERROR_NOT_SUPPORTED, "That operation is not supported here.\r\n"},
    {ERROR_BAD_NETPATH, "No machine of that name was found on the network.\r\n"},
    {ERROR_FILE_EXISTS, "A file of that name exists already.\r\n"},
    {ERROR_INVALID_PARAMETER, "A parameter is not valid.\r\n"},
    {ERROR_BUFFER_OVERFLOW, "The name is too long for the buffer given.\r\n"},
    {ERROR_DISK_FULL, "The disk has no room left.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer given is too small for the result.\r\n"},
    {ERROR_INVALID_NAME, "The file or folder name is not valid.\r\n"},
    {ERROR_INVALID_LEVEL, "The information level is not valid.\r\n"},
    {ERROR_MOD_NOT_FOUND, "The library was not found.\r\n"},
    {ERROR_PROC_NOT_FOUND, "The entry point was not found in the library.\r\n"},
    {ERROR_NEGATIVE_SEEK, "The position would lie before the start of the file.\r\n"},
    {ERROR_DIR_NOT_EMPTY, "The folder is not empty.\r\n"},
    {ERROR_BUSY, "The resource is busy; try again later.\r\n"},
    {ERROR_ALREADY_EXISTS, "An entry of that name exists already.\r\n"},
    {ERROR_BAD_EXE_FORMAT, "The file is not a program that this system can start.\r\n"},
    {ERROR_ENVVAR_NOT_FOUND, "The environment variable is not set.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, "The file name or path is too long.\r\n"},
    {ERROR_FILE_TOO_LARGE, "The file is too large for the operation.\r\n"},
    {ERROR_MORE_DATA, "More data is available than the buffer holds.\r\n"},
    {ERROR_NO_MORE_ITEMS, "There are no more entries.\r\n"},
    {ERROR_DIRECTORY, "The name is not that of a folder.\r\n"},
    {ERROR_NO_TOKEN, "The thread has no access token of its own.\r\n"},
    {ERROR_NO_UNICODE_TRANSLATION, "The text holds characters that cannot be converted.\r\n"},
    {ERROR_IO_DEVICE, "The device reported an input or output failure.\r\n"},
    {ERROR_NO_ASSOCIATION, "No program is registered to open that kind of file.\r\n"},
    {ERROR_LOGON_FAILURE, "The user name or the password is wrong.\r\n"},
    {ERROR_PASSWORD_EXPIRED, "The password of the account has expired.\r\n"},
    {ERROR_ACCOUNT_DISABLED, "The account is disabled.\r\n"},
    {ERROR_NONE_MAPPED, "No security identifier belongs to that account name.\r\n"},
    {ERROR_INVALID_ACL, "The access control list is not valid.\r\n"},
    {ERROR_INVALID_SID, "The security identifier is not valid.\r\n"},
    {ERROR_INVALID_SECURITY_DESCR, "The security descriptor is not valid.\r\n"},
    {ERROR_SPECIAL_ACCOUNT, "That operation is not allowed on a built-in account.\r\n"},
    {ERROR_NO_SUCH_ALIAS, "The local group does not exist.\r\n"},
    {ERROR_MEMBER_IN_ALIAS, "The account is a member of the local group already.\r\n"},
    {ERROR_ALIAS_EXISTS, "The local group exists already.\r\n"},
    {ERROR_NO_SUCH_MEMBER, "No account belongs to the member given.\r\n"},
    {ERROR_INVALID_MEMBER, "That kind of account cannot be a member of a local group.\r\n"},
    {ERROR_ACCOUNT_EXPIRED, "The account has expired.\r\n"},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "The file has no resource of that type.\r\n"},
    {ERROR_PASSWORD_MUST_CHANGE, "The password must be changed before the first logon.\r\n"},
    {ERROR_CANT_RESOLVE_FILENAME, "The name could not be resolved.\r\n"},
    {NERR_InternalError, "The account service met an internal error.\r\n"},
    {NERR_BadUsername, "The user name is not valid.\r\n"},
    {NERR_GroupNotFound, "The group was not found.\r\n"},
    {NERR_UserNotFound, "The user was not found.\r\n"},
    {NERR_GroupExists, "The group exists already.\r\n"},
    {NERR_UserExists, "The account exists already.\r\n"},
    {NERR_NotPrimary, "The operation is allowed only on the primary domain controller.\r\n"},
    {NERR_SpeGroupOp, "That operation is not allowed on a built-in group.\r\n"},
    {NERR_PasswordTooShort, "The password does not meet the password rules.\r\n"},
};

const char* MessageOf(DWORD code) {
    // A Windows code wrapped as an HRESULT (facility 7, as the profile service
    // reports its failures) has the message of the code it wraps.
    constexpr DWORD kWin32FailureMask = 0xFFFF0000;
    constexpr DWORD kWin32Failure = 0x80070000;
    if ((code & kWin32FailureMask) == kWin32Failure) {
        code &= 0xFFFF;
    }
    // A call to another machine refused for its credentials file says why,
    // and so does a system root that another account could change.
    if (const char* refusal = nomvera::posix::remote::CredentialsRefusalMessage(code)) {
        return refusal;
    }
    if (code == ERROR_ACCESS_DENIED) {
        const nomvera::posix::SystemRoot root = nomvera::posix::CurrentSystemRoot();
        if (root.kind == nomvera::posix::SystemRootKind::Unsafe) {
            thread_local std::string refusal;
            refusal = "Access was refused: " + root.unsafePath +
                      ", which shadow-utils would trust as root, may be changed by other "
                      "accounts.\r\n";
            return refusal.c_str();
        }
    }
    for (const auto& entry : kMessages) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    // A code only another machine's account service gives, in its words.
    return nomvera::posix::remote::LastRemoteMessage(code);
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
