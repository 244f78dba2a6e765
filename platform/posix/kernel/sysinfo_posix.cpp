#include "platform/sysinfo.h"

#include "platform/errors.h"
#include "platform/posix/kernel/handle_table.h"
#include "platform/posix/kernel/kernel32_posix.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr DWORD kReportedMajor = 10;
constexpr DWORD kReportedMinor = 0;

// A thread opened by id; it names the thread and owns nothing.
class OpenedThread final : public nomvera::platform::KernelObject {
public:
    explicit OpenedThread(DWORD id) : id_(id) {}
    DWORD Id() const { return id_; }

private:
    DWORD id_;
};

WORD Architecture() {
#if defined(__x86_64__)
    return PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__aarch64__)
    return PROCESSOR_ARCHITECTURE_ARM64;
#elif defined(__i386__)
    return PROCESSOR_ARCHITECTURE_INTEL;
#elif defined(__arm__)
    return PROCESSOR_ARCHITECTURE_ARM;
#else
    return PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
}

} // namespace

BOOL GetVersionExA(OSVERSIONINFOA* versionInfo) {
    if (versionInfo == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD size = versionInfo->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    versionInfo->dwMajorVersion = kReportedMajor;
    versionInfo->dwMinorVersion = kReportedMinor;
    versionInfo->dwBuildNumber = 0;
    versionInfo->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(versionInfo->szCSDVersion, 0, sizeof versionInfo->szCSDVersion);
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto* ex = reinterpret_cast<OSVERSIONINFOEXA*>(versionInfo);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = VER_NT_WORKSTATION;
        ex->wReserved = 0;
    }
    return TRUE;
}

void GetSystemInfo(LPSYSTEM_INFO systemInfo) {
    if (systemInfo == nullptr) {
        return;
    }
    std::memset(systemInfo, 0, sizeof *systemInfo);
    long pageSize = sysconf(_SC_PAGESIZE);
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    systemInfo->wProcessorArchitecture = Architecture();
    systemInfo->dwPageSize = pageSize > 0 ? static_cast<DWORD>(pageSize) : 4096;
    systemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x10000});
    systemInfo->lpMaximumApplicationAddress =
        reinterpret_cast<LPVOID>(~std::uintptr_t{0} >> (sizeof(void*) == 8 ? 17 : 1));
    systemInfo->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 0;
    DWORD count = systemInfo->dwNumberOfProcessors;
    systemInfo->dwActiveProcessorMask =
        count >= sizeof(DWORD_PTR) * 8 ? ~DWORD_PTR{0} : ((DWORD_PTR{1} << count) - 1);
    systemInfo->dwAllocationGranularity = 65536;
}

namespace nomvera::posix {

BOOL IsWow64Process(HANDLE /*process*/, BOOL* wow64Process) {
    if (wow64Process == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *wow64Process = FALSE;
    return TRUE;
}

DWORD ParseSessionId(const std::string& text) {
    auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) {
        return 0;
    }
    auto end = text.find_first_of(" \t\r\n", start);
    std::string number = text.substr(start, end == std::string::npos ? end : end - start);
    unsigned long long value = 0;
    auto [next, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || next != number.data() + number.size() || value >= 4294967295ULL) {
        return 0;
    }
    return static_cast<DWORD>(value);
}

BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
    if (sessionId == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path = "/proc/" + std::to_string(processId) + "/sessionid";
    struct stat st {};
    if (stat(("/proc/" + std::to_string(processId)).c_str(), &st) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::ifstream file(path);
    std::string text;
    if (file) {
        std::getline(file, text);
    }
    // Without audit support the file is missing: no session, as "unset".
    *sessionId = ParseSessionId(text);
    return TRUE;
}

HANDLE OpenThread(DWORD /*desiredAccess*/, BOOL /*inheritHandle*/, DWORD threadId) {
    struct stat st {};
    std::string task = "/proc/self/task/" + std::to_string(threadId);
    if (threadId == 0 || stat(task.c_str(), &st) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return nomvera::platform::RegisterHandle(std::make_unique<OpenedThread>(threadId));
}

BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue) {
    if (oldValue != nullptr) {
        *oldValue = nullptr;
    }
    return TRUE;
}

BOOL Wow64RevertWow64FsRedirection(PVOID /*oldValue*/) {
    return TRUE;
}

} // namespace nomvera::posix
