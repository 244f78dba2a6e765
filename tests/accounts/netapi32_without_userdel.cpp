// Test double: an account-service library that lacks NetUserDel, to show that
// one missing entry point fails alone.
#if defined(_WIN32)
// On Windows each entry point passes the call on to the system's own.
#include <windows.h>

namespace {

template <class Fn> Fn System(const char* name) {
    static HMODULE library = LoadLibraryA("netapi32.dll");
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

} // namespace

using NET_API_STATUS = DWORD;
#define NOMVERA_EXPORT __declspec(dllexport)

extern "C" {

NOMVERA_EXPORT NET_API_STATUS NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return System<NET_API_STATUS (*)(LPCWSTR, DWORD, LPBYTE, LPDWORD)>("NetUserAdd")(server, level,
                                                                                     buf, parmErr);
}
NOMVERA_EXPORT NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level,
                                             LPBYTE* buf) {
    return System<NET_API_STATUS (*)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*)>("NetUserGetInfo")(
        server, user, level, buf);
}
NOMVERA_EXPORT NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    return System<NET_API_STATUS (*)(LPVOID)>("NetApiBufferFree")(buffer);
}
NOMVERA_EXPORT NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf) {
    return System<NET_API_STATUS (*)(LPCWSTR, DWORD, LPBYTE*)>("NetWkstaGetInfo")(server, level,
                                                                                  buf);
}

} // extern "C"

#else
#include "platform/posix/services/standin_services.h"

namespace impl = nomvera::posix;

extern "C" {

NET_API_STATUS NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return impl::NetUserAdd(server, level, buf, parmErr);
}
NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buf) {
    return impl::NetUserGetInfo(server, user, level, buf);
}
NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    return impl::NetApiBufferFree(buffer);
}
NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf) {
    return impl::NetWkstaGetInfo(server, level, buf);
}

} // extern "C"

#endif
