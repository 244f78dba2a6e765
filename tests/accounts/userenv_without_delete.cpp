// Test double: a profile-service library that lacks DeleteProfileW.
#if defined(_WIN32)
// On Windows its CreateProfile makes nothing: it answers E_NOTIMPL, which
// shows that the bound entry point was called. (Wine's own CreateProfile
// ends the process.)
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT CreateProfile(LPCWSTR, LPCWSTR, LPWSTR, DWORD) {
    return E_NOTIMPL;
}

#else
#include "platform/posix/services/standin_services.h"

extern "C" HRESULT CreateProfile(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath,
                                 DWORD pathCapacity) {
    return nomvera::posix::CreateProfile(sidString, userName, profilePath, pathCapacity);
}

#endif
