// The user-profile service. A profile is the account's home folder, made from
// the root's skeleton folder and registered by SID in ROOT/var/lib/nomvera/
// profiles (SID, uid and account name at creation, folder), as Windows keeps
// its profile list, so that it can still be found after the account itself is
// gone. A uid, and so a SID, is reused by useradd: a registration whose uid
// now belongs to an account of another name is stale, a deleted account's.
//
// A folder is only ever reported or removed when it lies strictly inside the
// profiles root, is reached from there without a symbolic link or a mount,
// and belongs to the account; removal never follows a symbolic link, never
// leaves the mount of the profile folder, and never touches another
// account's home. A new profile is made as root's private folder and handed
// to the account only when complete, so a copy killed half-way leaves
// nothing the account could use against root, and the next run recovers it.
#include "platform/errors.h"
#include "platform/folder_walk.h"
#include "platform/lmaccess.h"
#include "platform/posix/kernel/descriptor.h"
#include "platform/posix/kernel/errno_map.h"
#include "platform/posix/kernel/mount_identity.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/sids.h"
#include "platform/posix/services/standin_services.h"
#include "platform/posix/services/state_files.h"
#include "platform/posix/services/sysroot.h"
#include "platform/posix/services/tokens.h"
#include "platform/posix/services/winbind_accounts.h"
#include "platform/userenv.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::posix {
namespace {

using State = ProfileRegistration::State;

constexpr int kMaxDepth = 256;

HRESULT HResultOf(DWORD code) {
    return code == 0 ? 0 : static_cast<HRESULT>(0x80070000u | (code & 0xFFFFu));
}

// A step that failed without an errno of its own (an entry the copy
// refused) counts as refused, never as success.
DWORD CodeOfErrno(int error) {
    return error == 0 ? ERROR_ACCESS_DENIED : nomvera::posix::WindowsCodeFromErrno(error);
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

UniqueFd OpenFolderAt(int folder, const char* name) {
    return UniqueFd(openat(folder, name, O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
}

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

// A path as a list of names, "." and empty parts dropped and ".." taken back;
// for comparing homes as the account files spell them.
std::string PlainPath(const std::string& path) {
    std::vector<std::string> kept;
    for (const auto& part : Parts(path)) {
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!kept.empty()) {
                kept.pop_back();
            }
            continue;
        }
        kept.push_back(part);
    }
    std::string plain;
    for (const auto& part : kept) {
        plain += "/" + part;
    }
    return plain.empty() ? "/" : plain;
}

bool IsInside(const std::string& inner, const std::string& outer) {
    return outer == "/"
               ? inner != "/"
               : inner.size() > outer.size() + 1 && inner.compare(0, outer.size(), outer) == 0 &&
                     inner[outer.size()] == '/';
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// The parts of folder below the profiles root, when the folder lies strictly
// inside it; nothing otherwise (and always nothing for a root of "/"). A
// folder with a control character (which the profile list cannot hold) is
// refused too.
std::optional<std::vector<std::string>> PartsBelowRoot(const std::string& folder) {
    std::string root = ProfilesRoot();
    if (root == "/" || root[0] != '/' || folder.size() <= root.size() + 1 ||
        folder.compare(0, root.size(), root) != 0 || folder[root.size()] != '/' ||
        HasControlCharacter(folder)) {
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
UniqueFd OpenParent(const std::vector<std::string>& parts, int& error) {
    UniqueFd current(
        open(InSystemRoot(ProfilesRoot()).c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC));
    for (std::size_t i = 0; current.valid() && i + 1 < parts.size(); ++i) {
        current = OpenFolderAt(current.get(), parts[i].c_str());
    }
    error = current.valid() ? 0 : errno;
    return current;
}

struct ProfileFolder {
    UniqueFd parent;
    UniqueFd folder;
    std::string leaf;
    MountIdentity id;
};

// Opens the folder and its parent. error is 0 when it is a real folder on its
// parent's mount (no symbolic link anywhere below the profiles root, not a
// mount point), ENOENT when it does not exist, EACCES otherwise.
ProfileFolder OpenFolderBelowRoot(const std::string& folder, int& error) {
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
    MountIdentity parentId;
    if (!MountIdentityAt(profile.parent.get(), profile.leaf.c_str(), profile.id)) {
        error = errno == ENOENT ? ENOENT : EACCES;
        return profile;
    }
    profile.folder = OpenFolderAt(profile.parent.get(), profile.leaf.c_str());
    MountIdentity opened;
    error = profile.folder.valid() && MountIdentityOf(profile.folder.get(), opened) &&
                    MountIdentityOf(profile.parent.get(), parentId) && S_ISDIR(profile.id.mode) &&
                    opened.inode == profile.id.inode && opened.device == profile.id.device &&
                    OnSameMount(parentId, opened)
                ? 0
                : EACCES;
    return profile;
}

// The folder as a profile of the uid: as above, and the uid owns it.
ProfileFolder OpenProfileFolder(const std::string& folder, uid_t uid, int& error) {
    ProfileFolder profile = OpenFolderBelowRoot(folder, error);
    if (error == 0 && profile.id.owner != uid) {
        error = EACCES;
    }
    return profile;
}

// Removes everything inside the folder, never leaving the mount of top;
// false when anything stays.
bool EmptyFolder(int folder, const MountIdentity& top, int depth) {
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
        MountIdentity listed;
        if (!MountIdentityAt(folder, name.c_str(), listed)) {
            complete = false;
            continue;
        }
        if (S_ISDIR(listed.mode)) {
            if (!OnSameMount(top, listed) || depth >= kMaxDepth) {
                complete = false; // a mount point, or too deep: left alone
                continue;
            }
            UniqueFd child = OpenFolderAt(folder, name.c_str());
            MountIdentity opened;
            if (!child.valid() || !MountIdentityOf(child.get(), opened) ||
                opened.inode != listed.inode || !OnSameMount(top, opened) ||
                !EmptyFolder(child.get(), top, depth + 1) ||
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

// Removes the folder that profile opened, with everything in it.
bool RemoveFolder(const ProfileFolder& profile) {
    return EmptyFolder(profile.folder.get(), profile.id, 0) &&
           unlinkat(profile.parent.get(), profile.leaf.c_str(), AT_REMOVEDIR) == 0;
}

bool SameFile(int fd, const struct stat& listed) {
    struct stat st {};
    return fstat(fd, &st) == 0 && st.st_dev == listed.st_dev && st.st_ino == listed.st_ino;
}

bool CopyFile(int fromFolder, const char* name, int toFolder, const struct stat& listed, uid_t uid,
              gid_t gid) {
    UniqueFd from(openat(fromFolder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!from.valid() || !SameFile(from.get(), listed)) {
        return false;
    }
    UniqueFd to(openat(toFolder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
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
    return fchown(to.get(), uid, gid) == 0 && fchmod(to.get(), listed.st_mode & 07777) == 0;
}

// Makes a symbolic link like the skeleton's and gives the link itself to the
// account, through a descriptor of the link just made.
bool CopyLink(int fromFolder, const char* name, int toFolder, const struct stat& listed, uid_t uid,
              gid_t gid) {
    std::string target(static_cast<std::size_t>(listed.st_size) + 1, '\0');
    ssize_t n = readlinkat(fromFolder, name, target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
        return false;
    }
    target.resize(static_cast<std::size_t>(n));
    if (symlinkat(target.c_str(), toFolder, name) != 0) {
        return false;
    }
    UniqueFd link(openat(toFolder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    return link.valid() && fstat(link.get(), &st) == 0 && S_ISLNK(st.st_mode) &&
           st.st_uid == geteuid() &&
           fchownat(link.get(), "", uid, gid, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) == 0;
}

// Copies the skeleton folder's content, owned by the account. Each entry is
// changed only through a descriptor of the entry made just now.
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
            UniqueFd source(ok ? OpenFolderAt(from, name) : UniqueFd());
            UniqueFd target(ok ? OpenFolderAt(to, name) : UniqueFd());
            struct stat made {};
            ok = source.valid() && target.valid() && SameFile(source.get(), st) &&
                 fstat(target.get(), &made) == 0 && made.st_uid == geteuid() &&
                 CopySkeleton(source.get(), target.get(), uid, gid, depth + 1) &&
                 fchown(target.get(), uid, gid) == 0 &&
                 fchmod(target.get(), st.st_mode & 07777) == 0;
        } else if (S_ISREG(st.st_mode)) {
            ok = CopyFile(from, name, to, st, uid, gid);
        } else if (S_ISLNK(st.st_mode)) {
            ok = CopyLink(from, name, to, st, uid, gid);
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

std::optional<ProfileRegistration> FindRegistration(const std::string& sid) {
    return FindProfileRegistration(sid);
}

// Puts the entry in place of the SID's entry (at the end when it has none).
// durable: before a folder is made or removed on its word.
bool Register(const StateLock& lock, const ProfileRegistration& registration,
              bool durable = false) {
    return RecordProfileRegistration(lock, registration, durable);
}

bool Unregister(const StateLock& lock, const std::string& sid) {
    return RecordProfileRemoval(lock, sid);
}

// Back to what the list held before (the previous entry, or none).
bool Restore(const StateLock& lock, const std::string& sid,
             const std::optional<ProfileRegistration>& previous) {
    return previous ? Register(lock, *previous) : Unregister(lock, sid);
}

// A deleted account's registration whose uid useradd has given to an account
// of another name. An entry written before names were kept belongs to the
// uid's account only when its folder is that account's home.
bool IsStale(const ProfileRegistration& registration) {
    if (registration.state == State::Orphaned) {
        return true;
    }
    auto holder = FindUserByUid(registration.uid);
    if (!holder) {
        return false;
    }
    if (registration.name) {
        return holder->name != *registration.name;
    }
    return PlainPath(holder->home) != PlainPath(registration.folder);
}

// Whether the folder is, contains or lies inside the home of an account of
// the root's passwd file other than those of the uid (a home at or above the
// profiles root does not count as holding the folder: "/" is a home on many
// systems).
bool IsAnotherAccountsHome(const std::string& folder, uid_t uid) {
    auto users = AllUsersInFileOrder();
    if (!users) {
        return true; // cannot tell: keep the folder
    }
    std::string plainFolder = PlainPath(folder);
    std::string root = PlainPath(ProfilesRoot());
    for (const PasswdEntry& user : *users) {
        if (user.uid == uid || user.home.empty() || user.home[0] != '/') {
            continue;
        }
        std::string home = PlainPath(user.home);
        if (home == plainFolder || IsInside(home, plainFolder) ||
            (IsInside(home, root) && IsInside(plainFolder, home))) {
            return true;
        }
    }
    return false;
}

// Whether a running process passes the test, which gets its /proc folder;
// true when /proc cannot be read (nothing can be told then). A test must
// pass over a process that ends meanwhile.
template <typename Test> bool AnyProcess(Test test) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        return true;
    }
    bool found = false;
    while (!found) {
        dirent* entry = readdir(proc);
        if (entry == nullptr) {
            break;
        }
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9') {
            found = test(std::string("/proc/") + entry->d_name);
        }
    }
    closedir(proc);
    return found;
}

// Whether a process runs with the uid as its real, effective, saved or file
// system uid; true when that cannot be told. A process's /proc folder
// belongs to its effective uid while its uids are all one, and to root once
// it has changed them (the kernel makes it undumpable then), so only the
// status of root's folders is read: on a host with thousands of session
// processes reading every status took most of a deletion. (A process that
// made itself dumpable again after changing its uids is seen by its
// effective uid alone; on the machine itself userdel, which runs before,
// refuses an account that such a process runs as.)
bool ProcessOfUidRuns(uid_t uid) {
    return AnyProcess([uid](const std::string& process) {
        struct stat folder {};
        if (stat(process.c_str(), &folder) != 0 || folder.st_uid != 0) {
            return folder.st_uid == uid && uid != 0; // or gone meanwhile
        }
        FILE* status = std::fopen((process + "/status").c_str(), "re");
        if (status == nullptr) {
            return false; // gone meanwhile
        }
        bool runs = false;
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            unsigned long ids[4];
            if (std::sscanf(line, "Uid: %lu %lu %lu %lu", &ids[0], &ids[1], &ids[2], &ids[3]) ==
                4) {
                runs = std::find(std::begin(ids), std::end(ids), uid) != std::end(ids);
                break;
            }
        }
        std::fclose(status);
        return runs;
    });
}

// The folder of an unfinished registration, when it is the one this service
// made: root's (or, after the hand-over, the account's) folder with the
// recorded identity; without a recorded identity (killed right after making
// it) only root's empty private folder.
ProfileFolder OpenUnfinishedFolder(const ProfileRegistration& registration, int& error) {
    ProfileFolder profile = OpenFolderBelowRoot(registration.folder, error);
    if (error != 0) {
        return profile;
    }
    bool ours = false;
    if (registration.identity) {
        ours = registration.identity->first == profile.id.device &&
               registration.identity->second == profile.id.inode &&
               (profile.id.owner == 0 || profile.id.owner == registration.uid);
    } else if (profile.id.owner == 0 && (profile.id.mode & 07777) == 0700) {
        int listing = openat(profile.folder.get(), ".", O_DIRECTORY | O_RDONLY | O_CLOEXEC);
        DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
        if (dir == nullptr && listing >= 0) {
            close(listing);
        }
        if (dir != nullptr) {
            int left = 0;
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                left += name != "." && name != "..";
            }
            closedir(dir);
            ours = left == 0;
        }
    }
    if (!ours) {
        error = EACCES;
    } else if (fchown(profile.folder.get(), 0, 0) != 0 || fchmod(profile.folder.get(), 0700) != 0) {
        error = EACCES; // the account is shut out before anything in it is touched
    }
    return profile;
}

// Removes the folder of a registration in the Making or Removing state that
// a killed run left: true when it is gone (or was never there).
bool RemoveLeftFolder(const ProfileRegistration& registration) {
    int error = 0;
    ProfileFolder profile = registration.state == State::Making
                                ? OpenUnfinishedFolder(registration, error)
                                : OpenProfileFolder(registration.folder, registration.uid, error);
    if (error == ENOENT) {
        return true;
    }
    return error == 0 && !IsAnotherAccountsHome(registration.folder, registration.uid) &&
           RemoveFolder(profile);
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

// Makes the profile folder: root's private folder first, registered as being
// made, filled from the skeleton, handed to the account last through its
// descriptor, then registered as complete.
DWORD MakeProfile(const StateLock& lock, const PasswdEntry& user, const std::string& sid,
                  const std::vector<std::string>& parts,
                  const std::optional<ProfileRegistration>& previous) {
    int error = 0;
    UniqueFd parent = OpenParent(parts, error);
    if (!parent.valid()) {
        return error == ENOENT ? ERROR_PATH_NOT_FOUND : CodeOfErrno(error);
    }
    const std::string& leaf = parts.back();
    struct stat st {};
    if (fstatat(parent.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return ERROR_ALREADY_EXISTS;
    }
    ProfileRegistration registration{sid, user.uid, user.home, user.name, State::Making, {}};
    if (!Register(lock, registration, true)) {
        return ERROR_ACCESS_DENIED;
    }
    if (mkdirat(parent.get(), leaf.c_str(), 0700) != 0) {
        DWORD failure = CodeOfErrno(errno);
        Restore(lock, sid, previous);
        return failure;
    }
    ProfileFolder home;
    home.folder = OpenFolderAt(parent.get(), leaf.c_str());
    home.leaf = leaf;
    bool made =
        home.folder.valid() && MountIdentityOf(home.folder.get(), home.id) && home.id.owner == 0;
    DWORD failure = made ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    if (made) {
        registration.identity = std::make_pair(static_cast<std::uint64_t>(home.id.device),
                                               static_cast<std::uint64_t>(home.id.inode));
        std::string skeleton = InSystemRoot(UseraddDefault("SKEL").value_or("/etc/skel"));
        UniqueFd skel(open(skeleton.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC));
        if (!Register(lock, registration, true)) {
            failure = ERROR_ACCESS_DENIED;
        } else if (skel.valid() &&
                   !CopySkeleton(skel.get(), home.folder.get(), user.uid, user.gid, 0)) {
            // A root without a skeleton gives an empty home, as useradd does.
            failure = CodeOfErrno(errno);
        } else if (fchown(home.folder.get(), user.uid, user.gid) != 0 ||
                   fchmod(home.folder.get(), HomeMode()) != 0) {
            failure = CodeOfErrno(errno);
        } else {
            registration.state = State::Ready;
            registration.identity.reset();
            if (!Register(lock, registration)) {
                failure = ERROR_ACCESS_DENIED;
            }
        }
    }
    if (failure != ERROR_SUCCESS) {
        // Only the folder made just now is taken away again.
        if (home.folder.valid()) {
            if (fchown(home.folder.get(), 0, 0) == 0) {
                fchmod(home.folder.get(), 0700);
            }
            EmptyFolder(home.folder.get(), home.id, 0);
        }
        unlinkat(parent.get(), leaf.c_str(), AT_REMOVEDIR);
        Restore(lock, sid, previous);
    }
    return failure;
}

// A folder's place in the tree: its identity and that of every folder above
// it, up to the process's root (whose ".." is itself). Mounts are crossed as
// ".." crosses them.
using FolderIdentity = std::pair<dev_t, ino_t>;

std::vector<FolderIdentity> FolderChain(int folder) {
    std::vector<FolderIdentity> chain;
    UniqueFd current(fcntl(folder, F_DUPFD_CLOEXEC, 0));
    for (int depth = 0; current.valid() && depth < 4 * kMaxDepth; ++depth) {
        struct stat st {};
        if (fstat(current.get(), &st) != 0) {
            break;
        }
        const FolderIdentity id{st.st_dev, st.st_ino};
        if (!chain.empty() && chain.back() == id) {
            break;
        }
        chain.push_back(id);
        current = UniqueFd(openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return chain;
}

std::vector<FolderIdentity> FolderChainAt(const std::string& path) {
    UniqueFd folder(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return folder.valid() ? FolderChain(folder.get()) : std::vector<FolderIdentity>{};
}

bool InChain(const std::vector<FolderIdentity>& chain, const FolderIdentity& id) {
    return std::find(chain.begin(), chain.end(), id) != chain.end();
}

// Whether a process works in the folder or below it: its working folder's
// chain holds the folder. Processes that end meanwhile are passed over.
bool ProcessWorksIn(const FolderIdentity& folder) {
    // When /proc cannot be read, the folder is kept.
    return AnyProcess([&folder](const std::string& process) {
        return InChain(FolderChainAt(process + "/cwd"), folder);
    });
}

} // namespace

DWORD WalkStartRefusalOf(int folder) {
    const std::vector<FolderIdentity> chain = FolderChain(folder);
    if (chain.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    const FolderIdentity self = chain.front();
    auto users = AllUsersInFileOrder();
    if (!users) {
        return ERROR_ACCESS_DENIED; // cannot tell: keep the folder
    }
    // The profiles root and the folders above it hold every profile: a home
    // there ("/" on many systems) does not make a folder below it a home.
    std::vector<FolderIdentity> holdsEveryProfile = FolderChainAt(InSystemRoot(ProfilesRoot()));
    const auto systemRoot = FolderChainAt("/");
    holdsEveryProfile.insert(holdsEveryProfile.end(), systemRoot.begin(), systemRoot.end());
    for (const PasswdEntry& user : *users) {
        if (user.home.empty() || user.home[0] != '/') {
            continue;
        }
        const std::vector<FolderIdentity> home = FolderChainAt(InSystemRoot(user.home));
        if (home.empty()) {
            continue;
        }
        if (InChain(home, self) ||
            (InChain(chain, home.front()) && !InChain(holdsEveryProfile, home.front()))) {
            return ERROR_ACCESS_DENIED;
        }
    }
    return ProcessWorksIn(self) ? ERROR_BUSY : 0;
}

HRESULT CreateProfile(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath, DWORD pathCapacity) {
    if (sidString == nullptr || userName == nullptr) {
        return HResultOf(ERROR_INVALID_PARAMETER);
    }
    auto sidText = NormalSidText(sidString);
    auto name = Utf16ToUtf8(userName);
    if (!sidText || !name) {
        return HResultOf(ERROR_INVALID_PARAMETER);
    }
    const SidValue sid = *ParseSidString(*sidText);
    std::optional<PasswdEntry> user;
    if (auto uid = UidOfSid(sid)) {
        user = FindUserByUid(*uid);
        if (user && user->name != *name) {
            return HResultOf(ERROR_INVALID_PARAMETER);
        }
    } else if (sid.authority == 5 && !sid.subAuthorities.empty() && sid.subAuthorities[0] == 21) {
        // An account of another domain: the uid winbind gives it on this
        // host, when this host is a member. A uid that is also a local
        // account's would hand the folder to that account: refused.
        auto domainAccount = winbind::AccountOfSid(sid);
        if (!domainAccount.user) {
            return HResultOf(domainAccount.code);
        }
        if (!winbind::IsNameOf(domainAccount.user->name, *name)) {
            return HResultOf(ERROR_INVALID_PARAMETER);
        }
        if (FindUserByUid(domainAccount.user->uid)) {
            return HResultOf(ERROR_ACCESS_DENIED);
        }
        user = std::move(domainAccount.user);
    }
    if (!user) {
        return HResultOf(ERROR_NONE_MAPPED);
    }
    if (geteuid() != 0) {
        return HResultOf(ERROR_ACCESS_DENIED);
    }
    StateLock lock; // the whole check-make-register step is one change of the list
    if (!lock.Held()) {
        return HResultOf(ERROR_ACCESS_DENIED);
    }
    auto existing = FindRegistration(*sidText);
    if (existing && !IsStale(*existing) && existing->state == State::Ready) {
        int error = 0;
        OpenProfileFolder(existing->folder, existing->uid, error);
        if (error != ENOENT) {
            if (profilePath != nullptr && pathCapacity > 0) {
                DWORD size = pathCapacity;
                ReturnPath(InSystemRoot(existing->folder), profilePath, &size);
            }
            return HResultOf(ERROR_ALREADY_EXISTS);
        }
        // Registered, but the folder is gone: made again below.
    }
    auto parts = PartsBelowRoot(user->home);
    if (!parts) {
        return HResultOf(ERROR_ACCESS_DENIED);
    }
    std::string reported = InSystemRoot(user->home);
    if (profilePath != nullptr && pathCapacity <= Utf8ToUtf16Lossy(reported).size()) {
        return HResultOf(ERROR_INSUFFICIENT_BUFFER);
    }
    if (existing && !IsStale(*existing) && existing->state != State::Ready) {
        // What a killed run left: its own unfinished folder goes, a foreign
        // folder at that place is never taken over.
        if (!RemoveLeftFolder(*existing)) {
            if (existing->state == State::Making) {
                Unregister(lock, existing->sid);
            }
            return HResultOf(existing->state == State::Making ? ERROR_ALREADY_EXISTS
                                                              : ERROR_ACCESS_DENIED);
        }
        existing.reset();
        if (!Unregister(lock, *sidText)) {
            return HResultOf(ERROR_ACCESS_DENIED);
        }
    }
    DWORD failure = MakeProfile(lock, *user, *sidText, *parts, existing);
    if (failure != ERROR_SUCCESS) {
        return HResultOf(failure);
    }
    if (profilePath != nullptr) {
        DWORD size = pathCapacity;
        ReturnPath(reported, profilePath, &size);
    }
    return 0;
}

BOOL DeleteProfile(LPCWSTR sidString, LPCWSTR profilePath, LPCWSTR computerName) {
    if (sidString == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!IsLocalMachineName(computerName)) {
        return Fail(ERROR_BAD_NETPATH);
    }
    auto sidText = NormalSidText(sidString);
    if (!sidText) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (geteuid() != 0) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    StateLock lock;
    if (!lock.Held()) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    auto registration = FindRegistration(*sidText);
    if (!registration || registration->state == State::Orphaned) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    if (profilePath != nullptr && Utf16ToUtf8(profilePath) != InSystemRoot(registration->folder)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // A profile in use stays, as on Windows: its account still exists, or a
    // process still runs as it.
    if (FindUserByUid(registration->uid) || ProcessOfUidRuns(registration->uid)) {
        return Fail(ERROR_BUSY);
    }
    int error = 0;
    ProfileFolder profile = registration->state == State::Making
                                ? OpenUnfinishedFolder(*registration, error)
                                : OpenProfileFolder(registration->folder, registration->uid, error);
    if (error == ENOENT) {
        return Unregister(lock, *sidText) ? TRUE : Fail(ERROR_ACCESS_DENIED);
    }
    if (error != 0 || IsAnotherAccountsHome(registration->folder, registration->uid)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    // Marked first, so that a run killed half-way is finished by the next.
    ProfileRegistration removing = *registration;
    removing.state = State::Removing;
    removing.identity.reset();
    if (!Register(lock, removing, true)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (!RemoveFolder(profile)) {
        Register(lock, *registration); // what stays is still the profile it was
        return Fail(ERROR_ACCESS_DENIED);
    }
    return Unregister(lock, *sidText) ? TRUE : Fail(ERROR_ACCESS_DENIED);
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
    // The registered profile, when it is complete and the account's own (not
    // a deleted account's of the same uid); else the account's home folder,
    // when it qualifies as a profile of the account.
    std::optional<std::string> folder;
    if (auto sid = UserSid(object->uid)) {
        if (auto registration = FindRegistration(sid->ToString());
            registration && registration->state == ProfileRegistration::State::Ready &&
            !IsStale(*registration)) {
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

DWORD nomvera::platform::WalkStartRefusal(LPCWSTR path) {
    auto text = path != nullptr ? nomvera::posix::Utf16ToUtf8(path) : std::nullopt;
    if (!text || text->empty()) {
        return 0;
    }
    nomvera::posix::UniqueFd folder(open(text->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return folder.valid() ? nomvera::posix::WalkStartRefusalOf(folder.get()) : 0;
}
