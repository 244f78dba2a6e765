// The log's system calls on POSIX.
#include "log/log_os.h"

#include "platform/errors.h"
#include "platform/system_call.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace nomvera::log::os {

using platform::sys::Call;
using platform::sys::TCall;

std::size_t TLogFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (IsOpen() && done < size) {
        const ssize_t n = Call(TCall::Read, [&] {
            return pread(file_, buffer + done, size - done, static_cast<off_t>(offset + done));
        });
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool TLogFile::WriteAt(std::uint64_t offset, std::string_view bytes) {
    std::size_t done = 0;
    while (IsOpen() && done < bytes.size()) {
        const ssize_t n = Call(TCall::Write, [&] {
            return pwrite(file_, bytes.data() + done, bytes.size() - done,
                          static_cast<off_t>(offset + done));
        });
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return IsOpen();
}

std::int64_t TLogFile::Size() {
    struct stat info {};
    if (!IsOpen() || Call(TCall::Status, [&] { return fstat(file_, &info); }) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(info.st_size);
}

bool TLogFile::Truncate(std::uint64_t size) {
    return IsOpen() &&
           Call(TCall::Truncate, [&] { return ftruncate(file_, static_cast<off_t>(size)); }) == 0;
}

void TLogFile::Close() {
    platform::ClosePrivateFile(std::exchange(file_, platform::kNoPrivateFile));
}

// The events of this process by name. An event lives while a handle or the
// table holds it; the name stays taken while any handle is open, as on
// Windows, where a named event goes with its last handle.
struct TWakeEvent::TState {
    struct TShared {
        std::mutex mutex;
        std::condition_variable changed;
        bool signalled = false;
        std::uint64_t number = 0;
    };
    std::shared_ptr<TShared> shared;
    std::string name;
};

namespace {

std::mutex namesMutex;
std::map<std::string, std::weak_ptr<TWakeEvent::TState::TShared>> names;
std::uint64_t lastNumber = 0;

} // namespace

TWakeEvent::TWakeEvent(std::unique_ptr<TState> state) : state_(std::move(state)) {}

TWakeEvent::~TWakeEvent() {
    std::lock_guard hold(namesMutex);
    const auto found = names.find(state_->name);
    state_->shared.reset();
    if (found != names.end() && found->second.expired()) {
        names.erase(found);
    }
}

std::unique_ptr<TWakeEvent> TWakeEvent::Create(const std::string& name, DWORD& error) {
    if (Call(TCall::WakeEvent, [] { return 0; }) != 0) {
        error = errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE;
        return nullptr;
    }
    std::lock_guard hold(namesMutex);
    auto& entry = names[name];
    auto shared = entry.lock();
    if (shared == nullptr) {
        shared = std::make_shared<TState::TShared>();
        // Numbered as Windows numbers handles: 4, 8, 12, ...
        lastNumber += 4;
        shared->number = lastNumber;
        entry = shared;
    }
    error = ERROR_SUCCESS;
    return std::unique_ptr<TWakeEvent>(
        new TWakeEvent(std::make_unique<TState>(TState{shared, name})));
}

std::unique_ptr<TWakeEvent> TWakeEvent::Open(const std::string& name, DWORD& error) {
    std::lock_guard hold(namesMutex);
    const auto found = names.find(name);
    auto shared = found == names.end() ? nullptr : found->second.lock();
    if (shared == nullptr) {
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    error = ERROR_SUCCESS;
    return std::unique_ptr<TWakeEvent>(
        new TWakeEvent(std::make_unique<TState>(TState{shared, name})));
}

void TWakeEvent::Set() {
    auto& shared = *state_->shared;
    {
        std::lock_guard hold(shared.mutex);
        shared.signalled = true;
    }
    shared.changed.notify_all();
}

DWORD TWakeEvent::Reset() {
    auto& shared = *state_->shared;
    std::lock_guard hold(shared.mutex);
    shared.signalled = false;
    return ERROR_SUCCESS;
}

TWakeEvent::TWait TWakeEvent::Wait(std::uint32_t milliseconds, DWORD& error) {
    auto& shared = *state_->shared;
    std::unique_lock hold(shared.mutex);
    error = ERROR_SUCCESS;
    return shared.changed.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                   [&] { return shared.signalled; })
               ? TWait::Signalled
               : TWait::TimedOut;
}

std::uint64_t TWakeEvent::Number() const {
    return state_->shared->number;
}

void LowerThisThreadPriority() {
    // A thread's nice value is its own on Linux: five steps nicer than it
    // was, as far as the system allows.
    const auto thread = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, thread);
    if (errno == 0) {
        setpriority(PRIO_PROCESS, thread, nice + 5 > 19 ? 19 : nice + 5);
    }
}

namespace {

SYSTEMTIME Parts(const std::tm& parts, long nanoseconds) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(parts.tm_year + 1900);
    time.wMonth = static_cast<WORD>(parts.tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    time.wDay = static_cast<WORD>(parts.tm_mday);
    time.wHour = static_cast<WORD>(parts.tm_hour);
    time.wMinute = static_cast<WORD>(parts.tm_min);
    time.wSecond = static_cast<WORD>(parts.tm_sec);
    time.wMilliseconds = static_cast<WORD>(nanoseconds / 1000000L);
    return time;
}

} // namespace

SYSTEMTIME LocalTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // Breaking the time into local parts is the costly step; a log writes
    // many lines within one second, so each thread keeps its last second.
    thread_local time_t cachedSecond = -1;
    thread_local std::tm cachedParts{};
    if (now.tv_sec != cachedSecond) {
        std::tm parts{};
        if (localtime_r(&now.tv_sec, &parts) == nullptr) {
            return SYSTEMTIME{};
        }
        cachedParts = parts;
        cachedSecond = now.tv_sec;
    }
    return Parts(cachedParts, now.tv_nsec);
}

SYSTEMTIME UtcTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts{};
    if (gmtime_r(&now.tv_sec, &parts) == nullptr) {
        return SYSTEMTIME{};
    }
    return Parts(parts, now.tv_nsec);
}

} // namespace nomvera::log::os
