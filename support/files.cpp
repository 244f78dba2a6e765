#include "support/files.h"

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/strings.h"
#include "platform/version_info.h"
#include "platform/wide_text.h"
#include "support/buffers.h"
#include "support/text.h"

namespace nomvera::support {
namespace {

constexpr std::int32_t kQueryBufferCharacters = 1024;

WideString VersionText(const WideString& path) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) {
        return WIDE(".No FileInfo in file");
    }
    const TOwnedBlock record = NewZeroedBlock(size);
    if (GetFileVersionInfoW(path.c_str(), handle, size, record.Get().data) == FALSE) {
        return WIDE(".Error getting FileInfo");
    }
    LPVOID fixed = nullptr;
    UINT fixedLength = 0;
    if (VerQueryValueW(record.Get().data, WIDE("\\"), &fixed, &fixedLength) == FALSE ||
        fixed == nullptr || fixedLength < sizeof(VS_FIXEDFILEINFO)) {
        return WIDE(".No valid FixedFileInfo information in FileInfoRecord");
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    return WidenText(DecimalText(info->dwFileVersionMS >> 16) + "." +
                     DecimalText(info->dwFileVersionMS & 0xFFFF) + "." +
                     DecimalText(info->dwFileVersionLS >> 16) + "." +
                     DecimalText(info->dwFileVersionLS & 0xFFFF));
}

} // namespace

WideString AddBackslashW(const WideString& path) {
    if (path.empty() || path.back() != kWidePathDelimiter) {
        return path + kWidePathDelimiter;
    }
    return path;
}

WideString StripBackslash(const WideString& path) {
    if (!path.empty() && path.back() == kWidePathDelimiter) {
        return path.substr(0, path.size() - 1);
    }
    return path;
}

bool FolderExistsW(const WideString& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

#if defined(_WIN32)
// A folder part ends at the last "\" or at a drive's ":" ("C:name" gives "C:").
WideString FolderOfPath(const WideString& path) {
    auto last = path.find_last_of(WIDE("\\:"));
    return last == WideString::npos ? WideString() : path.substr(0, last + 1);
}
#else
// On POSIX ":" is an ordinary character of a name, so only "/" ends a folder.
WideString FolderOfPath(const WideString& path) {
    auto last = path.rfind(kWidePathDelimiter);
    return last == WideString::npos ? WideString() : path.substr(0, last + 1);
}
#endif

WideString ExtensionOf(const WideString& fileName) {
    auto dot = fileName.rfind(WIDE('.'));
    return dot == WideString::npos ? WideString() : fileName.substr(dot);
}

bool MakeFolder(const WideString& path) {
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool MakeFolderTree(const WideString& path) {
    if (path.empty()) {
        return true;
    }
    WideString folder = StripBackslash(path);
#if defined(_WIN32)
    // Fewer than three characters: a drive ("C:") or a bare name, never made.
    if (folder.size() < 3 || FolderExistsW(folder)) {
        return true;
    }
#else
    // The root ("/" stripped) is there by definition; a short name such as
    // "/a" is a real folder on POSIX, unlike a drive "C:", and is created.
    if (folder.empty() || FolderExistsW(folder)) {
        return true;
    }
#endif
    WideString parent = FolderOfPath(folder);
    if (parent == folder) {
        // Still ends in a delimiter ("/a//", or "C:\a\\" on Windows): nothing
        // left to create, so the answer is whether it is there.
        return FolderExistsW(folder);
    }
    return MakeFolderTree(parent) && MakeFolder(folder);
}

WideString UpperText(const WideString& text) {
    WideString upper = text;
    if (!upper.empty()) {
        CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    }
    return upper;
}

WideString CleanEntryText(const WideString& text) {
    std::size_t start = 0;
    std::size_t end = text.size();
    while (start < end && text[start] <= 32) {
        ++start;
    }
    while (end > start && text[end - 1] <= 32) {
        --end;
    }
    WideString clean;
    clean.reserve(end - start);
    for (std::size_t i = start; i < end; ++i) {
        if (text[i] >= 32) {
            clean.push_back(text[i]);
        }
    }
    return clean;
}

WideString GetModulePath() {
    const TOwnedBuffer<TWideTextBuffer> buffer(NewWideTextBuffer(kQueryBufferCharacters));
    DWORD n = GetModuleFileNameW(nullptr, buffer->Data(), buffer->Length());
    // A cut-off path (n equal to the capacity) names no file: nothing, too.
    if (n <= 1 || n >= buffer->Length()) {
        return {};
    }
    return buffer->ToString();
}

WideString GetSamUserName() {
    const TOwnedBuffer<TWideTextBuffer> buffer(NewWideTextBuffer(kQueryBufferCharacters));
    ULONG size = buffer->Length();
    GetUserNameExW(NameSamCompatible, buffer->Data(), &size);
    return buffer->ToString();
}

WideString GetFileVersionText(const WideString& path) {
    WideString result = WIDE(".");
    try {
        result = VersionText(path);
    } catch (...) {
        result = WIDE(".Exception while obtaining FileInfo");
    }
    return result;
}

} // namespace nomvera::support
