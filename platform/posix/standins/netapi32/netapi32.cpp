// The account service's thirteen entry points under their Windows names.
#include "platform/posix/services/standin_services.h"

namespace impl = nomvera::posix;

extern "C" {

NET_API_STATUS NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return impl::NetUserAdd(server, level, buf, parmErr);
}
NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buf) {
    return impl::NetUserGetInfo(server, user, level, buf);
}
NET_API_STATUS NetUserSetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE buf,
                              LPDWORD parmErr) {
    return impl::NetUserSetInfo(server, user, level, buf, parmErr);
}
NET_API_STATUS NetUserDel(LPCWSTR server, LPCWSTR user) {
    return impl::NetUserDel(server, user);
}
NET_API_STATUS NetUserModalsGet(LPCWSTR server, DWORD level, LPBYTE* buf) {
    return impl::NetUserModalsGet(server, level, buf);
}
NET_API_STATUS NetGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return impl::NetGroupAdd(server, level, buf, parmErr);
}
NET_API_STATUS NetGroupDel(LPCWSTR server, LPCWSTR group) {
    return impl::NetGroupDel(server, group);
}
NET_API_STATUS NetLocalGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return impl::NetLocalGroupAdd(server, level, buf, parmErr);
}
NET_API_STATUS NetLocalGroupEnum(LPCWSTR server, DWORD level, LPBYTE* buf, DWORD prefMaxLen,
                                 LPDWORD entriesRead, LPDWORD totalEntries,
                                 PDWORD_PTR resumeHandle) {
    return impl::NetLocalGroupEnum(server, level, buf, prefMaxLen, entriesRead, totalEntries,
                                   resumeHandle);
}
NET_API_STATUS NetLocalGroupDel(LPCWSTR server, LPCWSTR group) {
    return impl::NetLocalGroupDel(server, group);
}
NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE buf,
                                       DWORD totalEntries) {
    return impl::NetLocalGroupAddMembers(server, group, level, buf, totalEntries);
}
NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    return impl::NetApiBufferFree(buffer);
}
NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf) {
    return impl::NetWkstaGetInfo(server, level, buf);
}

} // extern "C"
