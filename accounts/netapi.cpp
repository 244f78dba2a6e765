#include "accounts/netapi.h"

#include "platform/wide_text.h"
#include "support/bound_library.h"

namespace nomvera::accounts {
namespace {

support::TBoundLibrary library;
WideString accountComment;

// One slot per entry point, each looked up on its first use.
struct TSlots {
#define NOMVERA_SLOT(ret, name, parameters, arguments)                                             \
    support::TEntryPoint<name##Fn> name{library, #name};
    NOMVERA_ACCOUNT_SERVICE_ENTRY_POINTS(NOMVERA_SLOT)
#undef NOMVERA_SLOT
} slots;

} // namespace

void LoadAccountService(const char* libraryName) {
    library.Load(libraryName);
}

void UnloadAccountService() {
    library.Release();
}

bool AccountServiceLoaded() {
    return library.Loaded();
}

const WideString& AccountComment() {
    return accountComment;
}

void SetAccountComment(const WideString& comment) {
    accountComment = comment;
}

} // namespace nomvera::accounts

// A missing library or entry point answers ERROR_PROC_NOT_FOUND.
#define NOMVERA_BOUND_CALL(ret, name, parameters, arguments)                                       \
    ret name parameters {                                                                          \
        const name##Fn entry = nomvera::accounts::slots.name.Get();                                \
        return entry == nullptr ? ERROR_PROC_NOT_FOUND : entry arguments;                          \
    }
NOMVERA_ACCOUNT_SERVICE_ENTRY_POINTS(NOMVERA_BOUND_CALL)
#undef NOMVERA_BOUND_CALL
