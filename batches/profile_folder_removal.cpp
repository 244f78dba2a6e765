#include "batches/profile_folder_removal.h"

#include "log/diagnostic_log.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/handles.h"
#include "support/buffers.h"
#include "support/files.h"
#include "support/text.h"

#include <cstdint>

namespace nomvera::batches {
namespace {

using support::WidenText;

constexpr std::uint32_t kFolderLimit = 1000;
constexpr std::uint32_t kLoggedFailureLimit = 50;

// Closes a folder handle or a search when the scope ends, also on an exception.
class THandleCloser {
public:
    THandleCloser(HANDLE handle, bool search) : handle_(handle), search_(search) {}
    ~THandleCloser() {
        if (Valid()) {
            search_ ? FindClose(handle_) : CloseHandle(handle_);
        }
    }
    THandleCloser(const THandleCloser&) = delete;
    THandleCloser& operator=(const THandleCloser&) = delete;
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
    bool search_;
};

// An entry to change: by name inside an open folder for everything below the
// start folder, by path for the start folder itself.
struct TEntry {
    HANDLE folder; // null: the start folder, addressed by path
    std::u16string name;
    std::u16string path;
    // The folder as its lines name it and as the prefix of its entries: the
    // path for a subfolder, the start path with a trailing delimiter for the
    // start folder.
    std::u16string shown;
};

// The start folder is addressed without its trailing delimiters: with one,
// the system would follow a start path that is a link to a folder.
std::u16string WithoutTrailingDelimiters(std::u16string path) {
    while (path.size() > 1 && path.back() == support::kWidePathDelimiter) {
        path.pop_back();
    }
    return path;
}

BOOL SetAttributes(const TEntry& entry, DWORD attributes) {
    return entry.folder != nullptr
               ? SetFileAttributesW(entry.folder, entry.name.c_str(), attributes)
               : SetFileAttributesW(entry.path.c_str(), attributes);
}

BOOL RemoveFolder(const TEntry& entry) {
    return entry.folder != nullptr ? RemoveDirectoryW(entry.folder, entry.name.c_str())
                                   : RemoveDirectoryW(entry.path.c_str());
}

class TTreeRemoval {
public:
    TTreeRemoval(log::TDiagnosticLog* log, const std::u16string& startPath, bool removeRoot,
                 bool allFiles)
        : log_(log), startKey_(support::UpperText(support::AddBackslashW(startPath))),
          removeRoot_(removeRoot), allFiles_(allFiles) {}

    std::uint32_t Failures() const { return failures_; }

    // attributes: the folder's own, as its parent's search (or, for the
    // start folder, GetFileAttributesW) gave them.
    void Descend(const TEntry& self, DWORD attributes) {
        ++foldersEntered_;
        const std::u16string prefix = support::AddBackslashW(self.shown);
        // Here a folder's read-only state guards its entries rather than the
        // folder itself: give its owner the rights back before going in.
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            SetAttributes(self, FILE_ATTRIBUTE_DIRECTORY);
        }
        {
            THandleCloser folder(self.folder != nullptr
                                     ? OpenFolderW(self.folder, self.name.c_str())
                                     : OpenFolderW(nullptr, self.path.c_str()),
                                 false);
            // Every entry of the folder, as a search of prefix + "*.*" gives them.
            WIN32_FIND_DATAW found{};
            THandleCloser search(
                folder.Valid() ? FindFirstFileW(folder.Get(), &found) : INVALID_HANDLE_VALUE, true);
            if (search.Valid()) {
                do {
                    const std::u16string name = found.cFileName;
                    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                        EnterSubfolder(folder.Get(), name, prefix, found.dwFileAttributes);
                    } else {
                        DeleteOneFile(folder.Get(), name, prefix);
                    }
                } while (FindNextFileW(search.Get(), &found));
            }
        }
        if (support::UpperText(prefix) == startKey_ && !removeRoot_) {
            return;
        }
        RemoveFolderAttempts(
            self, "RemoveDirectory(4#): ", "RemoveDirectory(5#): ", "RemoveDirectory(6#): ");
    }

private:
    void EnterSubfolder(HANDLE folder, const std::u16string& name, const std::u16string& prefix,
                        DWORD attributes) {
        if (name == u"." || name == u".." || foldersEntered_ >= kFolderLimit) {
            return;
        }
        const TEntry sub{folder, name, prefix + name, prefix + name};
        Descend(sub, attributes);
        RemoveFolderAttempts(
            sub, "RemoveDirectory(1#): ", "RemoveDirectory(2#): ", "RemoveDirectory(3#): ");
    }

