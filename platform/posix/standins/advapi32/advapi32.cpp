// ConvertStringSidToSidA and GetTokenInformation under their Windows names.
#include "platform/posix/services/sids.h"

extern "C" {

BOOL ConvertStringSidToSidA(LPCSTR stringSid, PSID* sid) {
    return nomvera::posix::StringSidToSid(stringSid, sid);
}
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                         DWORD infoLength, PDWORD returnLength) {
    return nomvera::posix::TokenInformation(token, infoClass, info, infoLength, returnLength);
}

} // extern "C"
