// Test double: an account-service library that lacks NetUserDel, to show that
// one missing entry point fails alone.
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
