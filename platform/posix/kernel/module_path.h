// Where the running executable lies, and the rule every program the tool
// starts and every library it loads must pass. Not part of the surface.
#pragma once

#include <string>

namespace nomvera::posix {

// Full path of the running executable (from /proc/self/exe); empty on failure.
std::string ExecutablePath();
// Its folder, without a trailing "/"; empty on failure.
std::string ExecutableFolder();

// The outcome of UnchangeableByOthers: the real path (links resolved) when
// the rule holds, else the errno that says why not (ENOENT, ENOTDIR: nothing
// there; EACCES: another account could change it; EISDIR and the like: not
// a regular file).
struct TrustedFile {
    std::string real;
    int error = 0;
};

// The tool often runs as root beside accounts it does not trust: a program
// is started and a library loaded only when no other account can have put it
// there or can swap it, that is when the regular file and every folder above
// it (after links are resolved) belong to root or to the tool's effective
// user and nobody else may write them. A sticky folder such as /tmp may be
// writable by all: others cannot replace what is ours in it.
TrustedFile UnchangeableByOthers(const std::string& path);
// The same rule for a folder the tool writes into as root (the log's state
// folder): the folder itself and every folder above it. ENOTDIR when it is
// not a folder.
TrustedFile FolderUnchangeableByOthers(const std::string& path);

} // namespace nomvera::posix
