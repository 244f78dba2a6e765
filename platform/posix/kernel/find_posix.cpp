#include "platform/errors.h"
#include "platform/find.h"
#include "platform/folder_walk.h"

#include "platform/common/folder_change_seam.h"
#include "platform/posix/kernel/handle_table.h"
#include "platform/posix/kernel/mount_identity.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/standin_services.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using nomvera::platform::AskFolderChangeSeam;
using nomvera::platform::KernelObject;
using nomvera::posix::MountIdentity;
using nomvera::posix::MountIdentityOf;
using nomvera::posix::OnSameMount;

constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorNotSameDevice = 17;
constexpr DWORD kErrorNoMoreFiles = 18;
constexpr DWORD kErrorWriteProtect = 19;
constexpr DWORD kErrorSharingViolation = 32;

// Windows codes for the errno values that file and folder calls give.
DWORD CodeOfErrno(int error, DWORD notFound = ERROR_FILE_NOT_FOUND) {
    switch (error) {
    case ENOENT:
        return notFound;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOTEMPTY:
    case EEXIST:
        return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY:
        return kErrorSharingViolation;
    case EROFS:
        return kErrorWriteProtect;
    case ELOOP:
        return ERROR_CANT_RESOLVE_FILENAME;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
        return kErrorTooManyOpenFiles;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EXDEV:
        return kErrorNotSameDevice;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_GEN_FAILURE;
    }
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

HANDLE FailHandle(DWORD code) {
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
}

bool IsRootIdentity(dev_t device, ino_t inode) {
    struct stat root {};
    return stat("/", &root) == 0 && root.st_dev == device && root.st_ino == inode;
}

// One open folder, shared by its folder handle and its searches.
struct FolderState {
    int fd = -1;
    MountIdentity id;
    // The current entry of the latest search over this folder: its raw name
    // (which may not be valid UTF-8), the name as shown, and its mode.
    std::string entryRaw;
    std::u16string entryShown;
    mode_t entryMode = 0;
    dev_t entryDevice = 0;
    ino_t entryInode = 0;
    bool entryOnFolderMount = true;
    bool entryKnown = false;

    ~FolderState() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

struct FolderObject : KernelObject {
    std::shared_ptr<FolderState> state;
};

// A search reads its folder's own descriptor (a walk then holds one
// descriptor per level, not two), a batch of entries at a time.
struct SearchObject : KernelObject {
    std::shared_ptr<FolderState> folder;
    std::string pattern; // empty: every entry
    alignas(8) char batch[8192];
    long batchSize = 0;
    long batchOffset = 0;
    ~SearchObject() override {
        if (folder) {
            folder->entryKnown = false;
        }
    }
};

struct RawEntry {
    const char* name = nullptr;
    unsigned char type = DT_UNKNOWN;
};

struct LinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// The next entry of the folder; false at the end (errno 0) or on a failure.
bool ReadRawEntry(SearchObject& search, RawEntry& entry) {
    if (search.batchOffset >= search.batchSize) {
        const long read =
            syscall(SYS_getdents64, search.folder->fd, search.batch, sizeof search.batch);
        if (read <= 0) {
            if (read == 0) {
                errno = 0;
            }
            return false;
        }
        search.batchSize = read;
        search.batchOffset = 0;
    }
    const auto* record = reinterpret_cast<const LinuxDirent64*>(search.batch + search.batchOffset);
    search.batchOffset += record->d_reclen;
    entry.name = record->d_name;
    entry.type = record->d_type;
    return true;
}

// An entry lies on its folder's mount unless it is a mount point itself (of
// another file system or a bind mount).
bool OnMountOf(const FolderState& folder, const struct statx& entry) {
    MountIdentity id;
    id.device = makedev(entry.stx_dev_major, entry.stx_dev_minor);
    id.mount = (entry.stx_mask & STATX_MNT_ID) != 0 ? entry.stx_mnt_id : 0;
    return OnSameMount(folder.id, id);
}

void ToFileTime(const statx_timestamp& t, FILETIME& out) {
    // 100-ns intervals since 1601-01-01.
    const std::int64_t ticks =
        (static_cast<std::int64_t>(t.tv_sec) + 11644473600LL) * 10000000LL + t.tv_nsec / 100;
    out.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    out.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
}

DWORD AttributesOf(mode_t mode) {
    if (S_ISLNK(mode)) {
        return FILE_ATTRIBUTE_REPARSE_POINT;
    }
    if (S_ISDIR(mode)) {
        DWORD attributes = FILE_ATTRIBUTE_DIRECTORY;
        if ((mode & S_IRWXU) != S_IRWXU) {
            attributes |= FILE_ATTRIBUTE_READONLY;
        }
        return attributes;
    }
    return (mode & S_IWUSR) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

// Reads entries until one matches; fills the find data and the folder's
// current entry. False (with the code set) at the end or on a failure.
bool NextEntry(SearchObject& search, WIN32_FIND_DATAW& data) {
    for (;;) {
        RawEntry raw;
        if (!ReadRawEntry(search, raw)) {
            search.folder->entryKnown = false;
            SetLastError(errno == 0 ? kErrorNoMoreFiles : CodeOfErrno(errno));
            return false;
        }
        const RawEntry* entry = &raw;
        if (!search.pattern.empty() && fnmatch(search.pattern.c_str(), entry->name, 0) != 0) {
            continue;
        }
        data = WIN32_FIND_DATAW{};
        struct statx stx {};
        if (statx(search.folder->fd, entry->name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                  STATX_BASIC_STATS | STATX_MNT_ID, &stx) == 0) {
            data.dwFileAttributes = AttributesOf(stx.stx_mode);
            data.nFileSizeHigh = static_cast<DWORD>(stx.stx_size >> 32);
            data.nFileSizeLow = static_cast<DWORD>(stx.stx_size & 0xFFFFFFFF);
            ToFileTime(stx.stx_ctime, data.ftCreationTime);
            ToFileTime(stx.stx_atime, data.ftLastAccessTime);
            ToFileTime(stx.stx_mtime, data.ftLastWriteTime);
            search.folder->entryMode = stx.stx_mode;
            search.folder->entryDevice = makedev(stx.stx_dev_major, stx.stx_dev_minor);
            search.folder->entryInode = stx.stx_ino;
            search.folder->entryOnFolderMount = OnMountOf(*search.folder, stx);
        } else {
            // Gone or unreadable since it was listed: report what the listing knew.
            data.dwFileAttributes = entry->type == DT_DIR   ? FILE_ATTRIBUTE_DIRECTORY
                                    : entry->type == DT_LNK ? FILE_ATTRIBUTE_REPARSE_POINT
                                                            : FILE_ATTRIBUTE_NORMAL;
            search.folder->entryMode = 0;
        }
        std::u16string shown = nomvera::posix::Utf8ToUtf16Lossy(entry->name);
        if (shown.size() >= MAX_PATH) {
            shown.resize(MAX_PATH - 1);
        }
        shown.copy(data.cFileName, shown.size());
        data.cFileName[shown.size()] = 0;
        search.folder->entryRaw = entry->name;
        search.folder->entryShown = std::move(shown);
        search.folder->entryKnown = search.folder->entryMode != 0;
        return true;
    }
}

HANDLE StartSearch(std::shared_ptr<FolderState> folder, std::string pattern,
                   LPWIN32_FIND_DATAW findData) {
    // A new search of a folder starts again from its first entry.
    if (lseek(folder->fd, 0, SEEK_SET) < 0) {
        return FailHandle(CodeOfErrno(errno));
    }
    auto search = std::make_unique<SearchObject>();
    search->folder = std::move(folder);
    search->pattern = std::move(pattern);
    if (!NextEntry(*search, *findData)) {
        const DWORD code = GetLastError();
        return FailHandle(code == kErrorNoMoreFiles ? ERROR_FILE_NOT_FOUND : code);
    }
    return nomvera::platform::RegisterHandle(std::move(search));
}

FolderState* FolderOf(HANDLE folder) {
    auto* object = nomvera::platform::HandleObject<FolderObject>(folder);
    return object != nullptr ? object->state.get() : nullptr;
}

// The raw name of an entry of folder: the current entry's own bytes when the
// name is the one its search showed, else the strict UTF-8 form. Names that
// would leave the folder ("", ".", "..", anything with "/") are refused.
bool EntryName(const FolderState& folder, LPCWSTR name, std::string& raw) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::u16string_view shown(name);
    if (!folder.entryRaw.empty() && shown == folder.entryShown) {
        raw = folder.entryRaw;
    } else {
        auto converted = nomvera::posix::Utf16ToUtf8(shown);
        if (!converted) {
            SetLastError(ERROR_INVALID_NAME);
            return false;
        }
        raw = std::move(*converted);
    }
    if (raw.empty() || raw == "." || raw == ".." || raw.find('/') != std::string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return true;
}

std::string StripTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
    if (fileName == nullptr || findData == nullptr) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    auto path = nomvera::posix::Utf16ToUtf8(fileName);
    if (!path || path->empty()) {
        return FailHandle(ERROR_INVALID_NAME);
    }
    const auto slash = path->rfind('/');
    std::string folderPath = slash == std::string::npos ? "." : path->substr(0, slash + 1);
    std::string pattern = slash == std::string::npos ? *path : path->substr(slash + 1);
    if (pattern.empty()) {
        return FailHandle(ERROR_FILE_NOT_FOUND);
    }
    if (pattern == "*.*") {
        pattern = "*";
    }
    auto folder = std::make_shared<FolderState>();
    folder->fd = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder->fd < 0) {
        return FailHandle(CodeOfErrno(errno, ERROR_PATH_NOT_FOUND));
    }
    MountIdentityOf(folder->fd, folder->id);
    return StartSearch(std::move(folder), pattern == "*" ? std::string() : pattern, findData);
}

HANDLE nomvera::platform::FindFirstWalkEntry(HANDLE folder, LPWIN32_FIND_DATAW findData) {
    auto* object = nomvera::platform::HandleObject<FolderObject>(folder);
    if (object == nullptr) {
        return FailHandle(ERROR_INVALID_HANDLE);
    }
    if (findData == nullptr) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    return StartSearch(object->state, std::string(), findData);
}

BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData) {
    auto* search = nomvera::platform::HandleObject<SearchObject>(findFile);
    if (search == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (findData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return NextEntry(*search, *findData) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE findFile) {
    if (nomvera::platform::HandleObject<SearchObject>(findFile) == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    return CloseHandle(findFile);
}

BOOL nomvera::platform::FindNextWalkEntry(HANDLE search, LPWIN32_FIND_DATAW findData) {
    return FindNextFileW(search, findData);
}

BOOL nomvera::platform::CloseWalkSearch(HANDLE search) {
    return FindClose(search);
}

HANDLE nomvera::platform::OpenWalkFolder(HANDLE parent, LPCWSTR name) {
    if (const DWORD refused = AskFolderChangeSeam("OpenWalkFolder", name); refused != 0) {
        return FailHandle(refused);
    }
    FolderState* parentState = nullptr;
    int fd = -1;
    if (parent == nullptr) {
        auto path = name != nullptr ? nomvera::posix::Utf16ToUtf8(name) : std::nullopt;
        if (!path || path->empty()) {
            return FailHandle(ERROR_PATH_NOT_FOUND);
        }
        // A trailing "/" would make the last part be followed.
        fd = open(StripTrailingSlashes(*path).c_str(),
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } else {
        parentState = FolderOf(parent);
        if (parentState == nullptr) {
            return FailHandle(ERROR_INVALID_HANDLE);
        }
        std::string raw;
        if (!EntryName(*parentState, name, raw)) {
            return INVALID_HANDLE_VALUE;
        }
        fd = openat(parentState->fd, raw.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
        const int error = errno;
        return FailHandle(error == ELOOP || error == ENOTDIR ? ERROR_DIRECTORY
                                                             : CodeOfErrno(error));
    }
    auto state = std::make_shared<FolderState>();
    state->fd = fd;
    if (!MountIdentityOf(fd, state->id)) {
        return FailHandle(CodeOfErrno(errno));
    }
    if (IsRootIdentity(state->id.device, state->id.inode)) {
        return FailHandle(ERROR_ACCESS_DENIED);
    }
    // A walk never starts in another account's home or in a folder in use.
    if (parentState == nullptr) {
        if (const DWORD refused = nomvera::posix::WalkStartRefusalOf(fd); refused != 0) {
            return FailHandle(refused);
        }
    }
    if (parentState != nullptr &&
        (state->id.device != parentState->id.device || state->id.mount != parentState->id.mount)) {
        return FailHandle(kErrorNotSameDevice);
    }
    auto object = std::make_unique<FolderObject>();
    object->state = std::move(state);
    return nomvera::platform::RegisterHandle(std::move(object));
}

// The common first steps of a change inside an open folder: the test seam,
// the folder handle and the entry's name. Null (last error set) when refused.
static FolderState* EntryToChange(const char* operation, HANDLE folder, LPCWSTR name,
                                  std::string& raw) {
    if (const DWORD refused = AskFolderChangeSeam(operation, name); refused != 0) {
        Fail(refused);
        return nullptr;
    }
    FolderState* state = FolderOf(folder);
    if (state == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!EntryName(*state, name, raw)) {
        return nullptr;
    }
    return state;
}

BOOL nomvera::platform::SetWalkEntryAttributes(HANDLE folder, LPCWSTR name, DWORD attributes) {
    std::string raw;
    FolderState* state = EntryToChange("SetWalkEntryAttributes", folder, name, raw);
    if (state == nullptr) {
        return FALSE;
    }
    // The entry is changed only through a descriptor of the entry itself,
    // never through its name again: a name swapped for a link or another
    // file after it was listed or opened cannot redirect the change.
    const int entry = openat(state->fd, raw.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (entry < 0) {
        return Fail(CodeOfErrno(errno));
    }
    struct statx stx {};
    const bool examined = statx(entry, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                                STATX_BASIC_STATS | STATX_MNT_ID, &stx) == 0;
    const int examineError = errno;
    const auto finish = [entry](BOOL result) {
        const DWORD code = GetLastError();
        close(entry);
        SetLastError(code);
        return result;
    };
    if (!examined) {
        return finish(Fail(CodeOfErrno(examineError)));
    }
    // The entry the search listed under this name must still be the one
    // there: another file moved in meanwhile is not changed.
    if (state->entryKnown && raw == state->entryRaw &&
        (makedev(stx.stx_dev_major, stx.stx_dev_minor) != state->entryDevice ||
         stx.stx_ino != state->entryInode)) {
        return finish(Fail(ERROR_ACCESS_DENIED));
    }
    // A mount point's permissions belong to the file system mounted there.
    if (!OnMountOf(*state, stx)) {
        return finish(Fail(kErrorNotSameDevice));
    }
    const mode_t mode = stx.stx_mode;
    if (S_ISLNK(mode)) {
        return finish(TRUE);
    }
    // Set-user-id and set-group-id bits never survive a change the walk makes.
    mode_t wanted = mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID);
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        wanted &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        wanted |= S_ISDIR(mode) ? S_IRWXU : S_IWUSR;
    }
    if (wanted == (mode & 07777)) {
        return finish(TRUE);
    }
    const std::string self = "/proc/self/fd/" + std::to_string(entry);
    if (chmod(self.c_str(), wanted) != 0) {
        return finish(Fail(CodeOfErrno(errno)));
    }
    if (state->entryKnown && raw == state->entryRaw) {
        state->entryMode = (mode & ~static_cast<mode_t>(07777)) | wanted;
    }
    return finish(TRUE);
}

BOOL nomvera::platform::DeleteWalkFile(HANDLE folder, LPCWSTR name) {
    std::string raw;
    FolderState* state = EntryToChange("DeleteWalkFile", folder, name, raw);
    if (state == nullptr) {
        return FALSE;
    }
    if (unlinkat(state->fd, raw.c_str(), 0) != 0) {
        return Fail(CodeOfErrno(errno));
    }
    return TRUE;
}

BOOL nomvera::platform::RemoveWalkFolder(HANDLE folder, LPCWSTR name) {
    std::string raw;
    FolderState* state = EntryToChange("RemoveWalkFolder", folder, name, raw);
    if (state == nullptr) {
        return FALSE;
    }
    if (unlinkat(state->fd, raw.c_str(), AT_REMOVEDIR) != 0) {
        const int error = errno;
        return Fail(error == ENOTDIR ? ERROR_DIRECTORY : CodeOfErrno(error));
    }
    return TRUE;
}

BOOL nomvera::platform::IsFileSystemRoot(LPCWSTR path) {
    auto text = path != nullptr ? nomvera::posix::Utf16ToUtf8(path) : std::nullopt;
    if (!text || text->empty()) {
        return FALSE;
    }
    struct stat st {};
    if (stat(text->c_str(), &st) != 0) {
        return FALSE;
    }
    return IsRootIdentity(st.st_dev, st.st_ino) ? TRUE : FALSE;
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
    std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
    if (!cwd) {
        SetLastError(CodeOfErrno(errno));
        return 0;
    }
    const std::u16string text = nomvera::posix::Utf8ToUtf16Lossy(cwd.get());
    if (buffer == nullptr || size < text.size() + 1) {
        return static_cast<DWORD>(text.size() + 1);
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

BOOL SetCurrentDirectoryA(LPCSTR pathName) {
    if (pathName == nullptr || *pathName == 0) {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    if (chdir(pathName) != 0) {
        return Fail(CodeOfErrno(errno, ERROR_PATH_NOT_FOUND));
    }
    return TRUE;
}

BOOL SetCurrentDirectoryW(LPCWSTR pathName) {
    auto path = pathName != nullptr ? nomvera::posix::Utf16ToUtf8(pathName) : std::nullopt;
    if (!path) {
        return Fail(ERROR_INVALID_NAME);
    }
    return SetCurrentDirectoryA(path->c_str());
}
