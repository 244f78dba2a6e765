// Test double: a profile-service library that lacks DeleteProfileW.
#include "platform/posix/services/standin_services.h"

extern "C" HRESULT CreateProfile(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath,
                                 DWORD pathCapacity) {
    return nomvera::posix::CreateProfile(sidString, userName, profilePath, pathCapacity);
}
