#include "support/platform_info.h"

#include "platform/process.h"
#include "platform/sysinfo.h"
#include "support/bound_library.h"

#include <cstring>

namespace nomvera::support {
namespace {

constexpr std::int32_t kKeyWow64_64Key = 256;
// The current process's pseudo handle, as GetCurrentProcess gives it.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// The three system libraries and the entry points looked up in them when
// the facts are gathered; all are given back by ReleasePlatformInfo.
struct Bindings {
    TBoundLibrary user32;
    TBoundLibrary kernel32;
    TBoundLibrary advapi32;
    TEntryPoint<ChangeWindowMessageFilterFn> changeWindowMessageFilter{user32,
                                                                       "ChangeWindowMessageFilter"};
    TEntryPoint<ChangeWindowMessageFilterExFn> changeWindowMessageFilterEx{
        user32, "ChangeWindowMessageFilterEx"};
    TEntryPoint<IsWow64ProcessFn> isWow64Process{kernel32, "IsWow64Process"};
    TEntryPoint<OpenThreadFn> openThread{kernel32, "OpenThread"};
    TEntryPoint<ProcessIdToSessionIdFn> processIdToSessionId{kernel32, "ProcessIdToSessionId"};
    TEntryPoint<Wow64DisableWow64FsRedirectionFn> disableFsRedirection{
        kernel32, "Wow64DisableWow64FsRedirection"};
    TEntryPoint<Wow64RevertWow64FsRedirectionFn> revertFsRedirection{
        kernel32, "Wow64RevertWow64FsRedirection"};
    TEntryPoint<RegDeleteTreeWFn> regDeleteTreeW{advapi32, "RegDeleteTreeW"};
    TEntryPoint<RegDeleteKeyExWFn> regDeleteKeyExW{advapi32, "RegDeleteKeyExW"};
    TEntryPoint<RegDeleteTreeAFn> regDeleteTreeA{advapi32, "RegDeleteTreeA"};
    TEntryPoint<RegDeleteKeyExAFn> regDeleteKeyExA{advapi32, "RegDeleteKeyExA"};
};

PlatformInfo& Info() {
    static PlatformInfo info;
    return info;
}

Bindings& Bound() {
    static Bindings bindings;
    return bindings;
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

    bound.user32.Load("user32.dll");
    bound.changeWindowMessageFilter.Get();
    bound.changeWindowMessageFilterEx.Get();

    bound.kernel32.Load("kernel32.dll");
    if (bound.kernel32.Loaded()) {
        if (const IsWow64ProcessFn isWow64Process = bound.isWow64Process.Get()) {
            BOOL wow64 = FALSE;
            if (isWow64Process(kCurrentProcess, &wow64) == FALSE) {
                info.IsWow64 = false;
            } else {
                info.IsWow64 = wow64 != FALSE;
                if (info.IsWow64) {
                    info.RegistryViewFlag = kKeyWow64_64Key;
                }
            }
        }
        bound.openThread.Get();
    }

    ReadWorkstation(info, query);
    if (info.WorkstationMajorVersion != 0) {
        info.WindowsMajorVersion = static_cast<std::int32_t>(info.WorkstationMajorVersion);
        info.WindowsMinorVersion = static_cast<std::int32_t>(info.WorkstationMinorVersion);
    }

    if (const ProcessIdToSessionIdFn sessionOf = bound.processIdToSessionId.Get()) {
        DWORD session = 0;
        if (sessionOf(GetCurrentProcessId(), &session) != FALSE) {
            info.SessionId = session;
        }
    }

    info.MainThreadId = GetCurrentThreadId();

    bound.disableFsRedirection.Get();
    bound.revertFsRedirection.Get();

    bound.advapi32.Load("advapi32.dll");
    bound.regDeleteTreeW.Get();
    bound.regDeleteKeyExW.Get();
    bound.regDeleteTreeA.Get();
    bound.regDeleteKeyExA.Get();
}

void ReleasePlatformInfo() {
    Bindings& bound = Bound();
    // A failure to free changes nothing for the program.
    bound.user32.Release();
    bound.kernel32.Release();
    bound.advapi32.Release();
    Info().ServicePackText.clear();
    Info().ServicePackText.shrink_to_fit();
}

const PlatformInfo& Platform() {
    return Info();
}

PlatformBindings BoundEntryPoints() {
    const Bindings& bound = Bound();
    PlatformBindings result;
    result.User32Loaded = bound.user32.Loaded();
    result.Kernel32Loaded = bound.kernel32.Loaded();
    result.Advapi32Loaded = bound.advapi32.Loaded();
    result.IsWow64ProcessBound = bound.isWow64Process.Found();
    result.OpenThreadBound = bound.openThread.Found();
    result.ProcessIdToSessionIdBound = bound.processIdToSessionId.Found();
    result.FsRedirectionBound =
        bound.disableFsRedirection.Found() && bound.revertFsRedirection.Found();
    result.RegistryDeleteBound = bound.regDeleteTreeW.Found() + bound.regDeleteKeyExW.Found() +
                                 bound.regDeleteTreeA.Found() + bound.regDeleteKeyExA.Found();
    return result;
}

} // namespace nomvera::support
