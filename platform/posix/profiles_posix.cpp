// The user-profile service. A profile is the account's home folder, made from
// the root's skeleton folder and registered by SID in ROOT/var/lib/nomvera/
// profiles (SID, uid at creation, folder), as Windows keeps its profile list,
// so that it can still be found after the account itself is gone.
//
// A folder is only ever reported or removed when it lies strictly inside the
// profiles root, is reached from there without a symbolic link, and belongs
// to the account; removal never follows a symbolic link and never leaves the
// file system of the profile folder.
#include "platform/errors.h"
#include "platform/posix/sids.h"
#include "platform/posix/standin_services.h"
#include "platform/posix/state_files.h"
#include "platform/posix/sysroot.h"
#include "platform/posix/tokens.h"
#include "platform/posix/utf.h"
#include "platform/userenv.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::posix {
namespace {

constexpr char kProfileList[] = "profiles";
constexpr int kMaxDepth = 256;

HRESULT HResultOf(DWORD code) {
    return code == 0 ? 0 : static_cast<HRESULT>(0x80070000u | (code & 0xFFFFu));
}

DWORD CodeOfErrno(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Fd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// The profiles root as the root's files give it: absolute, without "." or
// ".." parts and without a trailing "/".
std::string ProfilesRoot() {
    std::string home = UseraddDefault("HOME").value_or("/home");
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home.empty() ? std::string("/home") : home;
}

std::vector<std::string> Parts(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t slash = path.find('/', start);
        std::size_t end = slash == std::string::npos ? path.size() : slash;
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The parts of folder below the profiles root, when the folder lies strictly
// inside it; nothing otherwise (and always nothing for a root of "/").
std::optional<std::vector<std::string>> PartsBelowRoot(const std::string& folder) {
    std::string root = ProfilesRoot();
    if (root == "/" || root[0] != '/' || folder.size() <= root.size() + 1 ||
        folder.compare(0, root.size(), root) != 0 || folder[root.size()] != '/') {
        return std::nullopt;
    }
    auto parts = Parts(folder.substr(root.size() + 1));
    for (const auto& part : parts) {
        if (part.empty() || part == "." || part == "..") {
            return std::nullopt;
        }
    }
    for (const auto& part : Parts(root.substr(1))) {
        if (part.empty() || part == "." || part == "..") {
            return std::nullopt;
        }
    }
    return parts;
}

// Opens the folder that holds the last part, walking down from the profiles
// root without following a symbolic link.
Fd OpenParent(const std::vector<std::string>& parts, int& error) {
    Fd current(open(InSystemRoot(ProfilesRoot()).c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC));
    for (std::size_t i = 0; current.valid() && i + 1 < parts.size(); ++i) {
        current = Fd(openat(current.get(), parts[i].c_str(),
                            O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    }
    error = current.valid() ? 0 : errno;
    return current;
}

struct ProfileFolder {
    Fd parent;
    Fd folder;
    std::string leaf;
    struct stat info {};
};

// The folder as a profile of the uid: a real folder (no symbolic link
// anywhere below the profiles root) that the uid owns. error is 0 when it
// qualifies, ENOENT when it does not exist, EACCES when it does not qualify.
ProfileFolder OpenProfileFolder(const std::string& folder, uid_t uid, int& error) {
    ProfileFolder profile;
    auto parts = PartsBelowRoot(folder);
    if (!parts) {
        error = EACCES;
        return profile;
    }
    profile.parent = OpenParent(*parts, error);
    if (!profile.parent.valid()) {
        error = error == ENOENT ? ENOENT : EACCES;
        return profile;
    }
    profile.leaf = parts->back();
    if (fstatat(profile.parent.get(), profile.leaf.c_str(), &profile.info, AT_SYMLINK_NOFOLLOW) !=
        0) {
        error = errno == ENOENT ? ENOENT : EACCES;
        return profile;
    }
    if (!S_ISDIR(profile.info.st_mode) || profile.info.st_uid != uid) {
        error = EACCES;
        return profile;
    }
    profile.folder = Fd(openat(profile.parent.get(), profile.leaf.c_str(),
                               O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    error = profile.folder.valid() ? 0 : EACCES;
    return profile;
}

// Removes everything inside the folder; false when anything stays.
bool EmptyFolder(int folder, dev_t device, int depth) {
    int listing = dup(folder);
    if (listing < 0) {
        return false;
    }
    DIR* dir = fdopendir(listing);
    if (dir == nullptr) {
        close(listing);
        return false;
    }
    bool complete = true;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat st {};
        if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            complete = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (st.st_dev != device || depth >= kMaxDepth) {
                complete = false; // another file system, or too deep: left alone
                continue;
            }
            Fd child(openat(folder, name.c_str(), O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (!child.valid() || !EmptyFolder(child.get(), device, depth + 1) ||
                unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0) {
                complete = false;
            }
        } else if (unlinkat(folder, name.c_str(), 0) != 0) {
            complete = false;
        }
    }
    closedir(dir);
    return complete;
}

bool CopyFile(int fromFolder, const char* name, int toFolder, const struct stat& st, uid_t uid,
              gid_t gid) {
    Fd from(openat(fromFolder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!from.valid()) {
        return false;
    }
    Fd to(openat(toFolder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!to.valid()) {
        return false;
    }
    char buffer[65536];
    while (true) {
        ssize_t n = read(from.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(to.get(), buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                return false;
            }
            done += w;
        }
    }
    return fchown(to.get(), uid, gid) == 0 && fchmod(to.get(), st.st_mode & 07777) == 0;
}

// Copies the skeleton folder's content, owned by the account.
bool CopySkeleton(int from, int to, uid_t uid, gid_t gid, int depth) {
    int listing = dup(from);
    DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
    if (dir == nullptr) {
        if (listing >= 0) {
            close(listing);
        }
        return false;
    }
    bool ok = true;
    while (ok) {
        dirent* entry = readdir(dir);
        if (entry == nullptr) {
            break;
        }
        const char* name = entry->d_name;
        if (std::string(name) == "." || std::string(name) == "..") {
            continue;
        }
        struct stat st {};
        if (fstatat(from, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
        } else if (S_ISDIR(st.st_mode)) {
            ok = depth < kMaxDepth && mkdirat(to, name, 0700) == 0;
            Fd source(ok ? openat(from, name, O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC)
                         : -1);
            Fd target(ok ? openat(to, name, O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1);
            ok = source.valid() && target.valid() &&
                 CopySkeleton(source.get(), target.get(), uid, gid, depth + 1) &&
                 fchown(target.get(), uid, gid) == 0 &&
                 fchmod(target.get(), st.st_mode & 07777) == 0;
        } else if (S_ISREG(st.st_mode)) {
            ok = CopyFile(from, name, to, st, uid, gid);
        } else if (S_ISLNK(st.st_mode)) {
            std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
            ssize_t n = readlinkat(from, name, target.data(), target.size());
            ok = n >= 0 && static_cast<std::size_t>(n) < target.size();
            if (ok) {
                target.resize(static_cast<std::size_t>(n));
                ok = symlinkat(target.c_str(), to, name) == 0 &&
                     fchownat(to, name, uid, gid, AT_SYMLINK_NOFOLLOW) == 0;
            }
        }
        // Devices, pipes and sockets in a skeleton are not copied.
    }
    closedir(dir);
    return ok;
}

mode_t ParseMode(const std::optional<std::string>& text, mode_t fallback) {
    if (!text || text->empty()) {
        return fallback;
    }
    char* end = nullptr;
    unsigned long value = std::strtoul(text->c_str(), &end, 8);
    return end != nullptr && *end == 0 && value <= 07777 ? static_cast<mode_t>(value) : fallback;
}

mode_t HomeMode() {
    mode_t umask = ParseMode(LoginDefsValue("UMASK"), 022);
    return ParseMode(LoginDefsValue("HOME_MODE"), 0777 & ~umask);
}

struct Registration {
    std::string sid;
    uid_t uid = 0;
    std::string folder; // as the root's files give it, without the prefix
};

std::optional<Registration> FindRegistration(const std::string& sid) {
    for (const auto& record : ReadStateFile(kProfileList)) {
        if (record.size() >= 3 && record[0] == sid) {
            char* end = nullptr;
            unsigned long uid = std::strtoul(record[1].c_str(), &end, 10);
            if (end == nullptr || *end != 0 || record[1].empty()) {
                continue;
            }
            return Registration{record[0], static_cast<uid_t>(uid), record[2]};
        }
    }
    return std::nullopt;
}

bool Register(const Registration& registration) {
    StateRecords records = ReadStateFile(kProfileList);
    std::erase_if(records, [&](const auto& r) { return !r.empty() && r[0] == registration.sid; });
    records.push_back({registration.sid, std::to_string(registration.uid), registration.folder});
    return WriteStateFile(kProfileList, records);
}

bool Unregister(const std::string& sid) {
    StateRecords records = ReadStateFile(kProfileList);
    std::erase_if(records, [&](const auto& r) { return !r.empty() && r[0] == sid; });
    return WriteStateFile(kProfileList, records);
}

// Copies the text into a caller's buffer of *size characters; on a buffer too
// small *size receives the characters needed, NUL included.
BOOL ReturnPath(const std::string& path, LPWSTR buffer, LPDWORD size) {
    std::u16string wide = Utf8ToUtf16Lossy(path);
    DWORD needed = static_cast<DWORD>(wide.size() + 1);
    if (buffer == nullptr || *size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::copy(wide.begin(), wide.end(), buffer);
    buffer[wide.size()] = 0;
    *size = needed;
    return TRUE;
}

std::optional<std::string> NormalSidText(LPCWSTR sidString) {
    auto text = Utf16ToUtf8(sidString);
    auto sid = text ? ParseSidString(*text) : std::nullopt;
    return sid ? std::optional<std::string>(sid->ToString()) : std::nullopt;
}

} // namespace

HRESULT CreateProfile(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath, DWORD pathCapacity) {
    if (sidString == nullptr || userName == nullptr) {
        return HResultOf(ERROR_INVALID_PARAMETER);
    }
    auto sidText = NormalSidText(sidString);
    auto name = Utf16ToUtf8(userName);
    if (!sidText || !name) {
        return HResultOf(ERROR_INVALID_PARAMETER);
    }
    auto uid = UidOfSid(*ParseSidString(*sidText));
    auto user = uid ? FindUserByUid(*uid) : std::nullopt;
    if (!user) {
        return HResultOf(ERROR_NONE_MAPPED);
    }
    if (user->name != *name) {
        return HResultOf(ERROR_INVALID_PARAMETER);
    }
    if (geteuid() != 0) {
        return HResultOf(ERROR_ACCESS_DENIED);
    }
    if (auto existing = FindRegistration(*sidText)) {
        if (profilePath != nullptr && pathCapacity > 0) {
            DWORD size = pathCapacity;
            ReturnPath(InSystemRoot(existing->folder), profilePath, &size);
        }
        return HResultOf(ERROR_ALREADY_EXISTS);
    }
    auto parts = PartsBelowRoot(user->home);
    if (!parts) {
        return HResultOf(ERROR_ACCESS_DENIED);
    }
    std::string reported = InSystemRoot(user->home);
    if (profilePath != nullptr && pathCapacity <= Utf8ToUtf16Lossy(reported).size()) {
        return HResultOf(ERROR_INSUFFICIENT_BUFFER);
    }
    int error = 0;
    Fd parent = OpenParent(*parts, error);
    if (!parent.valid()) {
        return HResultOf(error == ENOENT ? ERROR_PATH_NOT_FOUND : CodeOfErrno(error));
    }
    const std::string& leaf = parts->back();
    if (mkdirat(parent.get(), leaf.c_str(), 0700) != 0) {
        return HResultOf(CodeOfErrno(errno));
    }
    Fd home(openat(parent.get(), leaf.c_str(), O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    bool made = home.valid() && fchown(home.get(), user->uid, user->gid) == 0;
    DWORD failure = made ? ERROR_SUCCESS : CodeOfErrno(errno);
    if (made) {
        std::string skeleton = InSystemRoot(UseraddDefault("SKEL").value_or("/etc/skel"));
        Fd skel(open(skeleton.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC));
        // A root without a skeleton gives an empty home, as useradd does.
        if (skel.valid() && !CopySkeleton(skel.get(), home.get(), user->uid, user->gid, 0)) {
            failure = CodeOfErrno(errno);
        } else if (fchmod(home.get(), HomeMode()) != 0) {
            failure = CodeOfErrno(errno);
        } else if (!Register({*sidText, user->uid, user->home})) {
            failure = ERROR_ACCESS_DENIED;
        }
    }
    if (failure != ERROR_SUCCESS) {
        // Only the folder made just now is taken away again.
        struct stat st {};
        if (home.valid() && fstat(home.get(), &st) == 0) {
            EmptyFolder(home.get(), st.st_dev, 0);
        }
        unlinkat(parent.get(), leaf.c_str(), AT_REMOVEDIR);
        return HResultOf(failure == ERROR_SUCCESS ? ERROR_ACCESS_DENIED : failure);
    }
    if (profilePath != nullptr) {
        DWORD size = pathCapacity;
        ReturnPath(reported, profilePath, &size);
    }
    return 0;
}

BOOL DeleteProfile(LPCWSTR sidString, LPCWSTR profilePath, LPCWSTR computerName) {
    if (sidString == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsLocalMachineName(computerName)) {
        SetLastError(ERROR_BAD_NETPATH);
        return FALSE;
    }
    auto sidText = NormalSidText(sidString);
    if (!sidText) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (geteuid() != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto registration = FindRegistration(*sidText);
    if (!registration) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (profilePath != nullptr && Utf16ToUtf8(profilePath) != InSystemRoot(registration->folder)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int error = 0;
    ProfileFolder profile = OpenProfileFolder(registration->folder, registration->uid, error);
    if (error == ENOENT) {
        if (!Unregister(*sidText)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        return TRUE;
    }
    if (error != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    bool emptied = EmptyFolder(profile.folder.get(), profile.info.st_dev, 0);
    if (!emptied || unlinkat(profile.parent.get(), profile.leaf.c_str(), AT_REMOVEDIR) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!Unregister(*sidText)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

} // namespace nomvera::posix

BOOL GetProfilesDirectoryW(LPWSTR profileDir, LPDWORD size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return nomvera::posix::ReturnPath(nomvera::posix::InSystemRoot(nomvera::posix::ProfilesRoot()),
                                      profileDir, size);
}

BOOL GetUserProfileDirectoryW(HANDLE token, LPWSTR profileDir, LPDWORD size) {
    using namespace nomvera::posix;
    auto* object = nomvera::platform::HandleObjectOrFail<TokenObject>(token);
    if (object == nullptr) {
        return FALSE;
    }
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The registered profile; else the account's home folder, when it
    // qualifies as a profile of the account.
    std::optional<std::string> folder;
    if (auto sid = UserSid(object->uid)) {
        if (auto registration = FindRegistration(sid->ToString())) {
            folder = registration->folder;
        }
    }
    if (!folder) {
        if (auto user = FindUserByUid(object->uid)) {
            folder = user->home;
        }
    }
    int error = ENOENT;
    if (folder) {
        OpenProfileFolder(*folder, object->uid, error);
    }
    if (error != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return ReturnPath(InSystemRoot(*folder), profileDir, size);
}
