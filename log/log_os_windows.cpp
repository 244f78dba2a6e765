// The log's system calls on Windows.
#include "log/log_os.h"

#include <utility>

namespace nomvera::log::os {

namespace {

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

} // namespace

std::size_t TLogFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) {
    OVERLAPPED where = At(offset);
    DWORD got = 0;
    if (!IsOpen() || !ReadFile(file_, buffer, static_cast<DWORD>(size), &got, &where)) {
        return 0;
    }
    return got;
}

bool TLogFile::WriteAt(std::uint64_t offset, std::string_view bytes) {
    OVERLAPPED where = At(offset);
    DWORD written = 0;
    return IsOpen() &&
           WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &where) &&
           written == bytes.size();
}

std::int64_t TLogFile::Size() {
    LARGE_INTEGER size{};
    return IsOpen() && GetFileSizeEx(file_, &size) ? size.QuadPart : -1;
}

bool TLogFile::Truncate(std::uint64_t size) {
    LARGE_INTEGER where{};
    where.QuadPart = static_cast<LONGLONG>(size);
    return IsOpen() && SetFilePointerEx(file_, where, nullptr, FILE_BEGIN) && SetEndOfFile(file_);
}

void TLogFile::Close() {
    platform::ClosePrivateFile(std::exchange(file_, platform::kNoPrivateFile));
}

struct TWakeEvent::TState {
    HANDLE handle;
};

TWakeEvent::TWakeEvent(std::unique_ptr<TState> state) : state_(std::move(state)) {}

TWakeEvent::~TWakeEvent() {
    CloseHandle(state_->handle);
}

std::unique_ptr<TWakeEvent> TWakeEvent::Create(const std::string& name, DWORD& error) {
    // No access list at all: every account may use the event.
    SECURITY_DESCRIPTOR descriptor{};
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
    HANDLE handle = CreateEventA(&attributes, TRUE, FALSE, name.c_str());
    error = handle == nullptr ? GetLastError() : ERROR_SUCCESS;
    return handle == nullptr ? nullptr
                             : std::unique_ptr<TWakeEvent>(
                                   new TWakeEvent(std::make_unique<TState>(TState{handle})));
}

std::unique_ptr<TWakeEvent> TWakeEvent::Open(const std::string& name, DWORD& error) {
    SetLastError(ERROR_SUCCESS);
    HANDLE handle = OpenEventA(EVENT_ALL_ACCESS, FALSE, name.c_str());
    error = handle == nullptr ? GetLastError() : ERROR_SUCCESS;
    return handle == nullptr ? nullptr
                             : std::unique_ptr<TWakeEvent>(
                                   new TWakeEvent(std::make_unique<TState>(TState{handle})));
}

void TWakeEvent::Set() {
    SetEvent(state_->handle);
}

DWORD TWakeEvent::Reset() {
    return ResetEvent(state_->handle) ? ERROR_SUCCESS : GetLastError();
}

TWakeEvent::TWait TWakeEvent::Wait(std::uint32_t milliseconds, DWORD& error) {
    SetLastError(ERROR_SUCCESS);
    const DWORD result = WaitForSingleObject(state_->handle, milliseconds);
    error = result == WAIT_FAILED ? GetLastError() : ERROR_SUCCESS;
    return result == WAIT_OBJECT_0 ? TWait::Signalled
           : result == WAIT_FAILED ? TWait::Failed
                                   : TWait::TimedOut;
}

std::uint64_t TWakeEvent::Number() const {
    return reinterpret_cast<std::uintptr_t>(state_->handle);
}

void LowerThisThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

SYSTEMTIME LocalTime() {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    return time;
}

SYSTEMTIME UtcTime() {
    SYSTEMTIME time{};
    GetSystemTime(&time);
    return time;
}

} // namespace nomvera::log::os
