// The stand-ins' table of kernel objects: a HANDLE names an object in a
// process-wide table; CloseHandle destroys it.
#pragma once

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/windows_types.h"

#include <memory>

namespace nomvera::platform {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// Takes ownership and returns the new handle.
HANDLE RegisterHandle(std::unique_ptr<KernelObject> object);

// The object behind a handle if it is open and of type T, else null.
KernelObject* LookupHandle(HANDLE handle);
template <class T> T* HandleObject(HANDLE handle) {
    return dynamic_cast<T*>(LookupHandle(handle));
}

// The same, leaving ERROR_INVALID_HANDLE as the thread's last error when the
// handle names no open object of type T.
template <class T> T* HandleObjectOrFail(HANDLE handle) {
    T* object = HandleObject<T>(handle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return object;
}

} // namespace nomvera::platform
