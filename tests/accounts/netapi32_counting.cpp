// Test double: the account-service stand-in with every NetApiBufferFree call
// counted against the records handed out, and the two record queries able
// to fail while still handing out their record, to show that each record is
// released exactly once, whatever the status.
#include "platform/posix/services/standin_services.h"

namespace impl = nomvera::posix;

namespace {

int handedOut = 0;
int releaseCalls = 0;
bool failWithRecord = false;

NET_API_STATUS Counted(NET_API_STATUS status, LPBYTE* buf) {
    if (buf != nullptr && *buf != nullptr) {
        ++handedOut;
    }
    return status == NERR_Success && failWithRecord ? ERROR_ACCESS_DENIED : status;
}

} // namespace

extern "C" {

void TestDoubleStart(int failQueriesWithRecord) {
    failWithRecord = failQueriesWithRecord != 0;
    handedOut = 0;
    releaseCalls = 0;
}

int TestDoubleHandedOut() {
    return handedOut;
}

int TestDoubleReleaseCalls() {
    return releaseCalls;
}

NET_API_STATUS NetUserModalsGet(LPCWSTR server, DWORD level, LPBYTE* buf) {
    return Counted(impl::NetUserModalsGet(server, level, buf), buf);
}

NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf) {
    return Counted(impl::NetWkstaGetInfo(server, level, buf), buf);
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    if (buffer != nullptr) {
        ++releaseCalls;
    }
    return impl::NetApiBufferFree(buffer);
}

} // extern "C"
