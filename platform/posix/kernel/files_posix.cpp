#include "platform/files.h"

#include "platform/errors.h"
#include "platform/posix/kernel/errno_map.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/posix/kernel/utf.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using nomvera::posix::PathErrorCode;

// A UTF-16 path as the file system's bytes; nothing (and ERROR_INVALID_NAME)
// for a text that holds a lone surrogate, which no POSIX name can carry.
std::optional<std::string> NarrowPath(LPCWSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return std::nullopt;
    }
    auto narrow = nomvera::posix::Utf16ToUtf8(path);
    if (!narrow) {
        SetLastError(ERROR_INVALID_NAME);
    }
    return narrow;
}

bool CheckPath(LPCSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (*path == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

DWORD AttributesOf(const char* path) {
    if (!CheckPath(path)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st {};
    if (lstat(path, &st) != 0) {
        SetLastError(PathErrorCode(path, errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        bool folderTarget = stat(path, &target) == 0 && S_ISDIR(target.st_mode);
        return FILE_ATTRIBUTE_REPARSE_POINT | (folderTarget ? FILE_ATTRIBUTE_DIRECTORY : 0);
    }
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if ((st.st_mode & S_IWUSR) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

BOOL CreateFolder(const char* path) {
    if (!CheckPath(path)) {
        return FALSE;
    }
    if (mkdir(path, 0777) != 0) {
        SetLastError(PathErrorCode(path, errno));
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveFolder(const char* path) {
    if (!CheckPath(path)) {
        return FALSE;
    }
    struct stat st {};
    if (lstat(path, &st) != 0) {
        SetLastError(PathErrorCode(path, errno));
        return FALSE;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    if (rmdir(path) != 0) {
        int error = errno;
        // rmdir reports ENOTDIR when the folder was swapped for a link meanwhile.
        SetLastError(error == ENOTDIR ? ERROR_DIRECTORY : PathErrorCode(path, error));
        return FALSE;
    }
    return TRUE;
}

// Windows return rules for a text result: the length without the NUL, or the
// size needed including the NUL when it does not fit.
template <class Char> DWORD CopyOut(const std::basic_string<Char>& text, Char* buffer, DWORD size) {
    if (buffer == nullptr || text.size() + 1 > size) {
        return static_cast<DWORD>(text.size() + 1);
    }
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(Char));
    return static_cast<DWORD>(text.size());
}

std::string TempPath() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string path = tmpdir != nullptr && tmpdir[0] == '/' ? std::string(tmpdir) : "/tmp";
    if (path.back() != '/') {
        path.push_back('/');
    }
    return path;
}

} // namespace

DWORD GetFileAttributesA(LPCSTR fileName) {
    return AttributesOf(fileName);
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
    auto path = NarrowPath(fileName);
    return path ? AttributesOf(path->c_str()) : INVALID_FILE_ATTRIBUTES;
}

BOOL SetFileAttributesW(LPCWSTR fileName, DWORD attributes) {
    auto path = NarrowPath(fileName);
    if (!path || !CheckPath(path->c_str())) {
        return FALSE;
    }
    // Opened without following a link, and changed through the open entry,
    // so an entry swapped for a link meanwhile never has its target changed.
    int fd = open(path->c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(PathErrorCode(*path, errno));
        return FALSE;
    }
    struct stat st {};
    BOOL result = TRUE;
    if (fstat(fd, &st) != 0) {
        SetLastError(nomvera::posix::WindowsCodeFromErrno(errno));
        result = FALSE;
    } else if (!S_ISLNK(st.st_mode)) {
        // Set-user-id and set-group-id bits never survive a change made here.
        mode_t mode = st.st_mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID);
        mode = (attributes & FILE_ATTRIBUTE_READONLY) != 0
                   ? static_cast<mode_t>(mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH))
                   : static_cast<mode_t>(mode | S_IWUSR);
        std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (mode != (st.st_mode & 07777) && chmod(self.c_str(), mode) != 0) {
            SetLastError(nomvera::posix::WindowsCodeFromErrno(errno));
            result = FALSE;
        }
    }
    close(fd);
    return result;
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES /*securityAttributes*/) {
    return CreateFolder(pathName);
}

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES /*securityAttributes*/) {
    auto path = NarrowPath(pathName);
    return path ? CreateFolder(path->c_str()) : FALSE;
}

BOOL RemoveDirectoryA(LPCSTR pathName) {
    return RemoveFolder(pathName);
}

BOOL RemoveDirectoryW(LPCWSTR pathName) {
    auto path = NarrowPath(pathName);
    return path ? RemoveFolder(path->c_str()) : FALSE;
}

BOOL DeleteFileW(LPCWSTR fileName) {
    auto path = NarrowPath(fileName);
    if (!path || !CheckPath(path->c_str())) {
        return FALSE;
    }
    // unlink never follows a link and refuses folders (EISDIR -> 5).
    if (unlink(path->c_str()) != 0) {
        SetLastError(PathErrorCode(*path, errno));
        return FALSE;
    }
    return TRUE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    return CopyOut(TempPath(), buffer, size);
}

DWORD GetTempPathW(DWORD size, LPWSTR buffer) {
    return CopyOut(nomvera::posix::Utf8ToUtf16Lossy(TempPath()), buffer, size);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    if (module != nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::string path = nomvera::posix::ExecutablePath();
    if (path.empty()) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
    std::u16string wide = nomvera::posix::Utf8ToUtf16Lossy(path);
    if (fileName == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (wide.size() + 1 > size) {
        std::memcpy(fileName, wide.data(), (size - 1) * sizeof(char16_t));
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return static_cast<DWORD>(wide.size());
}
