#include "platform/threads.h"

#include "platform/errors.h"
#include "platform/posix/kernel/waitable.h"
#include "platform/process.h"
#include "platform/sync.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <thread>

namespace nomvera::platform {
namespace {

struct ThreadState {
    std::mutex lock;
    std::condition_variable changed;
    DWORD id = 0;
    bool started = false; // id is known
    bool suspended = false;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
};

class ThreadObject : public Waitable {
public:
    explicit ThreadObject(std::shared_ptr<ThreadState> state) : state_(std::move(state)) {}

    DWORD WaitFor(DWORD milliseconds) override {
        std::unique_lock guard(state_->lock);
        auto ended = [this] { return state_->finished; };
        if (milliseconds == INFINITE) {
            state_->changed.wait(guard, ended);
        } else if (!state_->changed.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                             ended)) {
            return WAIT_TIMEOUT;
        }
        return WAIT_OBJECT_0;
    }

    ThreadState& State() { return *state_; }

private:
    std::shared_ptr<ThreadState> state_;
};

ThreadObject* ThreadOf(HANDLE handle) {
    return HandleObjectOrFail<ThreadObject>(handle);
}

int NiceOffsetOf(int priority) {
    if (priority <= THREAD_PRIORITY_IDLE) {
        return 19;
    }
    if (priority >= THREAD_PRIORITY_TIME_CRITICAL) {
        return -20;
    }
    return -5 * priority; // -2 .. 2 -> 10 .. -10
}

} // namespace
} // namespace nomvera::platform

using nomvera::platform::ThreadObject;
using nomvera::platform::ThreadOf;
using nomvera::platform::ThreadState;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE startAddress,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId) {
    if (startAddress == nullptr || (creationFlags & ~CREATE_SUSPENDED) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto state = std::make_shared<ThreadState>();
    state->suspended = (creationFlags & CREATE_SUSPENDED) != 0;
    try {
        std::thread([state, startAddress, parameter] {
            {
                std::unique_lock guard(state->lock);
                state->id = GetCurrentThreadId();
                state->started = true;
                state->changed.notify_all();
                state->changed.wait(guard, [&state] { return !state->suspended; });
            }
            DWORD result = startAddress(parameter);
            std::lock_guard guard(state->lock);
            state->exitCode = result;
            state->finished = true;
            state->changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD id;
    {
        std::unique_lock guard(state->lock);
        state->changed.wait(guard, [&state] { return state->started; });
        id = state->id;
    }
    if (threadId != nullptr) {
        *threadId = id;
    }
    SetLastError(ERROR_SUCCESS);
    return nomvera::platform::RegisterHandle(std::make_unique<ThreadObject>(std::move(state)));
}

DWORD ResumeThread(HANDLE handle) {
    ThreadObject* thread = ThreadOf(handle);
    if (thread == nullptr) {
        return static_cast<DWORD>(-1);
    }
    ThreadState& state = thread->State();
    std::lock_guard guard(state.lock);
    const DWORD previous = state.suspended ? 1 : 0;
    state.suspended = false;
    state.changed.notify_all();
    return previous;
}

BOOL SetThreadPriority(HANDLE handle, int priority) {
    ThreadObject* thread = ThreadOf(handle);
    if (thread == nullptr) {
        return FALSE;
    }
    DWORD id;
    {
        std::lock_guard guard(thread->State().lock);
        if (thread->State().finished) {
            return TRUE; // nothing left to schedule
        }
        id = thread->State().id;
    }
    errno = 0;
    int base = getpriority(PRIO_PROCESS, 0);
    if (base == -1 && errno != 0) {
        base = 0;
    }
    int nice = base + nomvera::platform::NiceOffsetOf(priority);
    nice = nice < -20 ? -20 : (nice > 19 ? 19 : nice);
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice) != 0) {
        SetLastError(errno == ESRCH ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

int GetThreadPriority(HANDLE handle) {
    ThreadObject* thread = ThreadOf(handle);
    if (thread == nullptr) {
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    DWORD id;
    {
        std::lock_guard guard(thread->State().lock);
        id = thread->State().id;
    }
    errno = 0;
    int base = getpriority(PRIO_PROCESS, 0);
    int own = getpriority(PRIO_PROCESS, static_cast<id_t>(id));
    if (own == -1 && errno != 0) {
        return THREAD_PRIORITY_NORMAL; // the thread has ended
    }
    int offset = own - base;
    if (offset >= 15) {
        return THREAD_PRIORITY_IDLE;
    }
    if (offset <= -15) {
        return THREAD_PRIORITY_TIME_CRITICAL;
    }
    int steps = (offset >= 0 ? offset + 2 : offset - 2) / 5; // nearest step
    return -(steps < -2 ? -2 : (steps > 2 ? 2 : steps));
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
    ThreadObject* thread = ThreadOf(handle);
    if (thread == nullptr) {
        return FALSE;
    }
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard guard(thread->State().lock);
    *exitCode = thread->State().exitCode;
    return TRUE;
}
