#include "platform/errors.h"
#include "platform/posix/kernel/handle_table.h"

#include <mutex>
#include <unordered_map>

namespace nomvera::platform {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<HANDLE, std::unique_ptr<KernelObject>> objects;
};

HandleTable& Table() {
    static auto* table = new HandleTable; // outlives every static destructor
    return *table;
}

} // namespace

HANDLE RegisterHandle(std::unique_ptr<KernelObject> object) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    HANDLE handle = object.get();
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
