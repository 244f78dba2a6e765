#include "batches/profile_folder_removal.h"

#include "log/diagnostic_log.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/folder_walk.h"
#include "platform/handles.h"
#include "platform/lmaccess.h"
#include "platform/wide_text.h"
#include "support/buffers.h"
#include "support/files.h"
#include "support/owner.h"
#include "support/text.h"

#include <cstdint>

namespace nomvera::batches {
namespace {

using support::WidenText;

constexpr std::uint32_t kFolderLimit = 1000;
constexpr std::uint32_t kLoggedFailureLimit = 50;

// A logged path keeps at most this many characters: longer ones show their
// first and last characters around "…", so that one line of a deep tree
// cannot crowd the rest out of the size-limited log.
constexpr std::size_t kLoggedPathLimit = 512;
constexpr std::size_t kLoggedHead = 256;
constexpr std::size_t kLoggedTail = kLoggedPathLimit - kLoggedHead - 1;

bool IsHighSurrogate(WCHAR c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(WCHAR c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The count characters of first + second that start at from, taken without
// joining the two.
WideString Slice(WideStringView first, WideStringView second, std::size_t from, std::size_t count) {
    WideString slice;
    if (from < first.size()) {
        slice = first.substr(from, count);
    }
    const std::size_t secondFrom = from > first.size() ? from - first.size() : 0;
    if (slice.size() < count && secondFrom < second.size()) {
        slice += second.substr(secondFrom, count - slice.size());
    }
    return slice;
}

// first + second as a line shows it: control characters escaped, and cut in
// the middle when longer than kLoggedPathLimit. Only the two ends are ever
// escaped, so the cost does not grow with the path.
WideString LoggedPath(WideStringView first, WideStringView second = {}) {
    const std::size_t length = first.size() + second.size();
    WideString head;
    WideString tail;
    if (length <= kLoggedPathLimit) {
        WideString shown = support::ShownText(first) + support::ShownText(second);
        if (shown.size() <= kLoggedPathLimit) {
            return shown;
        }
        head = shown.substr(0, kLoggedHead);
        tail = shown.substr(shown.size() - kLoggedTail);
    } else {
        head = support::ShownText(Slice(first, second, 0, kLoggedHead)).substr(0, kLoggedHead);
        tail = support::ShownText(Slice(first, second, length - kLoggedTail, kLoggedTail));
        tail.erase(0, tail.size() - kLoggedTail);
    }
    // Never half a character at a cut.
    if (!head.empty() && IsHighSurrogate(head.back())) {
        head.pop_back();
    }
    if (!tail.empty() && IsLowSurrogate(tail.front())) {
        tail.erase(0, 1);
    }
    return head + WIDE("\u2026") + tail;
}

// A folder to change: by name inside its open parent for everything below
// the start folder, by path for the start folder itself (parent null).
struct TFolder {
    HANDLE parent;
    const WCHAR* nameOrPath;
};

// The start folder is addressed without its trailing delimiters: with one,
// the system would follow a start path that is a link to a folder.
WideString WithoutTrailingDelimiters(WideString path) {
    while (path.size() > 1 && path.back() == support::kWidePathDelimiter) {
        path.pop_back();
    }
    return path;
}

BOOL SetAttributes(const TFolder& folder, DWORD attributes) {
    return folder.parent != nullptr
               ? platform::SetWalkEntryAttributes(folder.parent, folder.nameOrPath, attributes)
               : SetFileAttributesW(folder.nameOrPath, attributes);
}

BOOL RemoveFolder(const TFolder& folder) {
    return folder.parent != nullptr ? platform::RemoveWalkFolder(folder.parent, folder.nameOrPath)
                                    : RemoveDirectoryW(folder.nameOrPath);
}

// The walk keeps one path for all its levels: a folder's name is appended
// when the walk goes into it and cut off again when it comes back, so the
// memory a level takes does not depend on how deep it lies. The path is
// only ever shown; every change goes through the open folders.
class TTreeRemoval {
public:
    TTreeRemoval(log::TDiagnosticLog* log, bool removeRoot, bool allFiles)
        : log_(log), removeRoot_(removeRoot), allFiles_(allFiles) {}

    std::uint32_t Failures() const { return failures_; }

    // The start folder: startPath without trailing delimiters addresses it,
    // shown (the start path with a trailing delimiter) names it in the lines.
    void RemoveStart(const WideString& startPath, const WideString& shown) {
        path_ = shown;
        Descend(TFolder{nullptr, startPath.c_str()}, GetFileAttributesW(startPath.c_str()));
    }

    // The start folder is kept whole: one line says why.
    void Refuse(const WideString& shown, DWORD code) {
        path_ = shown;
        Failed(code == ERROR_BUSY ? "Folder kept, a process works in it: "
                                  : "Folder kept, it is, holds or lies inside an account's home: ",
               {}, code);
    }

private:
    // path_ holds the folder as its lines name it. attributes: the folder's
    // own, as its parent's search (or, for the start folder,
    // GetFileAttributesW) gave them.
    void Descend(const TFolder& self, DWORD attributes) {
        ++foldersEntered_;
        const std::size_t shownLength = path_.size();
        if (path_.empty() || path_.back() != support::kWidePathDelimiter) {
            path_ += support::kWidePathDelimiter;
        }
        // Here a folder's read-only state guards its entries rather than the
        // folder itself: give its owner the rights back before going in.
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            SetAttributes(self, FILE_ATTRIBUTE_DIRECTORY);
        }
        {
            // Both are closed when the scope ends, also on an exception.
            const support::TOwnedHandle folder(
                platform::OpenWalkFolder(self.parent, self.nameOrPath));
            // Every entry of the folder, as a search of prefix + "*.*" gives them.
            WIN32_FIND_DATAW found{};
            const support::TOwnedWalkSearch search(
                folder.Valid() ? platform::FindFirstWalkEntry(folder.Get(), &found)
                               : INVALID_HANDLE_VALUE);
            if (search.Valid()) {
                do {
                    const WideStringView name(found.cFileName);
                    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                        EnterSubfolder(folder.Get(), found.cFileName, found.dwFileAttributes);
                    } else {
                        DeleteOneFile(folder.Get(), name);
                    }
                } while (platform::FindNextWalkEntry(search.Get(), &found));
            }
        }
        path_.resize(shownLength);
        // Only the start folder is addressed by path; no other folder's path
        // can equal the start path.
        if (self.parent == nullptr && !removeRoot_) {
            return;
        }
        RemoveFolderAttempts(
            self, "RemoveDirectory(4#): ", "RemoveDirectory(5#): ", "RemoveDirectory(6#): ");
    }

    void EnterSubfolder(HANDLE folder, const WCHAR* name, DWORD attributes) {
        const WideStringView shownName(name);
        if (shownName == WIDE(".") || shownName == WIDE("..") || foldersEntered_ >= kFolderLimit) {
            return;
        }
        // The search's entry is overwritten by the levels below: keep the name.
        const WideString ownName(shownName);
        const std::size_t mark = path_.size();
        path_ += ownName;
        const TFolder sub{folder, ownName.c_str()};
        Descend(sub, attributes);
        RemoveFolderAttempts(
            sub, "RemoveDirectory(1#): ", "RemoveDirectory(2#): ", "RemoveDirectory(3#): ");
        path_.resize(mark);
    }

    // path_ holds the folder's prefix (its path with a trailing delimiter).
    void DeleteOneFile(HANDLE folder, WideStringView name) {
        if (!allFiles_ &&
            support::UpperText(support::ExtensionOf(WideString(name))) == WIDE(".LOG")) {
            return;
        }
        const WideString ownName(name);
        platform::SetWalkEntryAttributes(folder, ownName.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (platform::DeleteWalkFile(folder, ownName.c_str())) {
            return;
        }
        Failed("DeleteFile(1#): ", ownName, GetLastError());
        platform::SetWalkEntryAttributes(folder, ownName.c_str(), 0);
        if (platform::DeleteWalkFile(folder, ownName.c_str())) {
            return;
        }
        Failed("DeleteFile(2#): ", ownName, GetLastError());
    }

    // Three tries with other attributes; ERROR_FILE_NOT_FOUND means the folder
    // is gone already (it normally removed itself at the end of its descent).
    // path_ holds the folder as its lines name it.
    void RemoveFolderAttempts(const TFolder& folder, const char* first, const char* second,
                              const char* third) {
        SetAttributes(folder, FILE_ATTRIBUTE_NORMAL);
        if (RemoveFolder(folder)) {
            return;
        }
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            return;
        }
        Failed(first, {}, code);

        SetAttributes(folder, FILE_ATTRIBUTE_DIRECTORY);
        if (RemoveFolder(folder)) {
            return;
        }
        code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) {
            Failed(second, {}, code);
        }

        SetAttributes(folder, 0);
        if (RemoveFolder(folder)) {
            return;
        }
        code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            return;
        }
        Failed(third, {}, code);
    }

