#include "platform/file_io.h"
#include "platform/private_files.h"
#include "platform/test_doubles.h"

#include "platform/errors.h"
#include "platform/posix/kernel/descriptor.h"
#include "platform/posix/kernel/errno_map.h"
#include "platform/posix/kernel/handle_table.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/posix/kernel/utf.h"

#include "platform/process.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::platform {
namespace {

class FileObject : public KernelObject {
public:
    FileObject(int fd, int lockFd, bool canRead, bool canWrite)
        : fd_(fd), lockFd_(lockFd), canRead_(canRead), canWrite_(canWrite) {}
    ~FileObject() override {
        if (lockFd_ >= 0 && lockFd_ != fd_) {
            close(lockFd_);
        }
        close(fd_);
    }
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    int Fd() const { return fd_; }
    bool CanRead() const { return canRead_; }
    bool CanWrite() const { return canWrite_; }

private:
    int fd_;
    int lockFd_; // holds the share-mode locks: fd_ itself, or a reading twin of it
    bool canRead_;
    bool canWrite_;
};

// The general mapping, with the codes Windows gives for files in particular.
DWORD CodeOfErrno(int error) {
    switch (error) {
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case EFBIG:
        return ERROR_FILE_TOO_LARGE;
    case EIO:
        return ERROR_IO_DEVICE;
    default:
        return nomvera::posix::WindowsCodeFromErrno(error);
    }
}

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
    int result;
    do {
        result = fcntl(fd, F_OFD_SETLK, &lock);
    } while (result != 0 && errno == EINTR);
    return result;
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
    int guard;
    do {
        guard = flock(fd, LOCK_EX);
    } while (guard != 0 && errno == EINTR);
    if (guard != 0) {
        return (errno == EINVAL || errno == ENOLCK || errno == EOPNOTSUPP) ? ERROR_SUCCESS
                                                                           : CodeOfErrno(errno);
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
                result = CodeOfErrno(errno);
                break;
            }
        }
    }
    flock(fd, LOCK_UN);
    return result;
}

std::atomic<DWORD> writeDelay{0};

FileObject* FileOf(HANDLE handle) {
    return HandleObjectOrFail<FileObject>(handle);
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

} // namespace

namespace test_double {
void DelayFileWrites(DWORD milliseconds) {
    writeDelay.store(milliseconds);
}
} // namespace test_double

} // namespace nomvera::platform

