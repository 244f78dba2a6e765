// The folder walk on Windows: every entry is opened relative to its open
// folder (NtCreateFile with the folder as root directory) and never through
// a reparse point, so a junction, a symbolic link or a mounted volume is
// never entered and never leads a change elsewhere.
#include "platform/folder_walk.h"

#include "platform/common/folder_change_seam.h"
#include "support/owner.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace nomvera::platform {
namespace {

constexpr ULONG kEverySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kListingBytes = 64 * 1024;

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

HANDLE FailHandle(DWORD code) {
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
}

// One entry of a folder: not empty, not "." or "..", without a delimiter or a
// stream separator, short enough for a counted NT name.
bool IsEntryName(LPCWSTR name) {
    if (name == nullptr) {
        return false;
    }
    const WideStringView text(name);
    if (text.empty() || text == L"." || text == L".." || text.size() > 32767) {
        return false;
    }
    return text.find_first_of(L"\\/:") == WideStringView::npos;
}

using support::TOwnedHandle;

// Opens the entry name of folder itself, a reparse point as such. options:
// FILE_DIRECTORY_FILE, FILE_NON_DIRECTORY_FILE or 0. On failure the Windows
// code is left as the last error.
HANDLE OpenEntry(HANDLE folder, LPCWSTR name, ACCESS_MASK access, ULONG options) {
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name);
    text.Length = static_cast<USHORT>(std::wcslen(name) * sizeof(WCHAR));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE entry = nullptr;
    const NTSTATUS result = NtCreateFile(
        &entry, access | SYNCHRONIZE, &attributes, &status, nullptr, 0, kEverySharing, FILE_OPEN,
        options | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT |
            FILE_SYNCHRONOUS_IO_NONALERT,
        nullptr, 0);
    if (!NT_SUCCESS(result)) {
        return FailHandle(RtlNtStatusToDosError(result));
    }
    return entry;
}

bool InfoOf(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return GetFileInformationByHandle(handle, &info) != FALSE;
}

