// The log file itself: a ring of UTF-8 lines behind a 16-byte position header
// that records where the newest line ends. Used on the caller's thread in
// direct mode and on the writer thread in queued mode; not thread-safe.
#pragma once

#include "log/log_os.h"
#include "platform/private_files.h"
#include "platform/wide_text.h"
#include "platform/windows_types.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace nomvera::log {

class TLogRingFile {
public:
    // Opens the file at `path` (taken as it is) for reading and writing with
    // other writers shut out; when it is missing, creates the folder chain
    // (mode 0700) and a new file (mode 0600) holding only the header. An
    // existing file that is a link, not a regular file, has other names, is
    // another account's or open to other accounts is never opened; nor one
    // in a private temporary folder that is not private. Reads the header.
    TLogRingFile(const WideString& path, std::uint64_t sizeLimit);
    ~TLogRingFile(); // closes the file without a stop line if still open
    TLogRingFile(const TLogRingFile&) = delete;
    TLogRingFile& operator=(const TLogRingFile&) = delete;

    bool IsOpen() const { return open_; }
    std::uint64_t Position() const { return position_; }
    std::uint64_t SizeLimit() const { return sizeLimit_; }
    const WideString& Path() const { return path_; }
    // Why the file was refused, as one log line; empty when it opened or
    // failed for any other reason.
    const WideString& Refusal() const { return refusal_; }

    // The start line of a run, written at the current position (behind the
    // header when it does not fit, like any line); modeMark is WIDE("1") (direct)
    // or WIDE("M") (queued). The header is rewritten only for such a wrap.
    void WriteStartLine(WideStringView modeMark);
    // Appends one line (CR LF added), or starts again behind the header when
    // it would reach the limit. Failures are not reported; the position only
    // moves on over a line that was written completely.
    void WriteLine(WideStringView text);
    void WriteHeader();
    // Writes the stop line and the header and closes the file.
    void Close();

private:
    void Open();
    void ReadHeader();
    bool WriteAt(std::uint64_t offset, const std::string& bytes);
    WideString RefusalLine(platform::TPrivateFileRefusal why, DWORD detail) const;

    WideString path_;
    os::TLogFile file_;
    std::uint64_t sizeLimit_;
    std::uint64_t position_ = 16;
    bool open_ = false;
    WideString refusal_;
};

} // namespace nomvera::log
