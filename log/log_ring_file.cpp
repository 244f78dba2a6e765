#include "log/log_ring_file.h"

#include "log/log_text.h"
#include "platform/file_io.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "support/files.h"
#include "support/platform_info.h"
#include "support/text.h"

namespace nomvera::log {
namespace {

HANDLE OpenPrivate(const std::u16string& path, DWORD disposition, TPrivateFileRefusal& refusal,
                   DWORD& detail) {
    return CreatePrivateFileW(path.c_str(), FILE_SHARE_READ, disposition, &refusal, &detail);
}

std::u16string OctalMode(DWORD mode) {
    std::u16string text(4, u'0');
    for (std::size_t i = text.size(); i-- > 0; mode >>= 3) {
        text[i] = static_cast<char16_t>(u'0' + (mode & 7));
    }
    return text;
}

std::u16string Decimal(std::int64_t value) {
    return support::WidenText(support::DecimalText(value));
}

} // namespace

TLogRingFile::TLogRingFile(const std::u16string& path, std::uint64_t sizeLimit)
    : path_(path), sizeLimit_(sizeLimit) {
    Open();
    if (open_) {
        ReadHeader();
    }
}

TLogRingFile::~TLogRingFile() {
    if (open_) {
        CloseHandle(file_);
    }
}

void TLogRingFile::Open() {
    // The file holds every password the tool makes: it is opened only when
    // it is the user's own regular file that no other account can read, and
    // never through a link another account may have put at its name.
    TPrivateFileRefusal why = TPrivateFileRefusal::None;
    DWORD detail = 0;
    file_ = OpenPrivate(path_, OPEN_EXISTING, why, detail);
    if (file_ == INVALID_HANDLE_VALUE && why == TPrivateFileRefusal::None) {
        CreatePrivateFolderTreeW(support::FolderOfPath(path_).c_str());
        file_ = OpenPrivate(path_, CREATE_NEW, why, detail);
        if (file_ != INVALID_HANDLE_VALUE) {
            WriteAt(0, HeaderBytes(kHeaderSize));
        }
    }
    open_ = file_ != INVALID_HANDLE_VALUE;
    if (!open_) {
        file_ = nullptr;
        refusal_ = RefusalLine(why, detail);
    }
}

std::u16string TLogRingFile::RefusalLine(TPrivateFileRefusal why, DWORD detail) const {
    std::u16string reason;
    switch (why) {
    case TPrivateFileRefusal::None:
        return {};
    case TPrivateFileRefusal::Link:
        reason = u"it is a symbolic link";
        break;
    case TPrivateFileRefusal::NotRegularFile:
        reason = u"it is not a regular file";
        break;
    case TPrivateFileRefusal::OtherOwner:
        reason = u"it belongs to another account (uid " + Decimal(detail) + u")";
        break;
    case TPrivateFileRefusal::OtherNames:
        reason = u"it has other names (hard links)";
        break;
    case TPrivateFileRefusal::OpenToOthers:
        reason = u"other accounts have access to it (mode " + OctalMode(detail) + u")";
        break;
    case TPrivateFileRefusal::FolderNotPrivate:
        reason = u"its folder " + support::ShownText(support::FolderOfPath(path_)) +
                 u" is not private to this user";
        break;
    }
    return u"Log file not written [" + support::ShownText(path_) + u"]: " + reason;
}

void TLogRingFile::ReadHeader() {
    position_ = kHeaderSize;
    LARGE_INTEGER start{};
    char bytes[kHeaderSize] = {};
    DWORD got = 0;
    if (!SetFilePointerEx(file_, start, nullptr, FILE_BEGIN) ||
        !ReadFile(file_, bytes, sizeof bytes, &got, nullptr)) {
        return;
    }
    const std::int64_t stored = HeaderPosition(std::string_view(bytes, got));
    LARGE_INTEGER size{};
    if (static_cast<std::uint64_t>(stored) > sizeLimit_) {
        // The limit was lowered since the file was written: cut it there. A
        // file that is not longer than the limit keeps its size; cutting it
        // "there" would grow it.
        LARGE_INTEGER limit{};
        limit.QuadPart = static_cast<LONGLONG>(sizeLimit_);
        if (GetFileSizeEx(file_, &size) && size.QuadPart > limit.QuadPart &&
            SetFilePointerEx(file_, limit, nullptr, FILE_BEGIN)) {
            SetEndOfFile(file_);
        }
    } else if (GetFileSizeEx(file_, &size) && stored <= size.QuadPart) {
        // A position behind the end of the file would leave a gap of zero
        // bytes before the next line; such a header counts as damaged.
        position_ = static_cast<std::uint64_t>(stored);
    }
}

bool TLogRingFile::WriteAt(std::uint64_t offset, const std::string& bytes) {
    LARGE_INTEGER where{};
    where.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    return SetFilePointerEx(file_, where, nullptr, FILE_BEGIN) &&
           WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

void TLogRingFile::WriteStartLine(std::u16string_view modeMark) {
    if (!open_) {
        return;
    }
    const auto& platform = support::Platform();
    auto startLine = [&](std::uint64_t at) {
        std::u16string line = LocalTimeStamp();
        line += u" Log Started[";
        line += support::ShownText(path_);
        line += u"][YYYYMMDD HH:MM:SS.mSec][UTC:";
        line += UtcTimeStamp();
        line += u"][PID:";
        line += Decimal(GetCurrentProcessId());
        line += u":";
        line += Decimal(platform.MainThreadId);
        line += u"][Session:";
        line += Decimal(platform.SessionId);
        line += u"][";
        line += modeMark;
        line += u"] ";
        line += Decimal(static_cast<std::int64_t>(at));
        return line;
    };
    std::u16string line = startLine(position_);
    if (position_ + EncodeLine(line).size() >= sizeLimit_) {
        // The line goes behind the header and says so. It goes there even
        // when its shorter number would let it fit in front of the limit.
        position_ = kHeaderSize;
        WriteHeader();
        line = startLine(kHeaderSize);
    }
    WriteLine(line);
}

void TLogRingFile::WriteLine(std::u16string_view text) {
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
    WriteLine(LocalTimeStamp() + u" Log stopped");
    WriteHeader();
    CloseHandle(file_);
    file_ = nullptr;
    open_ = false;
}

} // namespace nomvera::log