bool IsLink(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsFolder(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// True when the open handle is the root folder of a volume or a share: its
// name inside the volume is "\", or its full path is its volume's path.
bool IsVolumeRoot(HANDLE handle) {
    alignas(FILE_NAME_INFO) BYTE nameBytes[sizeof(FILE_NAME_INFO) + 8 * sizeof(WCHAR)] = {};
    auto* name = reinterpret_cast<FILE_NAME_INFO*>(nameBytes);
    if (GetFileInformationByHandleEx(handle, FileNameInfo, name, sizeof nameBytes) &&
        name->FileNameLength == sizeof(WCHAR) && name->FileName[0] == L'\\') {
        return true;
    }
    std::vector<WCHAR> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
        if (length == 0) {
            return false;
        }
        if (length < path.size()) {
            break;
        }
        path.assign(length + 1, L'\0');
    }
    WideString full(path.data());
    if (full.back() != L'\\') {
        full += L'\\';
    }
    std::vector<WCHAR> volume(full.size() + 1);
    if (!GetVolumePathNameW(full.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) {
        return false;
    }
    return CompareStringOrdinal(full.c_str(), -1, volume.data(), -1, TRUE) == CSTR_EQUAL;
}

// An open search: its own handle of the folder and the part of the listing
// read last.
struct TWalkSearch {
    HANDLE folder = INVALID_HANDLE_VALUE;
    std::unique_ptr<LONGLONG[]> listing{new LONGLONG[kListingBytes / sizeof(LONGLONG)]};
    DWORD next = 0; // offset of the next entry in listing
    bool more = false;
};

std::mutex searchesLock;
std::set<TWalkSearch*> searches;

TWalkSearch* SearchOf(HANDLE handle) {
    std::lock_guard guard(searchesLock);
    auto* search = static_cast<TWalkSearch*>(handle);
    return searches.count(search) != 0 ? search : nullptr;
}

// Reads the next part of the listing (from the start when restart is set);
// false with ERROR_NO_MORE_FILES at its end.
bool ReadListing(TWalkSearch& search, bool restart) {
    if (!GetFileInformationByHandleEx(
            search.folder, restart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
            search.listing.get(), kListingBytes)) {
        search.more = false;
        return false;
    }
    search.next = 0;
    search.more = true;
    return true;
}

void FillFound(const FILE_ID_BOTH_DIR_INFO& entry, WIN32_FIND_DATAW& found) {
    found = WIN32_FIND_DATAW{};
    found.dwFileAttributes = entry.FileAttributes;
    if ((entry.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link is shown as one, never as the folder it may lead to; the
        // reparse tag is where FindFirstFileW puts it.
        found.dwFileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
        found.dwReserved0 = entry.EaSize;
    }
    auto toFileTime = [](const LARGE_INTEGER& time) {
        return FILETIME{static_cast<DWORD>(time.LowPart), static_cast<DWORD>(time.HighPart)};
    };
    found.ftCreationTime = toFileTime(entry.CreationTime);
    found.ftLastAccessTime = toFileTime(entry.LastAccessTime);
    found.ftLastWriteTime = toFileTime(entry.LastWriteTime);
    found.nFileSizeHigh = static_cast<DWORD>(entry.EndOfFile.HighPart);
    found.nFileSizeLow = entry.EndOfFile.LowPart;
    const std::size_t length =
        std::min<std::size_t>(entry.FileNameLength / sizeof(WCHAR), MAX_PATH - 1);
    std::memcpy(found.cFileName, entry.FileName, length * sizeof(WCHAR));
    const std::size_t shortLength =
        std::min<std::size_t>(static_cast<std::size_t>(entry.ShortNameLength) / sizeof(WCHAR), 13);
    std::memcpy(found.cAlternateFileName, entry.ShortName, shortLength * sizeof(WCHAR));
}

// The entry at search.next, moving on to the one after it.
bool NextEntry(TWalkSearch& search, WIN32_FIND_DATAW& found) {
    if (!search.more && !ReadListing(search, false)) {
        return false;
    }
    const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
        reinterpret_cast<const BYTE*>(search.listing.get()) + search.next);
    FillFound(*entry, found);
    if (entry->NextEntryOffset == 0) {
        search.more = false;
    } else {
        search.next += entry->NextEntryOffset;
    }
    return true;
}

// Opens folder's entry name for a change, with the folder's own information
// for the checks that follow. INVALID_HANDLE_VALUE with the last error set
// when the entry cannot be opened.
HANDLE EntryToChange(const char* operation, HANDLE folder, LPCWSTR name, ACCESS_MASK access,
                     ULONG options, BY_HANDLE_FILE_INFORMATION& folderInfo,
                     BY_HANDLE_FILE_INFORMATION& entryInfo) {
    if (const DWORD refused = AskFolderChangeSeam(operation, name); refused != 0) {
        return FailHandle(refused);
    }
    if (!IsEntryName(name)) {
        return FailHandle(ERROR_INVALID_NAME);
    }
    if (!InfoOf(folder, folderInfo)) {
        return FailHandle(ERROR_INVALID_HANDLE);
    }
    TOwnedHandle entry(OpenEntry(folder, name, access | FILE_READ_ATTRIBUTES, options));
    if (!entry.Valid()) {
        return INVALID_HANDLE_VALUE;
    }
    if (!InfoOf(entry.Get(), entryInfo)) {
        return INVALID_HANDLE_VALUE;
    }
    return entry.Release();
}

// Marks an open entry for deletion; it goes when its last handle closes.
BOOL DeleteOpenEntry(HANDLE entry) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition);
}

} // namespace

DWORD WalkStartRefusal(LPCWSTR /*path*/) {
    return 0;
}

