#include "platform/private_files.h"
#include "platform/system_call.h"

#include "platform/errors.h"
#include "platform/posix/kernel/descriptor.h"
#include "platform/posix/kernel/errno_map.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/posix/kernel/utf.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::platform {
namespace {

using nomvera::posix::TErrnoContext;
using nomvera::posix::WindowsCodeFromErrno;
using sys::Call;
using sys::TCall;

// Share-mode bookkeeping: one lock byte per fact, far behind any real data.
// Every opening holds a shared lock on the bytes of the access it has and of
// the access it denies; an opening checks the bytes of the other side while
// it holds the file's exclusive flock, so check and claim are one step for
// all openers. Shared byte locks need a descriptor open for reading.
constexpr off_t kShareBase = 0x7FFFFFFF00000000LL;
constexpr off_t kHasReadByte = kShareBase + 1;
constexpr off_t kHasWriteByte = kShareBase + 2;
constexpr off_t kDeniesReadByte = kShareBase + 3;
constexpr off_t kDeniesWriteByte = kShareBase + 4;

int LockByte(int fd, off_t byte, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return Call(TCall::Lock, [&] { return fcntl(fd, F_OFD_SETLK, &lock); });
}

bool HeldByOthers(int fd, off_t byte) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &lock) != 0) {
        return false;
    }
    return lock.l_type != F_UNLCK;
}

// 0 when the opening may go ahead (and now holds its share locks), else the
// failure code. A file system without locks opens without share checks.
DWORD ClaimShareMode(int fd, bool wantRead, bool wantWrite, DWORD shareMode) {
    if (Call(TCall::Lock, [&] { return flock(fd, LOCK_EX); }) != 0) {
        return (errno == EINVAL || errno == ENOLCK || errno == EOPNOTSUPP)
                   ? ERROR_SUCCESS
                   : WindowsCodeFromErrno(errno);
    }
    const bool deniesRead = (shareMode & FILE_SHARE_READ) == 0;
    const bool deniesWrite = (shareMode & FILE_SHARE_WRITE) == 0;
    DWORD result = ERROR_SUCCESS;
    if ((wantRead && HeldByOthers(fd, kDeniesReadByte)) ||
        (wantWrite && HeldByOthers(fd, kDeniesWriteByte)) ||
        (deniesRead && HeldByOthers(fd, kHasReadByte)) ||
        (deniesWrite && HeldByOthers(fd, kHasWriteByte))) {
        result = ERROR_SHARING_VIOLATION;
    } else {
        const off_t claims[] = {wantRead ? kHasReadByte : -1, wantWrite ? kHasWriteByte : -1,
                                deniesRead ? kDeniesReadByte : -1,
                                deniesWrite ? kDeniesWriteByte : -1};
        for (off_t byte : claims) {
            if (byte >= 0 && LockByte(fd, byte, F_RDLCK) != 0) {
                result = WindowsCodeFromErrno(errno);
                break;
            }
        }
    }
    flock(fd, LOCK_UN);
    return result;
}

using nomvera::posix::UniqueFd;
using Refusal = TPrivateFileRefusal;

constexpr mode_t kOthersBits = S_IRWXG | S_IRWXO;

// GetTempPathA's folder, ending in "/".
std::string TempFolderBase() {
    char buffer[4096];
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length)
                                                : std::string("/tmp/");
}

// The private temporary folder by its fixed name.
std::string NamedPrivateTempFolder(const std::string& base) {
    return base + "nomvera-" + std::to_string(geteuid());
}

// The folder made instead when another account holds the fixed name, per
// temporary folder, for the rest of the process.
struct TFallbackFolder {
    std::mutex mutex;
    std::string base;
    std::string folder;
};

TFallbackFolder& Fallback() {
    static TFallbackFolder fallback;
    return fallback;
}

std::string FallbackFolderFor(const std::string& base) {
    TFallbackFolder& fallback = Fallback();
    std::lock_guard<std::mutex> lock(fallback.mutex);
    return fallback.base == base ? fallback.folder : std::string();
}

// Whether folder is a real folder (not a link) of the effective user that no
// other account has access to.
bool IsOwnPrivateFolder(const std::string& folder) {
    struct stat info {};
    return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & kOthersBits) == 0;
}

// The private temporary folder in use: the fixed name, or the folder made
// in its place.
std::string PrivateTempFolder() {
    const std::string base = TempFolderBase();
    const std::string fallback = FallbackFolderFor(base);
    return fallback.empty() ? NamedPrivateTempFolder(base) : fallback;
}

