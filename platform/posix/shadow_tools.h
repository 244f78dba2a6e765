// Running shadow-utils and hashing passwords for the account stand-ins.
// Not part of the surface.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nomvera::posix {

// One run of a shadow-utils program: exitCode is the program's exit status,
// -1 when it could not be started or ended by a signal.
struct ToolRun {
    int exitCode = -1;
};

// Runs /usr/sbin/<program> (or /sbin/<program>) with this argument vector,
// never through a shell, with "--prefix ROOT" in front of the arguments when
// the system root is not "/". standardInput, when given, is written to the
// program's standard input; its output goes nowhere.
ToolRun RunShadowTool(const std::string& program, const std::vector<std::string>& arguments,
                      const std::optional<std::string>& standardInput = std::nullopt);

// A crypt(3) hash of the password with the method the root's login.defs
// configures (ENCRYPT_METHOD; yescrypt when unset or unknown), from libxcrypt
// with a fresh salt; nothing when hashing fails.
std::optional<std::string> HashPassword(const std::string& password);

// Whether the password matches the crypt(3) hash, compared in constant time.
bool PasswordMatches(const std::string& password, const std::string& hash);

} // namespace nomvera::posix
