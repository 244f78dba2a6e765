// The folder walk's failure-injection seam, shared by the walk on both
// systems. Not part of the surface.
#pragma once

#include "platform/folder_walk.h"

namespace nomvera::platform {

// 0 when the seam lets the call through (or no seam is set); otherwise the
// code the call fails with, before the system is reached.
DWORD AskFolderChangeSeam(const char* operation, LPCWSTR name);

} // namespace nomvera::platform
