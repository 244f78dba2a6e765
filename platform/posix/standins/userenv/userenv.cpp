// CreateProfile and DeleteProfileW under their Windows names.
#include "platform/posix/services/standin_services.h"

extern "C" {

HRESULT CreateProfile(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath, DWORD pathCapacity) {
    return nomvera::posix::CreateProfile(sidString, userName, profilePath, pathCapacity);
}
BOOL DeleteProfileW(LPCWSTR sidString, LPCWSTR profilePath, LPCWSTR computerName) {
    return nomvera::posix::DeleteProfile(sidString, profilePath, computerName);
}

} // extern "C"