// Makes the private temporary folder when missing. When the fixed name is
// taken by anything but the user's own private folder (another account can
// make it first in a shared temporary folder), a fresh folder of a name
// nobody can guess is made instead, once per process: the log there starts
// afresh rather than not at all.
std::string MakePrivateTempFolder() {
    const std::string base = TempFolderBase();
    const std::string named = NamedPrivateTempFolder(base);
    mkdir(named.c_str(), 0700); // an existing entry stays as it is
    if (IsOwnPrivateFolder(named)) {
        return named;
    }
    TFallbackFolder& fallback = Fallback();
    std::lock_guard<std::mutex> lock(fallback.mutex);
    if (fallback.base != base || !IsOwnPrivateFolder(fallback.folder)) {
        std::string pattern = named + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            return named; // CreatePrivateFile refuses the named folder
        }
        fallback.base = base;
        fallback.folder = pattern;
    }
    return fallback.folder;
}

// "/a/b//" -> "/a/b"; "/" stays.
std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The reason an opened or found entry may not be used, Refusal::None when it may.
Refusal RefusalOf(const struct stat& info, DWORD& detail) {
    if (S_ISLNK(info.st_mode)) {
        return Refusal::Link;
    }
    if (!S_ISREG(info.st_mode)) {
        return Refusal::NotRegularFile;
    }
    if (info.st_uid != geteuid()) {
        detail = info.st_uid;
        return Refusal::OtherOwner;
    }
    if (info.st_nlink != 1) {
        return Refusal::OtherNames;
    }
    if ((info.st_mode & kOthersBits) != 0) {
        detail = info.st_mode & 07777;
        return Refusal::OpenToOthers;
    }
    return Refusal::None;
}

TPrivateFile Refuse(Refusal why, DWORD detail, Refusal* refusal, DWORD* statusDetail) {
    if (refusal != nullptr) {
        *refusal = why;
    }
    if (statusDetail != nullptr) {
        *statusDetail = detail;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return kNoPrivateFile;
}

TPrivateFile FailWith(DWORD code) {
    SetLastError(code);
    return kNoPrivateFile;
}

} // namespace
} // namespace nomvera::platform