using nomvera::platform::CodeOfErrno;
using nomvera::platform::Fail;
using nomvera::platform::FileObject;
using nomvera::platform::FileOf;

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
    auto name = fileName == nullptr ? std::optional<std::string>(std::string())
                                    : nomvera::posix::Utf16ToUtf8(fileName);
    if (!name) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if (name->empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING ||
        (creationDisposition == TRUNCATE_EXISTING && (desiredAccess & GENERIC_WRITE) == 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool wantRead = (desiredAccess & GENERIC_READ) != 0;
    const bool wantWrite = (desiredAccess & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | O_NOCTTY;
    flags |= wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;

    int fd = -1;
    bool existed = true;
    switch (creationDisposition) {
    case CREATE_NEW:
        fd = open(name->c_str(), flags | O_CREAT | O_EXCL, 0666);
        existed = false;
        break;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
        fd = open(name->c_str(), flags);
        break;
    default: // OPEN_ALWAYS, CREATE_ALWAYS: learn whether the file was there
        for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
            fd = open(name->c_str(), flags);
            existed = true;
            if (fd < 0 && errno == ENOENT) {
                fd = open(name->c_str(), flags | O_CREAT | O_EXCL, 0666);
                existed = false;
                if (fd < 0 && errno == EEXIST) {
                    continue;
                }
            }
            break;
        }
        break;
    }
    if (fd < 0) {
        const int error = errno;
        SetLastError(error == ENOENT || error == ENOTDIR
                         ? nomvera::posix::PathErrorCode(*name, error)
                         : CodeOfErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int lockFd = fd;
    if (!wantRead) {
        // A reading twin of the same opening carries the locks; without read
        // permission there is none, and the file opens without share checks.
        const std::string twin = "/proc/self/fd/" + std::to_string(fd);
        lockFd = open(twin.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    }
    DWORD clash = lockFd >= 0
                      ? nomvera::platform::ClaimShareMode(lockFd, wantRead, wantWrite, shareMode)
                      : ERROR_SUCCESS;
    if (clash != ERROR_SUCCESS) {
        if (lockFd != fd) {
            close(lockFd);
        }
        close(fd);
        SetLastError(clash);
        return INVALID_HANDLE_VALUE;
    }
    const bool truncate = existed && (creationDisposition == CREATE_ALWAYS ||
                                      creationDisposition == TRUNCATE_EXISTING);
    if (truncate && ftruncate(fd, 0) != 0) {
        const int error = errno;
        if (lockFd >= 0 && lockFd != fd) {
            close(lockFd);
        }
        close(fd);
        SetLastError(CodeOfErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = nomvera::platform::RegisterHandle(
        std::make_unique<FileObject>(fd, lockFd, wantRead, wantWrite));
    const bool reportExisting =
        existed && (creationDisposition == OPEN_ALWAYS || creationDisposition == CREATE_ALWAYS);
    SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    FileObject* file = FileOf(handle);
    if (file == nullptr) {
        return FALSE;
    }
    if (overlapped != nullptr || (buffer == nullptr && bytesToRead > 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!file->CanRead()) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    DWORD done = 0;
    while (done < bytesToRead) {
        ssize_t got = read(file->Fd(), static_cast<char*>(buffer) + done, bytesToRead - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const DWORD code = errno == EIO ? ERROR_READ_FAULT : CodeOfErrno(errno);
            if (bytesRead != nullptr) {
                *bytesRead = done;
            }
            return Fail(code);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<DWORD>(got);
    }
    if (bytesRead != nullptr) {
        *bytesRead = done;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    FileObject* file = FileOf(handle);
    if (file == nullptr) {
        return FALSE;
    }
    if (overlapped != nullptr || (buffer == nullptr && bytesToWrite > 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!file->CanWrite()) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (DWORD delay = nomvera::platform::writeDelay.load(); delay > 0) {
        Sleep(delay);
    }
    DWORD done = 0;
    while (done < bytesToWrite) {
        ssize_t put =
            write(file->Fd(), static_cast<const char*>(buffer) + done, bytesToWrite - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            const DWORD code = errno == EIO ? ERROR_WRITE_FAULT : CodeOfErrno(errno);
            if (bytesWritten != nullptr) {
                *bytesWritten = done;
            }
            return Fail(code);
        }
        done += static_cast<DWORD>(put);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = done;
    }
    return TRUE;
}

BOOL SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD moveMethod) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) {
        return FALSE;
    }
    int whence;
    switch (moveMethod) {
    case FILE_BEGIN:
        whence = SEEK_SET;
        break;
    case FILE_CURRENT:
        whence = SEEK_CUR;
        break;
    case FILE_END:
        whence = SEEK_END;
        break;
    default:
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (moveMethod == FILE_BEGIN && distance.QuadPart < 0) {
        return Fail(ERROR_NEGATIVE_SEEK);
    }
    off_t result = lseek(file->Fd(), static_cast<off_t>(distance.QuadPart), whence);
    if (result < 0) {
        return Fail(errno == EINVAL ? ERROR_NEGATIVE_SEEK : CodeOfErrno(errno));
    }
    if (newPosition != nullptr) {
        newPosition->QuadPart = static_cast<LONGLONG>(result);
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distanceHigh, DWORD moveMethod) {
    LARGE_INTEGER move{};
    if (distanceHigh != nullptr) {
        move.u.LowPart = static_cast<DWORD>(distance);
        move.u.HighPart = *distanceHigh;
    } else {
        move.QuadPart = distance;
    }
    LARGE_INTEGER reached{};
    if (!SetFilePointerEx(handle, move, &reached, moveMethod)) {
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr) {
        *distanceHigh = reached.u.HighPart;
    } else if (reached.u.HighPart != 0) {
        // Without a high half the position must fit into 32 bits.
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    SetLastError(ERROR_SUCCESS);
    return reached.u.LowPart;
}

BOOL SetEndOfFile(HANDLE handle) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) {
        return FALSE;
    }
    if (!file->CanWrite()) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    off_t here = lseek(file->Fd(), 0, SEEK_CUR);
    if (here < 0 || ftruncate(file->Fd(), here) != 0) {
        return Fail(CodeOfErrno(errno));
    }
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE handle, PLARGE_INTEGER size) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) {
        return FALSE;
    }
    if (size == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    struct stat info {};
    if (fstat(file->Fd(), &info) != 0) {
        return Fail(CodeOfErrno(errno));
    }
    size->QuadPart = static_cast<LONGLONG>(info.st_size);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) {
        return FALSE;
    }
    if (!file->CanWrite()) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (fsync(file->Fd()) != 0) {
        return Fail(CodeOfErrno(errno));
    }
    return TRUE;
}

namespace nomvera::platform {
namespace {

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

HANDLE Refuse(Refusal why, DWORD detail, Refusal* refusal, DWORD* statusDetail) {
    if (refusal != nullptr) {
        *refusal = why;
    }
    if (statusDetail != nullptr) {
        *statusDetail = detail;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

HANDLE FailWith(DWORD code) {
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
}

} // namespace
} // namespace nomvera::platform

HANDLE nomvera::platform::CreatePrivateFile(LPCWSTR fileName, DWORD shareMode,
                                            DWORD creationDisposition, TPrivateFileRefusal* refusal,
                                            DWORD* statusDetail) {
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
            return FailWith(CodeOfErrno(errno));
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
    UniqueFd fd(openat(folderFd.get(), leaf.c_str(), flags, 0600));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == ELOOP) {
            return Refuse(Refusal::Link, 0, refusal, statusDetail);
        }
        return FailWith(error == ENOENT ? nomvera::posix::PathErrorCode(*name, error)
                                        : CodeOfErrno(error));
    }
    // Checked again on what was really opened: the name may have been
    // replaced after the look.
    if (fstat(fd.get(), &info) != 0) {
        return FailWith(CodeOfErrno(errno));
    }
    if (Refusal why = nomvera::platform::RefusalOf(info, detail); why != Refusal::None) {
        return Refuse(why, detail, refusal, statusDetail);
    }
    const int status = fcntl(fd.get(), F_GETFL);
    if (status < 0 || fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
        return FailWith(CodeOfErrno(errno));
    }
    if (DWORD clash = nomvera::platform::ClaimShareMode(fd.get(), true, true, shareMode);
        clash != ERROR_SUCCESS) {
        if (creationDisposition == CREATE_NEW) {
            unlinkat(folderFd.get(), leaf.c_str(), 0);
        }
        return FailWith(clash);
    }
    const int opened = fd.release();
    HANDLE handle =
        nomvera::platform::RegisterHandle(std::make_unique<FileObject>(opened, opened, true, true));
    SetLastError(ERROR_SUCCESS);
    return handle;
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
