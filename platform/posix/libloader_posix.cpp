#include "platform/errors.h"
#include "platform/libloader.h"
#include "platform/posix/module_path.h"
#include "platform/posix/utf.h"

#include <cctype>
#include <dlfcn.h>
#include <string>

namespace {

// "NetApi32.DLL" -> "<exe folder>/libnetapi32.so". Only plain names are
// accepted: a name with a path separator never leaves the executable's folder.
std::string StandInPath(std::string name) {
    if (name.empty() || name.find('/') != std::string::npos ||
        name.find('\\') != std::string::npos) {
        return {};
    }
    for (auto& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0) {
        name.resize(name.size() - 4);
    }
    std::string folder = nomvera::posix::ExecutableFolder();
    if (folder.empty()) {
        return {};
    }
    return folder + "/lib" + name + ".so";
}

HMODULE Open(LPCSTR name, int extraFlags) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path = StandInPath(name);
    void* handle =
        path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | extraFlags);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

} // namespace

HMODULE LoadLibraryA(LPCSTR name) {
    return Open(name, 0);
}

HMODULE LoadLibraryW(LPCWSTR name) {
    auto narrow = nomvera::posix::Utf16ToUtf8(name == nullptr ? u"" : name);
    if (name == nullptr || !narrow) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Open(narrow->c_str(), 0);
}

HMODULE GetModuleHandleA(LPCSTR name) {
    return Open(name, RTLD_NOLOAD);
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
