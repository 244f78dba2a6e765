// Small files the stand-ins keep under ROOT/var/lib/nomvera for what the
// account files have no place for (group comments, the profile list). Not
// part of the surface.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nomvera::posix {

// One record per line, fields separated by tabs.
using StateRecords = std::vector<std::vector<std::string>>;

// The records of the file; empty when it does not exist.
StateRecords ReadStateFile(const std::string& name);
// Replaces the file atomically (a new file beside it, flushed, renamed over
// it), making the folder when needed; false when that fails, and then the
// old file is untouched.
bool WriteStateFile(const std::string& name, const StateRecords& records);

} // namespace nomvera::posix
