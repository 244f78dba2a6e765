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

HANDLE OpenShared(const std::u16string& path, DWORD disposition) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    file_ = OpenShared(path_, OPEN_EXISTING);
    if (file_ == INVALID_HANDLE_VALUE) {
        support::MakeFolderTree(support::FolderOfPath(path_));
        file_ = OpenShared(path_, CREATE_ALWAYS);
        if (file_ != INVALID_HANDLE_VALUE) {
            WriteAt(0, HeaderBytes(kHeaderSize));
            CloseHandle(file_);
            file_ = OpenShared(path_, OPEN_EXISTING);
        }
    }
    open_ = file_ != INVALID_HANDLE_VALUE;
    if (!open_) {
        file_ = nullptr;
    }
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
        // The limit was lowered since the file was written: cut it there.
        LARGE_INTEGER limit{};
        limit.QuadPart = static_cast<LONGLONG>(sizeLimit_);
        if (SetFilePointerEx(file_, limit, nullptr, FILE_BEGIN)) {
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
        line += path_;
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
