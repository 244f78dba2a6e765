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

// The argument vector a run of the program would get under the current
// system root: the program's name, "--prefix ROOT" under a sandbox root
// ("--root ROOT" for chpasswd, which has no --prefix), then the arguments.
// Nothing when the run is refused: the root is unusable (CurrentSystemRoot),
// or the root is the machine itself and a password hash would go on the
// command line ("-p", "--password"), where every other user could read it
// from the process list.
std::optional<std::vector<std::string>>
ShadowToolArguments(const std::string& program, const std::vector<std::string>& arguments);

// Runs /usr/sbin/<program> (or /sbin/<program>) with ShadowToolArguments,
// never through a shell; a refused run starts nothing and has exitCode -1.
// The program file must pass the rule that no other account can change it
// (UnchangeableByOthers). standardInput, when given, is written to the
// program's standard input; its output goes nowhere.
ToolRun RunShadowTool(const std::string& program, const std::vector<std::string>& arguments,
                      const std::optional<std::string>& standardInput = std::nullopt);

// A crypt(3) hash of the password with the method the root's login.defs
// configures (ENCRYPT_METHOD; yescrypt when unset or unknown), from libxcrypt
// with a fresh salt; nothing when hashing fails. The hash made ahead for the
// password (HashAhead) when there is one with the same setting, or with the
// same method at its lowest cost when it was ordered as a throw-away one.
std::optional<std::string> HashPassword(const std::string& password);

// Starts hashing a password that HashPassword will soon be asked for, on a
// thread of its own; a throw-away password at the method's lowest cost.
// Only the last few such passwords are kept.
void HashAhead(const std::string& password, bool throwAway = false);

// Whether the password matches the crypt(3) hash, compared in constant time.
bool PasswordMatches(const std::string& password, const std::string& hash);

} // namespace nomvera::posix
