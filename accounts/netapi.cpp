#include "accounts/netapi.h"

#include "platform/libloader.h"
#include "platform/wide_text.h"

#include <array>

namespace nomvera::accounts {
namespace {

// The thirteen entry points, in the order the binding declares them.
enum Slot : std::size_t {
    kNetUserAdd,
    kNetUserGetInfo,
    kNetUserSetInfo,
    kNetUserDel,
    kNetUserModalsGet,
    kNetGroupAdd,
    kNetGroupDel,
    kNetLocalGroupAdd,
    kNetLocalGroupEnum,
    kNetLocalGroupDel,
    kNetLocalGroupAddMembers,
    kNetApiBufferFree,
    kNetWkstaGetInfo,
    kSlotCount,
};

constexpr std::array<const char*, kSlotCount> kEntryNames = {
    "NetUserAdd",       "NetUserGetInfo",          "NetUserSetInfo",
    "NetUserDel",       "NetUserModalsGet",        "NetGroupAdd",
    "NetGroupDel",      "NetLocalGroupAdd",        "NetLocalGroupEnum",
    "NetLocalGroupDel", "NetLocalGroupAddMembers", "NetApiBufferFree",
    "NetWkstaGetInfo",
};

HMODULE library = nullptr;
std::array<FARPROC, kSlotCount> slots{};
WideString accountComment;

// Fills the slot on first use; a failed look-up leaves it empty, so the next
// call looks again.
template <class Fn> Fn Bound(Slot slot) {
    if (slots[slot] == nullptr && library != nullptr) {
        slots[slot] = GetProcAddress(library, kEntryNames[slot]);
    }
    if (library == nullptr) {
        return nullptr;
    }
    return platform::EntryPointAs<Fn>(slots[slot]);
}

template <class Fn, class... Args> NET_API_STATUS Call(Slot slot, Args... args) {
    Fn entry = Bound<Fn>(slot);
    return entry == nullptr ? ERROR_PROC_NOT_FOUND : entry(args...);
}

} // namespace

void LoadAccountService(const char* libraryName) {
    if (library == nullptr) {
        library = LoadLibraryA(libraryName);
    }
}

void UnloadAccountService() {
    if (library != nullptr) {
        FreeLibrary(library);
        library = nullptr;
    }
    // The addresses died with the library; a later load binds afresh.
    slots.fill(nullptr);
}

bool AccountServiceLoaded() {
    return library != nullptr;
}

const WideString& AccountComment() {
    return accountComment;
}

void SetAccountComment(const WideString& comment) {
    accountComment = comment;
}

} // namespace nomvera::accounts

using namespace nomvera::accounts;

NET_API_STATUS NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return Call<NetUserAddFn>(kNetUserAdd, server, level, buf, parmErr);
}

NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buf) {
    return Call<NetUserGetInfoFn>(kNetUserGetInfo, server, user, level, buf);
}

NET_API_STATUS NetUserSetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE buf,
                              LPDWORD parmErr) {
    return Call<NetUserSetInfoFn>(kNetUserSetInfo, server, user, level, buf, parmErr);
}

NET_API_STATUS NetUserDel(LPCWSTR server, LPCWSTR user) {
    return Call<NetUserDelFn>(kNetUserDel, server, user);
}

NET_API_STATUS NetUserModalsGet(LPCWSTR server, DWORD level, LPBYTE* buf) {
    return Call<NetUserModalsGetFn>(kNetUserModalsGet, server, level, buf);
}

NET_API_STATUS NetGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return Call<NetGroupAddFn>(kNetGroupAdd, server, level, buf, parmErr);
}

NET_API_STATUS NetGroupDel(LPCWSTR server, LPCWSTR group) {
    return Call<NetGroupDelFn>(kNetGroupDel, server, group);
}

NET_API_STATUS NetLocalGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return Call<NetLocalGroupAddFn>(kNetLocalGroupAdd, server, level, buf, parmErr);
}

NET_API_STATUS NetLocalGroupEnum(LPCWSTR server, DWORD level, LPBYTE* buf, DWORD prefMaxLen,
                                 LPDWORD entriesRead, LPDWORD totalEntries,
                                 PDWORD_PTR resumeHandle) {
    return Call<NetLocalGroupEnumFn>(kNetLocalGroupEnum, server, level, buf, prefMaxLen,
                                     entriesRead, totalEntries, resumeHandle);
}

NET_API_STATUS NetLocalGroupDel(LPCWSTR server, LPCWSTR group) {
    return Call<NetLocalGroupDelFn>(kNetLocalGroupDel, server, group);
}

NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE buf,
                                       DWORD totalEntries) {
    return Call<NetLocalGroupAddMembersFn>(kNetLocalGroupAddMembers, server, group, level, buf,
                                           totalEntries);
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    return Call<NetApiBufferFreeFn>(kNetApiBufferFree, buffer);
}

NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf) {
    return Call<NetWkstaGetInfoFn>(kNetWkstaGetInfo, server, level, buf);
}
