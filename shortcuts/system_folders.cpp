#include "shortcuts/system_folders.h"

#include "platform/environment.h"
#include "platform/shell.h"
#include "platform/wide_text.h"
#include "support/text.h"

#include <vector>

namespace nomvera::shortcuts {
namespace {
constexpr unsigned kBufferSize = 1024;
}

std::string SystemFolderA() {
    std::vector<char> buffer(kBufferSize + 1, '\0');
    UINT length = GetSystemDirectoryA(buffer.data(), kBufferSize);
    if (length == 0 || length >= kBufferSize) {
        return ".";
    }
    return std::string(buffer.data(), length);
}

std::string WindowsFolderA() {
    std::vector<WCHAR> wide(kBufferSize + 1, WIDE('\0'));
    DWORD length = GetEnvironmentVariableW(WIDE("WINDIR"), wide.data(), kBufferSize);
    if (length >= 3 && length < kBufferSize) {
        std::string folder = support::NarrowText(WideString(wide.data(), length));
        if (folder.size() < kBufferSize) {
            return folder;
        }
    }
    std::vector<char> buffer(kBufferSize + 1, '\0');
    UINT got = GetWindowsDirectoryA(buffer.data(), kBufferSize);
    if (got > 2 && got < kBufferSize) {
        return std::string(buffer.data(), got);
    }
    return "c:\\windows";
}

std::string RundllPathA() {
    return SystemFolderA() + support::kPathDelimiter + "rundll32.exe";
}

} // namespace nomvera::shortcuts
