// The system root the stand-ins act on: $NOMVERA_SYSROOT, "/" when unset or
// empty. Every account file, profile folder, skeleton folder and machine
// identity is taken from inside it. Not part of the surface.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace nomvera::posix {

// What a value of NOMVERA_SYSROOT names. The machine itself is told by
// identity, not by spelling: "/", "/.", "//", "/usr/.." and a link to "/"
// all name the folder whose device and inode are those of "/".
enum class SystemRootKind {
    Machine,  // the machine itself: unset, empty, or the same folder as "/"
    Sandbox,  // another existing folder, named by an absolute path
    Unusable, // relative, missing, not a folder: nothing is read or run there
    // Another account could change the folder, a folder above it, or what
    // shadow-utils reads or starts in it as root (login.defs, whose
    // USERDEL_CMD userdel runs; the programs and libraries of chpasswd,
    // which works chrooted into the root): nothing is read or run there.
    Unsafe,
};

struct SystemRoot {
    SystemRootKind kind = SystemRootKind::Machine;
    // Put in front of the system's paths: "" for the machine, the real path
    // (links resolved) for a sandbox, the value as given without trailing
    // "/" for an absolute unusable root, "/dev/null" (under which nothing
    // opens) for a relative or unsafe one.
    std::string prefix;
    // Unsafe: what another account could change (the root, or a file or
    // folder in it), as named under the root.
    std::string unsafePath;
};

// The decision for one value (nullptr: unset). Reads nothing but the file
// system's answer for the value, for "/" and for the ownership of what the
// root holds. A sandbox is examined once for each identity of its folder
// (device, inode, owner, mode, change time): only root or the tool's own
// user can change what passed.
SystemRoot SystemRootOf(const char* value);
// The decision for the current NOMVERA_SYSROOT, read on every call, so a
// test can switch roots.
SystemRoot CurrentSystemRoot();

// CurrentSystemRoot().prefix: "" for the real system, else e.g. "/tmp/x".
std::string SystemRootPrefix();
// Whether the root is the machine itself (however it is spelled).
bool IsRealSystemRoot();

// A path of the system inside the root ("/etc/passwd" -> "/tmp/x/etc/passwd").
std::string InSystemRoot(const std::string& absolutePath);

struct PasswdEntry {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string gecos;
    std::string home; // as recorded in the root's files, without the prefix
    std::string shell;
};

struct GroupEntry {
    std::string name;
    gid_t gid = 0;
    std::vector<std::string> members;
};

// The shadow fields the logon and the account reads need; days count from
// 1970-01-01, -1 where the field is empty.
struct ShadowEntry {
    std::string name;
    std::string hash;
    long lastChange = -1;
    long maxDays = -1;
    long inactiveDays = -1;
    long expireDay = -1;
};

// The user database of the root: the root's etc/passwd, or the name service
// when the root is the real system.
std::optional<PasswdEntry> FindUserByUid(uid_t uid);
std::optional<PasswdEntry> FindUserByName(const std::string& name);

// The group database of the root, the same way. Entries of any length are
// read: a buffer too small for one grows until it fits, so a long member
// list never hides the entries after it.
std::optional<GroupEntry> FindGroupByGid(gid_t gid);
std::optional<GroupEntry> FindGroupByName(const std::string& name);
// Every group of the root's group file, in file order.
std::vector<GroupEntry> AllGroupsInFileOrder();
// Every entry of the root's passwd file, in file order (never the name
// service); nothing when the file cannot be read.
std::optional<std::vector<PasswdEntry>> AllUsersInFileOrder();
// The gids of every group the user belongs to: the primary group and each
// group whose member list names the user.
std::vector<gid_t> GroupsOfUser(const PasswdEntry& user);

// The root's shadow entry of a user; nothing when it is missing or cannot be
// read (a process that is not root cannot read it).
std::optional<ShadowEntry> FindShadowByName(const std::string& name);

// A setting of a "KEY VALUE" file (etc/login.defs) or a "KEY=VALUE" file
// (etc/default/useradd) of the root; nothing when the file or key is missing.
std::optional<std::string> LoginDefsValue(const std::string& key);
std::optional<std::string> UseraddDefault(const std::string& key);

// The machine name: the short host name in upper case, from the root's
// etc/hostname when the root has one, else the host's own name.
std::string MachineName();

// The administrators' group of the root: sudo, else wheel, else admin.
std::optional<GroupEntry> AdministratorsGroup();

} // namespace nomvera::posix