HANDLE OpenWalkFolder(HANDLE parent, LPCWSTR name) {
    if (const DWORD refused = AskFolderChangeSeam("OpenWalkFolder", name); refused != 0) {
        return FailHandle(refused);
    }
    constexpr ACCESS_MASK kAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
    TOwnedHandle folder;
    BY_HANDLE_FILE_INFORMATION parentInfo{};
    if (parent == nullptr) {
        if (name == nullptr || name[0] == L'\0') {
            return FailHandle(ERROR_PATH_NOT_FOUND);
        }
        folder.Reset(CreateFileW(name, kAccess | SYNCHRONIZE, kEverySharing, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
    } else {
        if (!IsEntryName(name)) {
            return FailHandle(ERROR_INVALID_NAME);
        }
        if (!InfoOf(parent, parentInfo)) {
            return FailHandle(ERROR_INVALID_HANDLE);
        }
        folder.Reset(OpenEntry(parent, name, kAccess, FILE_DIRECTORY_FILE));
    }
    if (!folder.Valid()) {
        return INVALID_HANDLE_VALUE; // the open's own code
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!InfoOf(folder.Get(), info)) {
        return INVALID_HANDLE_VALUE;
    }
    if (IsLink(info) || !IsFolder(info)) {
        return FailHandle(ERROR_DIRECTORY);
    }
    if (parent != nullptr && info.dwVolumeSerialNumber != parentInfo.dwVolumeSerialNumber) {
        return FailHandle(ERROR_NOT_SAME_DEVICE);
    }
    // Below the start folder no folder can be a volume's root without a
    // reparse point on the way, and those are never opened.
    if (parent == nullptr && IsVolumeRoot(folder.Get())) {
        return FailHandle(ERROR_ACCESS_DENIED);
    }
    return folder.Release();
}

HANDLE FindFirstWalkEntry(HANDLE folder, LPWIN32_FIND_DATAW findData) {
    if (findData == nullptr) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    auto search = std::make_unique<TWalkSearch>();
    if (!DuplicateHandle(GetCurrentProcess(), folder, GetCurrentProcess(), &search->folder, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
        return FailHandle(ERROR_INVALID_HANDLE);
    }
    if (!ReadListing(*search, true) || !NextEntry(*search, *findData)) {
        const DWORD code = GetLastError();
        CloseHandle(search->folder);
        return FailHandle(code == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : code);
    }
    std::lock_guard guard(searchesLock);
    searches.insert(search.get());
    return search.release();
}

BOOL FindNextWalkEntry(HANDLE search, LPWIN32_FIND_DATAW findData) {
    TWalkSearch* open = SearchOf(search);
    if (open == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (findData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return NextEntry(*open, *findData) ? TRUE : FALSE;
}

BOOL CloseWalkSearch(HANDLE search) {
    std::unique_ptr<TWalkSearch> open;
    {
        std::lock_guard guard(searchesLock);
        auto* candidate = static_cast<TWalkSearch*>(search);
        if (searches.erase(candidate) == 0) {
            return Fail(ERROR_INVALID_HANDLE);
        }
        open.reset(candidate);
    }
    CloseHandle(open->folder);
    return TRUE;
}

BOOL SetWalkEntryAttributes(HANDLE folder, LPCWSTR name, DWORD attributes) {
    BY_HANDLE_FILE_INFORMATION folderInfo{};
    BY_HANDLE_FILE_INFORMATION info{};
    TOwnedHandle entry(EntryToChange("SetWalkEntryAttributes", folder, name, FILE_WRITE_ATTRIBUTES,
                                     0, folderInfo, info));
    if (!entry.Valid()) {
        return FALSE;
    }
    if (IsLink(info)) {
        return TRUE; // a link is left alone
    }
    if (info.dwVolumeSerialNumber != folderInfo.dwVolumeSerialNumber) {
        return Fail(ERROR_NOT_SAME_DEVICE);
    }
    FILE_BASIC_INFO basic{}; // times of 0 stay as they are
    basic.FileAttributes = attributes & kSettableAttributes;
    if (basic.FileAttributes == 0) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    return SetFileInformationByHandle(entry.Get(), FileBasicInfo, &basic, sizeof basic);
}

BOOL DeleteWalkFile(HANDLE folder, LPCWSTR name) {
    BY_HANDLE_FILE_INFORMATION folderInfo{};
    BY_HANDLE_FILE_INFORMATION info{};
    TOwnedHandle entry(EntryToChange("DeleteWalkFile", folder, name, DELETE, 0, folderInfo, info));
    if (!entry.Valid()) {
        return FALSE;
    }
    if (IsFolder(info) && !IsLink(info)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    return DeleteOpenEntry(entry.Get());
}

BOOL RemoveWalkFolder(HANDLE folder, LPCWSTR name) {
    BY_HANDLE_FILE_INFORMATION folderInfo{};
    BY_HANDLE_FILE_INFORMATION info{};
    TOwnedHandle entry(EntryToChange("RemoveWalkFolder", folder, name, DELETE, FILE_DIRECTORY_FILE,
                                     folderInfo, info));
    if (!entry.Valid()) {
        return FALSE;
    }
    if (IsLink(info)) {
        return Fail(ERROR_DIRECTORY);
    }
    if (info.dwVolumeSerialNumber != folderInfo.dwVolumeSerialNumber) {
        return Fail(ERROR_NOT_SAME_DEVICE);
    }
    return DeleteOpenEntry(entry.Get());
}

BOOL IsFileSystemRoot(LPCWSTR path) {
    if (path == nullptr || path[0] == L'\0') {
        return FALSE;
    }
    TOwnedHandle target(CreateFileW(path, FILE_READ_ATTRIBUTES, kEverySharing, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return target.Valid() && IsVolumeRoot(target.Get()) ? TRUE : FALSE;
}

} // namespace nomvera::platform
