// Shared pieces of the log tests: a log file in a fresh temporary folder.
#pragma once

#include "log/diagnostic_log.h"
#include "tests/common/temp_folder.h"
#include "tests/log/log_file_reader.h"

#include <string>

namespace nomvera::test {

inline constexpr std::uint8_t kDirect = 1;
inline constexpr std::uint8_t kQueued = 2;

// A log file left by an earlier run: the user's own, owner-only, as the log
// makes it (the log refuses one that other accounts may read).
inline void WriteLogFile(const std::string& path, const std::string& bytes) {
    WriteOwnerOnlyFile(path, bytes);
}

class LogFolderFixture {
public:
    explicit LogFolderFixture(const std::string& tag = "nomvera-log") : folder_(tag) {}

    const TempFolder& Folder() const { return folder_; }
    // A file name given to the log, and the name it writes after the ".utf8" rule.
    std::string Given(const std::string& name = "kelRostery.log") const { return folder_ / name; }
    std::string OnDisk(const std::string& name = "kelRostery.utf8.log") const {
        return folder_ / name;
    }

    static std::unique_ptr<log::TDiagnosticLog> Open(const std::string& path, std::uint8_t mode,
                                                     std::int64_t maxSizeKiB = 200) {
        return log::TDiagnosticLog::Create(Utf16(path), maxSizeKiB, mode);
    }

private:
    TempFolder folder_;
};

} // namespace nomvera::test
