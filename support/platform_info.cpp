#include "support/platform_info.h"

#include "platform/libloader.h"
#include "platform/process.h"
#include "platform/sysinfo.h"

#include <cstring>

namespace nomvera::support {
namespace {

constexpr std::int32_t kKeyWow64_64Key = 256;
// The current process's pseudo handle, as GetCurrentProcess gives it.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

struct Bindings {
    HMODULE user32 = nullptr;
    HMODULE kernel32 = nullptr;
    HMODULE advapi32 = nullptr;
    ChangeWindowMessageFilterFn changeWindowMessageFilter = nullptr;
    ChangeWindowMessageFilterExFn changeWindowMessageFilterEx = nullptr;
    IsWow64ProcessFn isWow64Process = nullptr;
    OpenThreadFn openThread = nullptr;
    ProcessIdToSessionIdFn processIdToSessionId = nullptr;
    Wow64DisableWow64FsRedirectionFn disableFsRedirection = nullptr;
    Wow64RevertWow64FsRedirectionFn revertFsRedirection = nullptr;
    RegDeleteTreeWFn regDeleteTreeW = nullptr;
    RegDeleteKeyExWFn regDeleteKeyExW = nullptr;
    RegDeleteTreeAFn regDeleteTreeA = nullptr;
    RegDeleteKeyExAFn regDeleteKeyExA = nullptr;
};

PlatformInfo& Info() {
    static PlatformInfo info;
    return info;
}

Bindings& Bound() {
    static Bindings bindings;
    return bindings;
}

template <class Function> Function Lookup(HMODULE module, const char* name) {
    if (module == nullptr) {
        return nullptr;
    }
    return platform::EntryPointAs<Function>(GetProcAddress(module, name));
}

void ReadVersion(PlatformInfo& info) {
    OSVERSIONINFOEXA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)) == FALSE) {
        return;
    }
    info.WindowsMajorVersion = static_cast<std::int32_t>(version.dwMajorVersion);
    info.WindowsMinorVersion = static_cast<std::int32_t>(version.dwMinorVersion);
    info.BuildNumber = version.dwBuildNumber;
    info.PlatformId = version.dwPlatformId;
    info.ServicePackText.assign(version.szCSDVersion,
                                strnlen(version.szCSDVersion, sizeof version.szCSDVersion));
    info.ServicePackMajor = version.wServicePackMajor;
    info.ServicePackMinor = version.wServicePackMinor;
    info.SuiteMask = version.wSuiteMask;
    info.ProductType = version.wProductType;
}

void ReadWorkstation(PlatformInfo& info, const WorkstationQuery& query) {
    if (query.NetWkstaGetInfo == nullptr || info.WorkstationMajorVersion != 0 ||
        info.WorkstationMinorVersion != 0) {
        return;
    }
    try {
        LPBYTE record = nullptr;
        NET_API_STATUS status = query.NetWkstaGetInfo(nullptr, 100, &record);
        if (status == NERR_Success && record != nullptr) {
            const auto* workstation = reinterpret_cast<const WKSTA_INFO_100*>(record);
            info.WorkstationMajorVersion = workstation->wki100_ver_major;
            info.WorkstationMinorVersion = workstation->wki100_ver_minor;
        }
        if (record != nullptr && query.NetApiBufferFree != nullptr) {
            query.NetApiBufferFree(record);
        }
    } catch (...) {
        // A failing workstation service leaves the version from step 1.
    }
}

void FreeBoundModule(HMODULE& module) {
    if (module != nullptr) {
        FreeLibrary(module); // a failure here changes nothing for the program
        module = nullptr;
    }
}

} // namespace

