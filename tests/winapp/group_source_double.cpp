// Test double of the account service (netapi32.dll) for the window test:
// Wine's NetLocalGroupEnum lists no groups at all, so the group list could
// never show its ticks there. This DLL lists a fixed set of local groups,
// answers the workstation query as Windows 10 does and refuses every change
// (ERROR_NOT_SUPPORTED). wine-window-run.sh puts it in place of the system's
// netapi32.dll in the run's own Wine prefix; no other program uses it.
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

namespace {

using NetStatus = DWORD;
constexpr NetStatus kSuccess = 0;

// The groups, in the order the double lists them: two built-in groups the
// window ticks by default, two it does not, and one whose name only differs
// from a ticked one in case.
#ifdef NOMVERA_PLANTED_DOUBLE
// Built a second time as a DLL that another account plants next to the
// program: the window must never list its group.
constexpr const wchar_t* kGroups[] = {L"Planted"};
#else
constexpr const wchar_t* kGroups[] = {L"Administrators", L"Guests", L"Remote Desktop Users",
                                      L"users", L"Users"};
#endif
constexpr std::size_t kGroupCount = sizeof(kGroups) / sizeof(kGroups[0]);

struct GroupInfo0 {
    wchar_t* name;
};

struct WorkstationInfo100 {
    DWORD platformId;
    wchar_t* computerName;
    wchar_t* langroup;
    DWORD versionMajor;
    DWORD versionMinor;
};

void* Allocate(std::size_t size) {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

// Copies the text into the block at the offset; returns where it lies.
wchar_t* Place(BYTE* block, std::size_t& offset, const wchar_t* text) {
    auto* placed = reinterpret_cast<wchar_t*>(block + offset);
    const std::size_t length = std::wcslen(text) + 1;
    std::memcpy(placed, text, length * sizeof(wchar_t));
    offset += length * sizeof(wchar_t);
    return placed;
}

} // namespace

extern "C" {

__declspec(dllexport) NetStatus WINAPI NetApiBufferFree(void* buffer) {
    if (buffer != nullptr) {
        HeapFree(GetProcessHeap(), 0, buffer);
    }
    return kSuccess;
}

__declspec(dllexport) NetStatus WINAPI
    NetLocalGroupEnum(const wchar_t*, DWORD level, BYTE** buffer, DWORD, DWORD* read, DWORD* total,
                      DWORD_PTR* resume) {
    if (level != 0 || buffer == nullptr || read == nullptr || total == nullptr) {
        return ERROR_INVALID_LEVEL;
    }
    std::size_t size = kGroupCount * sizeof(GroupInfo0);
    for (const wchar_t* group : kGroups) {
        size += (std::wcslen(group) + 1) * sizeof(wchar_t);
    }
    auto* block = static_cast<BYTE*>(Allocate(size));
    if (block == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    auto* entries = reinterpret_cast<GroupInfo0*>(block);
    std::size_t offset = kGroupCount * sizeof(GroupInfo0);
    for (std::size_t i = 0; i < kGroupCount; ++i) {
        entries[i].name = Place(block, offset, kGroups[i]);
    }
    *buffer = block;
    *read = kGroupCount;
    *total = kGroupCount;
    if (resume != nullptr) {
        *resume = 0;
    }
    return kSuccess;
}

__declspec(dllexport) NetStatus WINAPI NetWkstaGetInfo(const wchar_t*, DWORD level, BYTE** buffer) {
    if (level != 100 || buffer == nullptr) {
        return ERROR_INVALID_LEVEL;
    }
    const std::size_t size = sizeof(WorkstationInfo100) + 64 * sizeof(wchar_t);
    auto* block = static_cast<BYTE*>(Allocate(size));
    if (block == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    auto* info = reinterpret_cast<WorkstationInfo100*>(block);
    std::size_t offset = sizeof(WorkstationInfo100);
    info->platformId = 500; // PLATFORM_ID_NT
    info->computerName = Place(block, offset, L"NOMVERA-TEST");
    info->langroup = Place(block, offset, L"WORKGROUP");
    info->versionMajor = 10;
    info->versionMinor = 0;
    *buffer = block;
    return kSuccess;
}

// Every change to the machine's accounts is refused.
#define NOMVERA_REFUSED(name, ...)                                                                 \
    __declspec(dllexport) NetStatus WINAPI name(__VA_ARGS__) {                                     \
        return ERROR_NOT_SUPPORTED;                                                                \
    }
NOMVERA_REFUSED(NetUserAdd, const wchar_t*, DWORD, BYTE*, DWORD*)
NOMVERA_REFUSED(NetUserGetInfo, const wchar_t*, const wchar_t*, DWORD, BYTE**)
NOMVERA_REFUSED(NetUserSetInfo, const wchar_t*, const wchar_t*, DWORD, BYTE*, DWORD*)
NOMVERA_REFUSED(NetUserDel, const wchar_t*, const wchar_t*)
NOMVERA_REFUSED(NetUserModalsGet, const wchar_t*, DWORD, BYTE**)
NOMVERA_REFUSED(NetGroupAdd, const wchar_t*, DWORD, BYTE*, DWORD*)
NOMVERA_REFUSED(NetGroupDel, const wchar_t*, const wchar_t*)
NOMVERA_REFUSED(NetLocalGroupAdd, const wchar_t*, DWORD, BYTE*, DWORD*)
NOMVERA_REFUSED(NetLocalGroupDel, const wchar_t*, const wchar_t*)
NOMVERA_REFUSED(NetLocalGroupAddMembers, const wchar_t*, const wchar_t*, DWORD, BYTE*, DWORD)
#undef NOMVERA_REFUSED
}
