// The system's folders as the shell shortcuts find them, with their fallbacks.
#pragma once

#include <string>

namespace nomvera::shortcuts {

// GetSystemDirectoryA into 1024 bytes; "." when it fails or does not fit.
std::string SystemFolderA();
// WINDIR when it is 3 or more characters long and fits 1024 bytes, else
// GetWindowsDirectoryA when longer than 2 and fits, else "c:\windows".
std::string WindowsFolderA();
// The system folder + the path delimiter + "rundll32.exe".
std::string RundllPathA();

} // namespace nomvera::shortcuts
