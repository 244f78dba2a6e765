#include "platform/errors.h"
#include "platform/libloader.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/test_doubles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The stand-in libraries the project builds beside its executables. Nothing
// else is ever looked for: a library of another name in the executable's
// folder (one planted beside a copy of the tool, say) has no way in.
constexpr std::array<const char*, 4> kShipped = {"kernel32", "netapi32", "userenv", "advapi32"};

std::mutex doublesLock;
std::vector<std::string> acceptedDoubles;

// "NetApi32.DLL" -> "netapi32"; empty for a name with a path separator.
std::string PlainName(std::string name) {
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        return {};
    }
    for (auto& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0) {
        name.resize(name.size() - 4);
    }
    return name;
}

bool IsKnown(const std::string& plain) {
    if (plain.empty()) {
        return false;
    }
    if (std::find(kShipped.begin(), kShipped.end(), plain) != kShipped.end()) {
        return true;
    }
    std::lock_guard<std::mutex> guard(doublesLock);
    return std::find(acceptedDoubles.begin(), acceptedDoubles.end(), plain) !=
           acceptedDoubles.end();
}

HMODULE Open(LPCSTR name) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string plain = PlainName(name);
    const std::string folder = nomvera::posix::ExecutableFolder();
    if (!IsKnown(plain) || folder.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto file = nomvera::posix::UnchangeableByOthers(folder + "/lib" + plain + ".so");
    if (file.real.empty()) {
        SetLastError(file.error == EACCES ? ERROR_ACCESS_DENIED : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = dlopen(file.real.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

} // namespace

namespace nomvera::platform::test_double {
void AcceptTestDoubleLibrary(const char* plainName) {
    std::string plain = PlainName(plainName == nullptr ? "" : plainName);
    std::lock_guard<std::mutex> guard(doublesLock);
    if (!plain.empty() &&
        std::find(acceptedDoubles.begin(), acceptedDoubles.end(), plain) == acceptedDoubles.end()) {
        acceptedDoubles.push_back(plain);
    }
}
} // namespace nomvera::platform::test_double

HMODULE LoadLibraryA(LPCSTR name) {
    return Open(name);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (module == nullptr || name == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
