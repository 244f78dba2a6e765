// The little the log needs from the operating system, behind one interface:
// the private log file with positioned reads and writes, the wake-up event,
// a lower priority for the writer thread and the wall clocks. One source file
// per system (log_os_posix.cpp, log_os_windows.cpp); everything else in log/
// is the C++ standard library.
#pragma once

#include "platform/clock.h"
#include "platform/private_files.h"
#include "platform/wide_text.h"
#include "platform/windows_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace nomvera::log::os {

// The log file, open for reading and writing; other writers are shut out
// while it is open (readers are not). Closed when the object goes.
class TLogFile {
public:
    TLogFile() = default;
    ~TLogFile() { Close(); }
    TLogFile(TLogFile&& other) noexcept
        : file_(std::exchange(other.file_, platform::kNoPrivateFile)) {}
    TLogFile& operator=(TLogFile&& other) noexcept {
        std::swap(file_, other.file_);
        return *this;
    }
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // Opens the existing file, or with createNew makes a new one (never
    // opening an existing one), by the rules of platform::CreatePrivateFile:
    // `why` and `detail` say why a file was refused.
    static TLogFile Open(const WideString& path, bool createNew, platform::TPrivateFileRefusal& why,
                         DWORD& detail) {
        return TLogFile(platform::CreatePrivateFile(
            path.c_str(), FILE_SHARE_READ, createNew ? CREATE_NEW : OPEN_EXISTING, &why, &detail));
    }

    bool IsOpen() const { return file_ != platform::kNoPrivateFile; }
    // The bytes read at offset (fewer at the end of the file), 0 on failure.
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size);
    // True when every byte reached the file at offset.
    bool WriteAt(std::uint64_t offset, std::string_view bytes);
    // The file's size in bytes, -1 when it cannot be told.
    std::int64_t Size();
    // Cuts the file to size bytes.
    bool Truncate(std::uint64_t size);
    void Close();

private:
    explicit TLogFile(platform::TPrivateFile file) : file_(file) {}
    platform::TPrivateFile file_ = platform::kNoPrivateFile;
};

// A manual-reset event found by its name: the log creates it, the writer
// thread opens it by the same name and waits on it. On Windows the system's
// named event, open to every account; elsewhere it is known inside this
// process only.
class TWakeEvent {
public:
    enum class TWait { Signalled, TimedOut, Failed };

    ~TWakeEvent();
    TWakeEvent(const TWakeEvent&) = delete;
    TWakeEvent& operator=(const TWakeEvent&) = delete;

    // Null and the system's error code when the event could not be made or
    // found (ERROR_FILE_NOT_FOUND: no event of that name).
    static std::unique_ptr<TWakeEvent> Create(const std::string& name, DWORD& error);
    static std::unique_ptr<TWakeEvent> Open(const std::string& name, DWORD& error);

    void Set();
    // ERROR_SUCCESS, or why the reset failed.
    DWORD Reset();
    // error receives the system's code when the wait failed.
    TWait Wait(std::uint32_t milliseconds, DWORD& error);
    // Identifies the event in the log's lines; never 0.
    std::uint64_t Number() const;

    struct TState;

private:
    explicit TWakeEvent(std::unique_ptr<TState> state);
    std::unique_ptr<TState> state_;
};

// Lowers the calling thread's priority one step below normal; best effort.
void LowerThisThreadPriority();

// The wall clock broken into parts, local and UTC. A clock the system cannot
// break into local parts gives all fields 0 (month 0 marks it invalid).
SYSTEMTIME LocalTime();
SYSTEMTIME UtcTime();

} // namespace nomvera::log::os
