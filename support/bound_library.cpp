#include "support/bound_library.h"

namespace nomvera::support {

void TBoundLibrary::Load(const char* name) {
    if (!module_.Valid()) {
        module_.Reset(LoadLibraryA(name));
    }
}

void TBoundLibrary::Release() {
    module_.Reset();
    ++generation_;
}

FARPROC TBoundLibrary::Find(const char* name) const {
    return module_.Valid() ? GetProcAddress(module_.Get(), name) : nullptr;
}

} // namespace nomvera::support