    void DeleteOneFile(HANDLE folder, const std::u16string& name, const std::u16string& prefix) {
        if (!allFiles_ && support::UpperText(support::ExtensionOf(name)) == u".LOG") {
            return;
        }
        const std::u16string full = prefix + name;
        SetFileAttributesW(folder, name.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileW(folder, name.c_str())) {
            return;
        }
        Failed("DeleteFile(1#): ", full, GetLastError());
        SetFileAttributesW(folder, name.c_str(), 0);
        if (DeleteFileW(folder, name.c_str())) {
            return;
        }
        Failed("DeleteFile(2#): ", full, GetLastError());
    }

    // Three tries with other attributes; ERROR_FILE_NOT_FOUND means the folder
    // is gone already (it normally removed itself at the end of its descent).
    void RemoveFolderAttempts(const TEntry& entry, const char* first, const char* second,
                              const char* third) {
        SetAttributes(entry, FILE_ATTRIBUTE_NORMAL);
        if (RemoveFolder(entry)) {
            return;
        }
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            return;
        }
        Failed(first, entry.shown, code);

        SetAttributes(entry, FILE_ATTRIBUTE_DIRECTORY);
        if (RemoveFolder(entry)) {
            return;
        }
        code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) {
            Failed(second, entry.shown, code);
        }

        SetAttributes(entry, 0);
        if (RemoveFolder(entry)) {
            return;
        }
        code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            return;
        }
        Failed(third, entry.shown, code);
    }

    void Failed(const char* what, const std::u16string& path, DWORD code) {
        ++failures_;
        if (failures_ <= kLoggedFailureLimit && log_ != nullptr) {
            log_->WriteError(WidenText(what) + path + u" " +
                             WidenText(support::SystemMessageText(code)));
        }
    }

    log::TDiagnosticLog* log_;
    std::u16string startKey_;
    bool removeRoot_;
    bool allFiles_;
    std::uint32_t foldersEntered_ = 0;
    std::uint32_t failures_ = 0;
};

// Keeps the process's current folder outside the tree while it is removed,
// and brings it back afterwards when it still exists.
class TCurrentFolderGuard {
public:
    explicit TCurrentFolderGuard(const std::u16string& path)
        : saved_(support::NewWideTextBuffer(1024)) {
        GetCurrentDirectoryW(saved_->Length(), saved_->Data());
        const std::string drive = support::DrivePart(support::NarrowText(path));
        SetCurrentDirectoryA(support::AddBackslashA(drive).c_str());
    }
    ~TCurrentFolderGuard() {
        const std::u16string saved = saved_->ToString();
        if (support::FolderExistsW(saved)) {
            SetCurrentDirectoryW(saved.c_str());
        }
        support::FreeAndNilBuffer(saved_);
    }
    TCurrentFolderGuard(const TCurrentFolderGuard&) = delete;
    TCurrentFolderGuard& operator=(const TCurrentFolderGuard&) = delete;

private:
    support::TWideTextBuffer* saved_;
};

} // namespace

void DeleteFilesInSubdirW(const std::u16string& path, log::TDiagnosticLog* log, bool RemoveRoot,
                          bool AllFiles) {
    if (log != nullptr) {
        log->WriteInfo(u"Begin DeleteFilesInSubdirW: " + path + u" [" +
                       WidenText(support::YesNoText(RemoveRoot)) + u" " +
                       WidenText(support::YesNoText(AllFiles)) + u"]");
    }
    const std::string drive = support::DrivePart(support::NarrowText(path));
    TTreeRemoval removal(log, path, RemoveRoot, AllFiles);
    {
        TCurrentFolderGuard currentFolder(path);
        // "/" is refused by identity ("//", "/." and links to it as well)
        // before the drive-root rule, whatever DrivePart makes of it.
        const bool namesRoot =
            IsFileSystemRootW(path.c_str()) ||
            support::AddBackslashW(path) == support::AddBackslashW(WidenText(drive));
        if (namesRoot) {
            // A root ("/", a drive or a share) is never emptied.
        } else if (support::FolderExistsW(path)) {
            const std::u16string startFolder = WithoutTrailingDelimiters(path);
            removal.Descend(
                TEntry{nullptr, std::u16string(), startFolder, support::AddBackslashW(path)},
                GetFileAttributesW(startFolder.c_str()));
        } else if (log != nullptr) {
            log->WriteError(u"RemoveDirectory: " + path);
            log->WriteErrorAnsi(support::SystemMessageText(ERROR_FILE_NOT_FOUND));
        }
    }
    if (log != nullptr) {
        log->WriteInfoAnsi("End DeleteFilesInSubdirW #errors: " +
                           support::DecimalText(removal.Failures()));
    }
}

} // namespace nomvera::batches