nomvera::platform::TPrivateFile
nomvera::platform::CreatePrivateFile(LPCWSTR fileName, DWORD shareMode, DWORD creationDisposition,
                                     TPrivateFileRefusal* refusal, DWORD* statusDetail) {
    using nomvera::platform::FailWith;
    using nomvera::platform::Refusal;
    using nomvera::platform::Refuse;
    using nomvera::posix::UniqueFd;
    if (refusal != nullptr) {
        *refusal = Refusal::None;
    }
    if (statusDetail != nullptr) {
        *statusDetail = 0;
    }
    auto name = fileName == nullptr ? std::optional<std::string>(std::string())
                                    : nomvera::posix::Utf16ToUtf8(fileName);
    if (!name) {
        return FailWith(ERROR_INVALID_NAME);
    }
    if (creationDisposition != OPEN_EXISTING && creationDisposition != CREATE_NEW) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    const std::size_t slash = name->rfind('/');
    const std::string leaf = slash == std::string::npos ? *name : name->substr(slash + 1);
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : name->substr(0, slash);
    if (leaf.empty() || leaf == "." || leaf == "..") {
        return FailWith(name->empty() ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    }

    // Everything below works relative to the folder as it was opened here, so
    // that the checks and the opening meet the same entries.
    const std::string plainFolder = nomvera::platform::WithoutTrailingSlashes(folder);
    const bool privateTemp = plainFolder == nomvera::platform::PrivateTempFolder() ||
                             plainFolder == nomvera::platform::NamedPrivateTempFolder(
                                                nomvera::platform::TempFolderBase());
    UniqueFd folderFd(
        open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | (privateTemp ? O_NOFOLLOW : 0)));
    if (folderFd.get() < 0) {
        const int error = errno;
        if (privateTemp && (error == ELOOP || error == ENOTDIR)) {
            return Refuse(Refusal::FolderNotPrivate, 0, refusal, statusDetail);
        }
        return FailWith(nomvera::posix::PathErrorCode(*name, error));
    }
    struct stat info {};
    if (privateTemp) {
        if (fstat(folderFd.get(), &info) != 0) {
            return FailWith(WindowsCodeFromErrno(errno));
        }
        if (info.st_uid != geteuid() || (info.st_mode & nomvera::platform::kOthersBits) != 0) {
            return Refuse(Refusal::FolderNotPrivate, info.st_mode & 07777, refusal, statusDetail);
        }
    }

    int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    DWORD detail = 0;
    if (creationDisposition == CREATE_NEW) {
        flags |= O_CREAT | O_EXCL;
    } else {
        // Look before opening: opening a device or a FIFO can have effects of
        // its own, so only a regular file is ever opened.
        if (fstatat(folderFd.get(), leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return FailWith(nomvera::posix::PathErrorCode(*name, errno));
        }
        if (Refusal why = nomvera::platform::RefusalOf(info, detail); why != Refusal::None) {
            return Refuse(why, detail, refusal, statusDetail);
        }
    }
    UniqueFd fd(
        Call(TCall::Open, [&] { return openat(folderFd.get(), leaf.c_str(), flags, 0600); }));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == ELOOP) {
            return Refuse(Refusal::Link, 0, refusal, statusDetail);
        }
        return FailWith(error == ENOENT
                            ? nomvera::posix::PathErrorCode(*name, error)
                            : WindowsCodeFromErrno(error, creationDisposition == CREATE_NEW
                                                              ? TErrnoContext::NewFile
                                                              : TErrnoContext::General));
    }
    // Checked again on what was really opened: the name may have been
    // replaced after the look.
    if (fstat(fd.get(), &info) != 0) {
        return FailWith(WindowsCodeFromErrno(errno));
    }
    if (Refusal why = nomvera::platform::RefusalOf(info, detail); why != Refusal::None) {
        return Refuse(why, detail, refusal, statusDetail);
    }
    const int status = fcntl(fd.get(), F_GETFL);
    if (status < 0 || fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
        return FailWith(WindowsCodeFromErrno(errno));
    }
    if (DWORD clash = nomvera::platform::ClaimShareMode(fd.get(), true, true, shareMode);
        clash != ERROR_SUCCESS) {
        if (creationDisposition == CREATE_NEW) {
            unlinkat(folderFd.get(), leaf.c_str(), 0);
        }
        return FailWith(clash);
    }
    SetLastError(ERROR_SUCCESS);
    return fd.release();
}

void nomvera::platform::ClosePrivateFile(TPrivateFile file) {
    if (file >= 0) {
        close(file); // the share-mode locks go with the descriptor
    }
}

DWORD nomvera::platform::GetPrivateTempPath(DWORD size, LPWSTR buffer) {
    const std::string folder = nomvera::platform::MakePrivateTempFolder();
    const std::u16string text = nomvera::posix::Utf8ToUtf16Lossy(folder + "/");
    if (buffer == nullptr || text.size() + 1 > size) {
        return static_cast<DWORD>(text.size() + 1);
    }
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return static_cast<DWORD>(text.size());
}

BOOL nomvera::platform::CreatePrivateFolderTree(LPCWSTR path) {
    auto name = path == nullptr ? std::optional<std::string>() : nomvera::posix::Utf16ToUtf8(path);
    if (!name || name->empty()) {
        SetLastError(name ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME);
        return FALSE;
    }
    // Nothing is made inside, and nothing is used below, a folder that
    // another account could change: it could swap a link in (sudo -E hands
    // root a user's XDG_STATE_HOME) and have root write elsewhere.
    auto trusted = [](const std::string& folder) {
        return nomvera::posix::FolderUnchangeableByOthers(folder).error == 0;
    };
    std::string existing = "/"; // the deepest folder seen to exist so far
    bool made = false;
    // Each prefix that ends a name, from the top down.
    for (std::size_t end = name->find('/', 1);; end = name->find('/', end + 1)) {
        const std::string prefix = name->substr(0, end);
        struct stat info {};
        if (!prefix.empty() && prefix.back() != '/') {
            if (!made && stat(prefix.c_str(), &info) == 0) {
                existing = prefix;
            } else {
                if (!made && !trusted(existing)) {
                    SetLastError(ERROR_ACCESS_DENIED);
                    return FALSE;
                }
                made = true;
                if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
                    SetLastError(nomvera::posix::PathErrorCode(prefix, errno));
                    return FALSE;
                }
            }
        }
        if (end == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (stat(name->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!trusted(*name)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
