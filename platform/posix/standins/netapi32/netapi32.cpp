// The account service's thirteen entry points under their Windows names.
// A call that names another machine goes to that machine's account service.
#include "platform/posix/services/netapi_remote.h"
#include "platform/posix/services/sids.h"
#include "platform/posix/services/standin_services.h"

namespace impl = nomvera::posix;
namespace remote = nomvera::posix::remote;

namespace {
bool Remote(LPCWSTR server) {
    return !impl::IsLocalMachineName(server);
}
} // namespace

extern "C" {

NET_API_STATUS NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    if (Remote(server)) {
        return remote::NetUserAdd(server, level, buf, parmErr);
    }
    return impl::NetUserAdd(server, level, buf, parmErr);
}
NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buf) {
    if (Remote(server)) {
        return remote::NetUserGetInfo(server, user, level, buf);
    }
    return impl::NetUserGetInfo(server, user, level, buf);
}
NET_API_STATUS NetUserSetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE buf,
                              LPDWORD parmErr) {
    if (Remote(server)) {
        return remote::NetUserSetInfo(server, user, level, buf, parmErr);
    }
    return impl::NetUserSetInfo(server, user, level, buf, parmErr);
}
NET_API_STATUS NetUserDel(LPCWSTR server, LPCWSTR user) {
    if (Remote(server)) {
        return remote::NetUserDel(server, user);
    }
    return impl::NetUserDel(server, user);
}
NET_API_STATUS NetUserModalsGet(LPCWSTR server, DWORD level, LPBYTE* buf) {
    if (Remote(server)) {
        return remote::NetUserModalsGet(server, level, buf);
    }
    return impl::NetUserModalsGet(server, level, buf);
}
NET_API_STATUS NetGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    if (Remote(server)) {
        return remote::NetGroupAdd(server, level, buf, parmErr);
    }
    return impl::NetGroupAdd(server, level, buf, parmErr);
}
NET_API_STATUS NetGroupDel(LPCWSTR server, LPCWSTR group) {
    if (Remote(server)) {
        return remote::NetGroupDel(server, group);
    }
    return impl::NetGroupDel(server, group);
}
NET_API_STATUS NetLocalGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    if (Remote(server)) {
        return remote::NetLocalGroupAdd(server, level, buf, parmErr);
    }
    return impl::NetLocalGroupAdd(server, level, buf, parmErr);
}
NET_API_STATUS NetLocalGroupEnum(LPCWSTR server, DWORD level, LPBYTE* buf, DWORD prefMaxLen,
                                 LPDWORD entriesRead, LPDWORD totalEntries,
                                 PDWORD_PTR resumeHandle) {
    if (Remote(server)) {
        return remote::NetLocalGroupEnum(server, level, buf, prefMaxLen, entriesRead, totalEntries,
                                         resumeHandle);
    }
    return impl::NetLocalGroupEnum(server, level, buf, prefMaxLen, entriesRead, totalEntries,
                                   resumeHandle);
}
NET_API_STATUS NetLocalGroupDel(LPCWSTR server, LPCWSTR group) {
    if (Remote(server)) {
        return remote::NetLocalGroupDel(server, group);
    }
    return impl::NetLocalGroupDel(server, group);
}
NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE buf,
                                       DWORD totalEntries) {
    if (Remote(server)) {
        return remote::NetLocalGroupAddMembers(server, group, level, buf, totalEntries);
    }
    return impl::NetLocalGroupAddMembers(server, group, level, buf, totalEntries);
}
NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    return impl::NetApiBufferFree(buffer);
}
NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf) {
    if (Remote(server)) {
        return remote::NetWkstaGetInfo(server, level, buf);
    }
    return impl::NetWkstaGetInfo(server, level, buf);
}

} // extern "C"
