// The system root the stand-ins act on: $NOMVERA_SYSROOT, "/" when unset or
// empty. Every account file, profile folder, skeleton folder and machine
// identity is taken from inside it. Not part of the surface.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace nomvera::posix {

// The root without a trailing "/": "" for the real system, else e.g. "/tmp/x".
// Read from the environment on every call, so a test can switch roots.
std::string SystemRootPrefix();
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

// The user database of the root: the root's etc/passwd, or the name service
// when the root is the real system.
std::optional<PasswdEntry> FindUserByUid(uid_t uid);
std::optional<PasswdEntry> FindUserByName(const std::string& name);

} // namespace nomvera::posix
