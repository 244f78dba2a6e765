#include "accounts/profile_service.h"

#include "platform/libloader.h"

namespace nomvera::accounts {
namespace {

HMODULE library = nullptr;
CreateProfileFn createProfile = nullptr;
DeleteProfileWFn deleteProfile = nullptr;

} // namespace

void BindProfileService(const char* libraryName) {
    if (library == nullptr) {
        library = LoadLibraryA(libraryName);
    }
    if (library != nullptr) {
        createProfile =
            platform::EntryPointAs<CreateProfileFn>(GetProcAddress(library, "CreateProfile"));
        deleteProfile =
            platform::EntryPointAs<DeleteProfileWFn>(GetProcAddress(library, "DeleteProfileW"));
    }
}

void ReleaseProfileService() {
    createProfile = nullptr;
    deleteProfile = nullptr;
    if (library != nullptr) {
        FreeLibrary(library);
        library = nullptr;
    }
}

bool ProfileServiceComplete() {
    return createProfile != nullptr && deleteProfile != nullptr;
}

HRESULT CreateProfile(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath, DWORD capacity) {
    if (createProfile == nullptr) {
        return 1;
    }
    try {
        return createProfile(sidString, userName, profilePath, capacity);
    } catch (...) {
        return 1;
    }
}

bool DeleteProfile(LPCWSTR sidString, LPCWSTR profilePath, LPCWSTR computerName) {
    if (deleteProfile == nullptr) {
        return false;
    }
    try {
        return deleteProfile(sidString, profilePath, computerName) != FALSE;
    } catch (...) {
        return false;
    }
}

} // namespace nomvera::accounts
