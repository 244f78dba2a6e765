// --password-file: the password prefix from a file only its owner can read,
// so that it never stands in a command line.
#pragma once

#include "platform/wide_text.h"

#include <string>

namespace nomvera::cli {

// The first line of path, without its line end; "-" reads it from standard
// input. A file must be a regular file (not a link) of root or of the user
// running the tool, that no other account may read or write (no group or
// other permission bits). False with error set otherwise, or when the line
// is not valid UTF-8, holds a control character or is longer than 17
// characters.
bool ReadPasswordFile(const std::string& path, WideString& password, std::string& error);

} // namespace nomvera::cli
