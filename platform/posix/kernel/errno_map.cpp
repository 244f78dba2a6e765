#include "platform/posix/kernel/errno_map.h"

#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/shell.h"

#include <cerrno>
#include <sys/stat.h>

namespace nomvera::posix {
namespace {

constexpr DWORD kErrorNotSameDevice = 17;

struct TRow {
    int error;
    DWORD code;
    TErrnoContext context; // General: the row holds wherever no context row does
};

// errno, code, context. A context row overrides the general row of its errno.
constexpr TRow kTable[] = {
    {0, ERROR_SUCCESS, TErrnoContext::General},
    {ENOENT, ERROR_FILE_NOT_FOUND, TErrnoContext::General},
    {ENOTDIR, ERROR_PATH_NOT_FOUND, TErrnoContext::General},
    {ELOOP, ERROR_PATH_NOT_FOUND, TErrnoContext::General},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE, TErrnoContext::General},
    {EACCES, ERROR_ACCESS_DENIED, TErrnoContext::General},
    {EPERM, ERROR_ACCESS_DENIED, TErrnoContext::General},
    {EROFS, ERROR_ACCESS_DENIED, TErrnoContext::General},
    {EISDIR, ERROR_ACCESS_DENIED, TErrnoContext::General},
    {EBUSY, ERROR_SHARING_VIOLATION, TErrnoContext::General},
    {ETXTBSY, ERROR_SHARING_VIOLATION, TErrnoContext::General},
    {EBADF, ERROR_INVALID_HANDLE, TErrnoContext::General},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY, TErrnoContext::General},
    {EEXIST, ERROR_ALREADY_EXISTS, TErrnoContext::General},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY, TErrnoContext::General},
    {ENOSPC, ERROR_DISK_FULL, TErrnoContext::General},
    {EDQUOT, ERROR_DISK_FULL, TErrnoContext::General},
    {EINVAL, ERROR_INVALID_PARAMETER, TErrnoContext::General},
    {ENOTSUP, ERROR_NOT_SUPPORTED, TErrnoContext::General},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES, TErrnoContext::General},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES, TErrnoContext::General},
    {EFBIG, ERROR_FILE_TOO_LARGE, TErrnoContext::General},
    {EIO, ERROR_IO_DEVICE, TErrnoContext::General},
    {EXDEV, kErrorNotSameDevice, TErrnoContext::General},
    {EEXIST, ERROR_FILE_EXISTS, TErrnoContext::NewFile},
    {EEXIST, ERROR_DIR_NOT_EMPTY, TErrnoContext::FolderRemoval},
    {ENOEXEC, ERROR_BAD_EXE_FORMAT, TErrnoContext::ProgramStart},
    {EAGAIN, ERROR_NOT_ENOUGH_MEMORY, TErrnoContext::ProgramStart},
    {E2BIG, ERROR_INVALID_PARAMETER, TErrnoContext::ProgramStart},
};

} // namespace

DWORD WindowsCodeFromErrno(int error, TErrnoContext context) {
    DWORD code = ERROR_GEN_FAILURE;
    for (const TRow& row : kTable) {
        if (row.error == error) {
            if (row.context == context) {
                return row.code;
            }
            if (row.context == TErrnoContext::General) {
                code = row.code;
            }
        }
    }
    return code;
}

DWORD PathErrorCode(const std::string& path, int error, TErrnoContext context) {
    if (error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (error != ENOENT) {
        return WindowsCodeFromErrno(error, context);
    }
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') {
        --end;
    }
    auto slash = path.rfind('/', end - 1);
    std::string folder = slash == std::string::npos ? std::string(".")
                         : slash == 0               ? std::string("/")
                                                    : path.substr(0, slash);
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_PATH_NOT_FOUND;
}

} // namespace nomvera::posix