    // The failed object is path_ + name.
    void Failed(const char* what, WideStringView name, DWORD code) {
        ++failures_;
        if (failures_ <= kLoggedFailureLimit && log_ != nullptr) {
            log_->WriteError(WidenText(what) + LoggedPath(path_, name) + WIDE(" ") +
                             WidenText(support::SystemMessageText(code)));
        }
    }

    log::TDiagnosticLog* log_;
    bool removeRoot_;
    bool allFiles_;
    WideString path_;
    std::uint32_t foldersEntered_ = 0;
    std::uint32_t failures_ = 0;
};

// The process's current folder, made current again when it is given back
// and still exists.
struct TSavedCurrentFolderTraits {
    static WideString InvalidValue() { return {}; }
    static void Free(const WideString& saved) {
        if (support::FolderExistsW(saved)) {
            SetCurrentDirectoryW(saved.c_str());
        }
    }
};
using TSavedCurrentFolder = support::TOwner<WideString, TSavedCurrentFolderTraits>;

// Keeps the current folder outside the tree at path while it is removed.
TSavedCurrentFolder LeaveForDriveRoot(const WideString& path) {
    const support::TOwnedBuffer<support::TWideTextBuffer> saved(support::NewWideTextBuffer(1024));
    GetCurrentDirectoryW(saved->Length(), saved->Data());
    TSavedCurrentFolder held(saved->ToString());
    const std::string drive = support::DrivePart(support::NarrowText(path));
    SetCurrentDirectoryA(support::AddBackslashA(drive).c_str());
    return held;
}

} // namespace

