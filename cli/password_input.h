// Where the password prefix of create-users comes from: a file of the
// user's own, standard input, or a question on the terminal without echo.
// Never from an argument: every account on the machine can read those.
#pragma once

#include <string>

namespace nomvera::cli {

// The first line of path without its line end ("-": of standard input).
// The file must be a regular file, not a link, with one name, owned by the
// effective user, without any permission bit for the group or others, in
// folders no other account can change; anything else is refused with the
// reason in error and nothing read.
bool ReadPasswordFile(const std::string& path, std::string& line, std::string& error);

// Standard input is a terminal to ask on.
bool CanAskForPassword();

// Asks "Password prefix: " on standard error and reads one line from the
// terminal on standard input with its echo off; the echo is back on
// afterwards, also when a stop signal ends the program while it waits.
bool AskForPassword(std::string& line, std::string& error);

} // namespace nomvera::cli
