#include "platform/errors.h"

namespace {
thread_local DWORD lastError = 0;
}

void SetLastError(DWORD code) {
    lastError = code;
}

DWORD GetLastError() {
    return lastError;
}
