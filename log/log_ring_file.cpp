#include "log/log_ring_file.h"

#include "log/log_text.h"
#include "platform/private_files.h"
#include "platform/process.h"
#include "platform/wide_text.h"
#include "support/files.h"
#include "support/platform_info.h"
#include "support/text.h"

namespace nomvera::log {

using platform::TPrivateFileRefusal;

namespace {

#if defined(_WIN32)
// An access mask as Windows tools show it: "0x" and eight hex digits.
WideString HexMask(DWORD mask) {
    WideString text = WIDE("0x00000000");
    for (std::size_t i = text.size(); i-- > 2; mask >>= 4) {
        text[i] = WIDE("0123456789ABCDEF")[mask & 15];
    }
    return text;
}
#else
WideString OctalMode(DWORD mode) {
    WideString text(4, WIDE('0'));
    for (std::size_t i = text.size(); i-- > 0; mode >>= 3) {
        text[i] = static_cast<WCHAR>(WIDE('0') + (mode & 7));
    }
    return text;
}
#endif

WideString Decimal(std::int64_t value) {
    return support::WidenText(support::DecimalText(value));
}

} // namespace

TLogRingFile::TLogRingFile(const WideString& path, std::uint64_t sizeLimit)
    : path_(path), sizeLimit_(sizeLimit) {
    Open();
    if (open_) {
        ReadHeader();
    }
}

TLogRingFile::~TLogRingFile() = default;

void TLogRingFile::Open() {
    // The file holds every password the tool makes: it is opened only when
    // it is the user's own regular file that no other account can read, and
    // never through a link another account may have put at its name.
    TPrivateFileRefusal why = TPrivateFileRefusal::None;
    DWORD detail = 0;
    file_ = os::TLogFile::Open(path_, false, why, detail);
    if (!file_.IsOpen() && why == TPrivateFileRefusal::None) {
        platform::CreatePrivateFolderTree(support::FolderOfPath(path_).c_str());
        file_ = os::TLogFile::Open(path_, true, why, detail);
        if (file_.IsOpen()) {
            WriteAt(0, HeaderBytes(kHeaderSize));
        }
    }
    open_ = file_.IsOpen();
    if (!open_) {
        refusal_ = RefusalLine(why, detail);
    }
}

WideString TLogRingFile::RefusalLine(TPrivateFileRefusal why, DWORD detail) const {
    WideString reason;
    switch (why) {
    case TPrivateFileRefusal::None:
        return {};
    case TPrivateFileRefusal::Link:
#if defined(_WIN32)
        reason = WIDE("it is a reparse point (a link or a junction)");
#else
        reason = WIDE("it is a symbolic link");
#endif
        break;
    case TPrivateFileRefusal::NotRegularFile:
        reason = WIDE("it is not a regular file");
        break;
    case TPrivateFileRefusal::OtherOwner:
#if defined(_WIN32)
        // The detail is the last part (the RID) of the owner's SID.
        reason = WIDE("it belongs to another account (RID ") + Decimal(detail) + WIDE(")");
#else
        reason = WIDE("it belongs to another account (uid ") + Decimal(detail) + WIDE(")");
#endif
        break;
    case TPrivateFileRefusal::OtherNames:
        reason = WIDE("it has other names (hard links)");
        break;
    case TPrivateFileRefusal::OpenToOthers:
#if defined(_WIN32)
        // The detail is the access another account is granted.
        reason =
            WIDE("other accounts have access to it (access mask ") + HexMask(detail) + WIDE(")");
#else
        reason = WIDE("other accounts have access to it (mode ") + OctalMode(detail) + WIDE(")");
#endif
        break;
    case TPrivateFileRefusal::FolderNotPrivate:
        reason = WIDE("its folder ") + support::ShownText(support::FolderOfPath(path_)) +
                 WIDE(" is not private to this user");
        break;
    }
    return WIDE("Log file not written [") + support::ShownText(path_) + WIDE("]: ") + reason;
}

void TLogRingFile::ReadHeader() {
    position_ = kHeaderSize;
    char bytes[kHeaderSize] = {};
    const std::size_t got = file_.ReadAt(0, bytes, sizeof bytes);
    const std::int64_t stored = HeaderPosition(std::string_view(bytes, got));
    const std::int64_t size = file_.Size();
    if (static_cast<std::uint64_t>(stored) > sizeLimit_) {
        // The limit was lowered since the file was written: cut it there. A
        // file that is not longer than the limit keeps its size; cutting it
        // "there" would grow it.
        if (size > static_cast<std::int64_t>(sizeLimit_)) {
            file_.Truncate(sizeLimit_);
        }
    } else if (size >= 0 && stored <= size) {
        // A position behind the end of the file would leave a gap of zero
        // bytes before the next line; such a header counts as damaged.
        position_ = static_cast<std::uint64_t>(stored);
    }
}

bool TLogRingFile::WriteAt(std::uint64_t offset, const std::string& bytes) {
    return file_.WriteAt(offset, bytes);
}

void TLogRingFile::WriteStartLine(WideStringView modeMark) {
    if (!open_) {
        return;
    }
    const auto& platform = support::Platform();
    auto startLine = [&](std::uint64_t at) {
        WideString line = LocalTimeStamp();
        line += WIDE(" Log Started[");
        line += support::ShownText(path_);
        line += WIDE("][YYYYMMDD HH:MM:SS.mSec][UTC:");
        line += UtcTimeStamp();
        line += WIDE("][PID:");
        line += Decimal(GetCurrentProcessId());
        line += WIDE(":");
        line += Decimal(platform.MainThreadId);
        line += WIDE("][Session:");
        line += Decimal(platform.SessionId);
        line += WIDE("][");
        line += modeMark;
        line += WIDE("] ");
        line += Decimal(static_cast<std::int64_t>(at));
        return line;
    };
    WideString line = startLine(position_);
    if (position_ + EncodeLine(line).size() >= sizeLimit_) {
        // The line goes behind the header and says so. It goes there even
        // when its shorter number would let it fit in front of the limit.
        position_ = kHeaderSize;
        WriteHeader();
        line = startLine(kHeaderSize);
    }
    WriteLine(line);
}

void TLogRingFile::WriteLine(WideStringView text) {
    if (!open_) {
        return;
    }
    const std::string bytes = EncodeLine(text);
    if (position_ + bytes.size() >= sizeLimit_) {
        // The line goes over the oldest text. The header first forgets the
        // old lap, so that whenever the process ends, everything between the
        // header and the position it records is whole lines.
        position_ = kHeaderSize;
        WriteHeader();
    }
    // A line that did not reach the file completely is treated as not
    // written: the next line goes over it, so the header always points
    // behind a complete line and never behind the end of the file.
    if (WriteAt(position_, bytes)) {
        position_ += bytes.size();
    }
}

void TLogRingFile::WriteHeader() {
    if (open_) {
        WriteAt(0, HeaderBytes(position_));
    }
}

void TLogRingFile::Close() {
    if (!open_) {
        return;
    }
    WriteLine(LocalTimeStamp() + WIDE(" Log stopped"));
    WriteHeader();
    file_.Close();
    open_ = false;
}

} // namespace nomvera::log
