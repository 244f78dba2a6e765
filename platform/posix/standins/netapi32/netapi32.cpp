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

// Each call that takes a server goes to the remote service or to this
// machine's; NetApiBufferFree frees the records of either.
#define NOMVERA_EXPORTED_CALL(ret, name, parameters, arguments)                                    \
    ret name parameters {                                                                          \
        if (Remote(server)) {                                                                      \
            return remote::name arguments;                                                         \
        }                                                                                          \
        return impl::name arguments;                                                               \
    }

extern "C" {

NOMVERA_ACCOUNT_SERVICE_SERVER_CALLS(NOMVERA_EXPORTED_CALL)

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    return impl::NetApiBufferFree(buffer);
}

} // extern "C"
