#include "platform/sync.h"
#include "platform/test_doubles.h"

#include "platform/errors.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/kernel/waitable.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace nomvera::platform {
namespace {

struct EventState {
    std::mutex lock;
    std::condition_variable changed;
    bool signalled = false;
    bool manualReset = true;
};

class EventObject : public Waitable {
public:
    explicit EventObject(std::shared_ptr<EventState> state) : state_(std::move(state)) {}

    DWORD WaitFor(DWORD milliseconds) override {
        EventState& s = *state_;
        std::unique_lock guard(s.lock);
        auto ready = [&s] { return s.signalled; };
        if (milliseconds == INFINITE) {
            s.changed.wait(guard, ready);
        } else if (!s.changed.wait_for(guard, std::chrono::milliseconds(milliseconds), ready)) {
            return WAIT_TIMEOUT;
        }
        if (!s.manualReset) {
            s.signalled = false;
        }
        return WAIT_OBJECT_0;
    }

    void Set() {
        EventState& s = *state_;
        std::lock_guard guard(s.lock);
        // A set event stays set: only the first SetEvent has anybody to wake.
        if (!s.signalled) {
            s.signalled = true;
            if (s.manualReset) {
                s.changed.notify_all();
            } else {
                s.changed.notify_one();
            }
        }
    }

    void Reset() {
        std::lock_guard guard(state_->lock);
        state_->signalled = false;
    }

private:
    std::shared_ptr<EventState> state_;
};

// Named events of this process. An entry whose event has gone (every handle
// closed) is replaced by the next creation under that name.
struct EventNames {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<EventState>> events;
};

EventNames& Names() {
    static auto* names = new EventNames; // outlives every static destructor
    return *names;
}

std::atomic<int> failingCreations{0};
std::atomic<DWORD> failingCreationCode{0};

bool ValidAttributes(LPSECURITY_ATTRIBUTES attributes) {
    if (attributes == nullptr) {
        return true;
    }
    if (attributes->nLength < sizeof(SECURITY_ATTRIBUTES)) {
        return false;
    }
    auto* descriptor = static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
    return descriptor == nullptr || descriptor->Revision == SECURITY_DESCRIPTOR_REVISION;
}

HANDLE CreateNamedEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                        const std::string& name) {
    for (int left = failingCreations.load(); left > 0;) {
        if (failingCreations.compare_exchange_weak(left, left - 1)) {
            SetLastError(failingCreationCode.load());
            return nullptr;
        }
    }
    if (!ValidAttributes(attributes)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<EventState> state;
    bool existed = false;
    if (!name.empty()) {
        auto& names = Names();
        std::lock_guard guard(names.lock);
        auto& entry = names.events[name];
        state = entry.lock();
        existed = state != nullptr;
        if (!existed) {
            state = std::make_shared<EventState>();
            state->manualReset = manualReset != FALSE;
            state->signalled = initialState != FALSE;
            entry = state;
        }
    } else {
        state = std::make_shared<EventState>();
        state->manualReset = manualReset != FALSE;
        state->signalled = initialState != FALSE;
    }
    HANDLE handle = RegisterHandle(std::make_unique<EventObject>(std::move(state)));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

EventObject* EventOf(HANDLE handle) {
    return HandleObjectOrFail<EventObject>(handle);
}

std::recursive_mutex* MutexOf(LPCRITICAL_SECTION section) {
    return static_cast<std::recursive_mutex*>(section->Implementation);
}

} // namespace

namespace test_double {
void FailNextEventCreations(int count, DWORD code) {
    failingCreationCode.store(code);
    failingCreations.store(count < 0 ? 0 : count);
}
} // namespace test_double

} // namespace nomvera::platform

using namespace nomvera::platform;

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    if (descriptor == nullptr || revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(descriptor == nullptr ? ERROR_INVALID_PARAMETER : 1305 /* unknown revision */);
        return FALSE;
    }
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    *sd = SECURITY_DESCRIPTOR{};
    sd->Revision = static_cast<BYTE>(revision);
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PVOID dacl,
                               BOOL) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd == nullptr || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    sd->Control = static_cast<SECURITY_DESCRIPTOR_CONTROL>(
        daclPresent ? sd->Control | SE_DACL_PRESENT : sd->Control & ~SE_DACL_PRESENT);
    sd->Dacl = daclPresent ? dacl : nullptr;
    return TRUE;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name) {
    return CreateNamedEvent(attributes, manualReset, initialState,
                            name == nullptr ? std::string() : std::string(name));
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCWSTR name) {
    std::string narrow;
    if (name != nullptr) {
        auto converted = nomvera::posix::Utf16ToUtf8(name);
        if (!converted) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        narrow = std::move(*converted);
    }
    return CreateNamedEvent(attributes, manualReset, initialState, narrow);
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR name) {
    if (name == nullptr || *name == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<EventState> state;
    {
        auto& names = Names();
        std::lock_guard guard(names.lock);
        auto it = names.events.find(name);
        if (it != names.events.end()) {
            state = it->second.lock();
        }
    }
    if (state == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    HANDLE handle = RegisterHandle(std::make_unique<EventObject>(std::move(state)));
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL SetEvent(HANDLE handle) {
    EventObject* event = EventOf(handle);
    if (event == nullptr) {
        return FALSE;
    }
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    EventObject* event = EventOf(handle);
    if (event == nullptr) {
        return FALSE;
    }
    event->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto* waitable = HandleObjectOrFail<Waitable>(handle);
    if (waitable == nullptr) {
        return WAIT_FAILED;
    }
    return waitable->WaitFor(milliseconds);
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    section->Implementation = new std::recursive_mutex;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    MutexOf(section)->lock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return MutexOf(section)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    MutexOf(section)->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    delete MutexOf(section);
    section->Implementation = nullptr;
}