void GatherPlatformInfo(const WorkstationQuery& query) {
    ReleasePlatformInfo();
    PlatformInfo& info = Info();
    info = PlatformInfo();
    Bindings& bound = Bound();

    ReadVersion(info);

    SYSTEM_INFO system;
    GetSystemInfo(&system);
    info.ProcessorCount = system.dwNumberOfProcessors == 0 ? 1 : system.dwNumberOfProcessors;

    bound.user32 = LoadLibraryA("user32.dll");
    bound.changeWindowMessageFilter =
        Lookup<ChangeWindowMessageFilterFn>(bound.user32, "ChangeWindowMessageFilter");
    bound.changeWindowMessageFilterEx =
        Lookup<ChangeWindowMessageFilterExFn>(bound.user32, "ChangeWindowMessageFilterEx");

    bound.kernel32 = LoadLibraryA("kernel32.dll");
    if (bound.kernel32 != nullptr) {
        bound.isWow64Process = Lookup<IsWow64ProcessFn>(bound.kernel32, "IsWow64Process");
        if (bound.isWow64Process != nullptr) {
            BOOL wow64 = FALSE;
            if (bound.isWow64Process(kCurrentProcess, &wow64) == FALSE) {
                info.IsWow64 = false;
            } else {
                info.IsWow64 = wow64 != FALSE;
                if (info.IsWow64) {
                    info.RegistryViewFlag = kKeyWow64_64Key;
                }
            }
        }
        bound.openThread = Lookup<OpenThreadFn>(bound.kernel32, "OpenThread");
    }

    ReadWorkstation(info, query);
    if (info.WorkstationMajorVersion != 0) {
        info.WindowsMajorVersion = static_cast<std::int32_t>(info.WorkstationMajorVersion);
        info.WindowsMinorVersion = static_cast<std::int32_t>(info.WorkstationMinorVersion);
    }

    bound.processIdToSessionId =
        Lookup<ProcessIdToSessionIdFn>(bound.kernel32, "ProcessIdToSessionId");
    if (bound.processIdToSessionId != nullptr) {
        DWORD session = 0;
        if (bound.processIdToSessionId(GetCurrentProcessId(), &session) != FALSE) {
            info.SessionId = session;
        }
    }

    info.MainThreadId = GetCurrentThreadId();

    bound.disableFsRedirection =
        Lookup<Wow64DisableWow64FsRedirectionFn>(bound.kernel32, "Wow64DisableWow64FsRedirection");
    bound.revertFsRedirection =
        Lookup<Wow64RevertWow64FsRedirectionFn>(bound.kernel32, "Wow64RevertWow64FsRedirection");

    bound.advapi32 = LoadLibraryA("advapi32.dll");
    bound.regDeleteTreeW = Lookup<RegDeleteTreeWFn>(bound.advapi32, "RegDeleteTreeW");
    bound.regDeleteKeyExW = Lookup<RegDeleteKeyExWFn>(bound.advapi32, "RegDeleteKeyExW");
    bound.regDeleteTreeA = Lookup<RegDeleteTreeAFn>(bound.advapi32, "RegDeleteTreeA");
    bound.regDeleteKeyExA = Lookup<RegDeleteKeyExAFn>(bound.advapi32, "RegDeleteKeyExA");
}

void ReleasePlatformInfo() {
    Bindings& bound = Bound();
    FreeBoundModule(bound.user32);
    FreeBoundModule(bound.kernel32);
    FreeBoundModule(bound.advapi32);
    bound = Bindings();
    Info().ServicePackText.clear();
    Info().ServicePackText.shrink_to_fit();
}

const PlatformInfo& Platform() {
    return Info();
}

PlatformBindings BoundEntryPoints() {
    const Bindings& bound = Bound();
    PlatformBindings result;
    result.User32Loaded = bound.user32 != nullptr;
    result.Kernel32Loaded = bound.kernel32 != nullptr;
    result.Advapi32Loaded = bound.advapi32 != nullptr;
    result.IsWow64ProcessBound = bound.isWow64Process != nullptr;
    result.OpenThreadBound = bound.openThread != nullptr;
    result.ProcessIdToSessionIdBound = bound.processIdToSessionId != nullptr;
    result.FsRedirectionBound =
        bound.disableFsRedirection != nullptr && bound.revertFsRedirection != nullptr;
    result.RegistryDeleteBound =
        (bound.regDeleteTreeW != nullptr) + (bound.regDeleteKeyExW != nullptr) +
        (bound.regDeleteTreeA != nullptr) + (bound.regDeleteKeyExA != nullptr);
    return result;
}

} // namespace nomvera::support
