#include "platform/errors.h"
#include "platform/posix/kernel/handle_table.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace nomvera::platform {
namespace {

// A handle is a small number of this process, as on Windows (4, 8, 12, ...),
// never the object's address: handles are written to the log, and no address
// of the process may reach a file. Numbers are not reused, so a handle kept
// after its closing names nothing rather than a newer object.
struct HandleTable {
    std::mutex lock;
    std::unordered_map<HANDLE, std::unique_ptr<KernelObject>> objects;
    std::uintptr_t lastNumber = 0;
};

HandleTable& Table() {
    static auto* table = new HandleTable; // outlives every static destructor
    return *table;
}

} // namespace

HANDLE RegisterHandle(std::unique_ptr<KernelObject> object) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    table.lastNumber += 4;
    HANDLE handle = reinterpret_cast<HANDLE>(table.lastNumber);
    table.objects.emplace(handle, std::move(object));
    return handle;
}

KernelObject* LookupHandle(HANDLE handle) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.objects.find(handle);
    return it == table.objects.end() ? nullptr : it->second.get();
}

} // namespace nomvera::platform

BOOL CloseHandle(HANDLE handle) {
    std::unique_ptr<nomvera::platform::KernelObject> object;
    {
        auto& table = nomvera::platform::Table();
        std::lock_guard guard(table.lock);
        auto it = table.objects.find(handle);
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        table.objects.erase(it);
    }
    // Destroyed outside the table lock: an object may close handles of its own.
    object.reset();
    return TRUE;
}
