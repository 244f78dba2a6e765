#include "accounts/profile_service.h"

#include "support/bound_library.h"

namespace nomvera::accounts {
namespace {

support::TBoundLibrary library;
// Both are looked up when the service is bound, never on a call: a missing
// one stays absent until the next binding.
support::TEntryPoint<CreateProfileFn> createProfile{library, "CreateProfile"};
support::TEntryPoint<DeleteProfileWFn> deleteProfile{library, "DeleteProfileW"};

} // namespace

void BindProfileService(const char* libraryName) {
    library.Load(libraryName);
    createProfile.Get();
    deleteProfile.Get();
}

void ReleaseProfileService() {
    library.Release();
}

bool ProfileServiceComplete() {
    return createProfile.Found() && deleteProfile.Found();
}

HRESULT CreateProfile(LPCWSTR sidString, LPCWSTR userName, LPWSTR profilePath, DWORD capacity) {
    if (!createProfile.Found()) {
        return 1;
    }
    try {
        return createProfile.Get()(sidString, userName, profilePath, capacity);
    } catch (...) {
        return 1;
    }
}

bool DeleteProfile(LPCWSTR sidString, LPCWSTR profilePath, LPCWSTR computerName) {
    if (!deleteProfile.Found()) {
        return false;
    }
    try {
        return deleteProfile.Get()(sidString, profilePath, computerName) != FALSE;
    } catch (...) {
        return false;
    }
}

} // namespace nomvera::accounts