void DeleteFilesInSubdirW(const WideString& path, log::TDiagnosticLog* log, bool RemoveRoot,
                          bool AllFiles) {
    if (log != nullptr) {
        log->WriteInfo(WIDE("Begin DeleteFilesInSubdirW: ") + LoggedPath(path) + WIDE(" [") +
                       WidenText(support::YesNoText(RemoveRoot)) + WIDE(" ") +
                       WidenText(support::YesNoText(AllFiles)) + WIDE("]"));
    }
    const std::string drive = support::DrivePart(support::NarrowText(path));
    TTreeRemoval removal(log, RemoveRoot, AllFiles);
    {
        const TSavedCurrentFolder currentFolder = LeaveForDriveRoot(path);
        // "/" is refused by identity ("//", "/." and links to it as well)
        // before the drive-root rule, whatever DrivePart makes of it.
        const bool namesRoot =
            platform::IsFileSystemRoot(path.c_str()) ||
            support::AddBackslashW(path) == support::AddBackslashW(WidenText(drive));
        if (namesRoot) {
            // A root ("/", a drive or a share) is never emptied.
        } else if (support::FolderExistsW(path)) {
            // Never another account's home, never a folder a process works in.
            if (const DWORD refused = platform::WalkStartRefusal(path.c_str()); refused != 0) {
                removal.Refuse(support::AddBackslashW(path), refused);
            } else {
                removal.RemoveStart(WithoutTrailingDelimiters(path), support::AddBackslashW(path));
            }
        } else if (log != nullptr) {
            log->WriteError(WIDE("RemoveDirectory: ") + LoggedPath(path));
            log->WriteErrorAnsi(support::SystemMessageText(ERROR_FILE_NOT_FOUND));
        }
    }
    if (log != nullptr) {
        log->WriteInfoAnsi("End DeleteFilesInSubdirW #errors: " +
                           support::DecimalText(removal.Failures()));
    }
}

} // namespace nomvera::batches
