// Kernel objects that WaitForSingleObject can wait on. Not part of the surface.
#pragma once

#include "platform/posix/kernel/handle_table.h"

namespace nomvera::platform {

class Waitable : public KernelObject {
public:
    // WAIT_OBJECT_0 or WAIT_TIMEOUT; INFINITE waits for ever.
    virtual DWORD WaitFor(DWORD milliseconds) = 0;
};

} // namespace nomvera::platform
