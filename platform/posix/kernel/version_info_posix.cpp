#include "platform/version_info.h"

#include "platform/errors.h"
#include "platform/posix/kernel/errno_map.h"
#include "platform/posix/kernel/utf.h"

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The ELF section of a program file that holds its VS_FIXEDFILEINFO record.
constexpr char kFileVersionSectionName[] = ".nomvera.fileversion";

// A version record is small; anything larger is not ours.
constexpr std::uint64_t kMaxSectionSize = 64 * 1024;
constexpr std::uint64_t kMaxSectionCount = 65536;

class File {
public:
    explicit File(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const {
        struct stat st {};
        return fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size)
                                                           : 0;
    }
    // Reads exactly length bytes at offset, within the file's size.
    bool Read(std::uint64_t offset, void* data, std::uint64_t length) const {
        if (offset > size_ || length > size_ - offset) {
            return false;
        }
        auto* out = static_cast<char*>(data);
        while (length > 0) {
            ssize_t n = pread(fd_, out, length, static_cast<off_t>(offset));
            if (n <= 0) {
                return false;
            }
            out += n;
            offset += static_cast<std::uint64_t>(n);
            length -= static_cast<std::uint64_t>(n);
        }
        return true;
    }
    void CacheSize() { size_ = Size(); }

private:
    int fd_;
    std::uint64_t size_ = 0;
};

struct Section {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

// Reads fields of either byte order and word size.
class ElfReader {
public:
    explicit ElfReader(const File& file) : file_(file) {}

    bool ReadHeader() {
        unsigned char ident[EI_NIDENT];
        if (!file_.Read(0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
            return false;
        }
        if (ident[EI_CLASS] != ELFCLASS32 && ident[EI_CLASS] != ELFCLASS64) {
            return false;
        }
        if (ident[EI_DATA] != ELFDATA2LSB && ident[EI_DATA] != ELFDATA2MSB) {
            return false;
        }
        wide_ = ident[EI_CLASS] == ELFCLASS64;
        little_ = ident[EI_DATA] == ELFDATA2LSB;
        if (wide_) {
            shoff_ = Get(offsetof(Elf64_Ehdr, e_shoff), 8);
            shentsize_ = Get(offsetof(Elf64_Ehdr, e_shentsize), 2);
            shnum_ = Get(offsetof(Elf64_Ehdr, e_shnum), 2);
            shstrndx_ = Get(offsetof(Elf64_Ehdr, e_shstrndx), 2);
        } else {
            shoff_ = Get(offsetof(Elf32_Ehdr, e_shoff), 4);
            shentsize_ = Get(offsetof(Elf32_Ehdr, e_shentsize), 2);
            shnum_ = Get(offsetof(Elf32_Ehdr, e_shnum), 2);
            shstrndx_ = Get(offsetof(Elf32_Ehdr, e_shstrndx), 2);
        }
        if (!ok_ || shoff_ == 0 || shentsize_ < (wide_ ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr))) {
            return false;
        }
        // Many sections: the real count and string-table index live in section 0.
        if (shnum_ == 0 || shstrndx_ == SHN_XINDEX) {
            auto first = SectionAt(0);
            if (!first) {
                return false;
            }
            if (shnum_ == 0) {
                shnum_ = first->size;
            }
            if (shstrndx_ == SHN_XINDEX) {
                shstrndx_ = first->link;
            }
        }
        return ok_ && shnum_ <= kMaxSectionCount && shstrndx_ < shnum_;
    }

    std::optional<Section> SectionAt(std::uint64_t index) {
        std::uint64_t base = shoff_ + index * shentsize_;
        Section s;
        if (wide_) {
            s.name = static_cast<std::uint32_t>(Get(base + offsetof(Elf64_Shdr, sh_name), 4));
            s.type = static_cast<std::uint32_t>(Get(base + offsetof(Elf64_Shdr, sh_type), 4));
            s.offset = Get(base + offsetof(Elf64_Shdr, sh_offset), 8);
            s.size = Get(base + offsetof(Elf64_Shdr, sh_size), 8);
            s.link = static_cast<std::uint32_t>(Get(base + offsetof(Elf64_Shdr, sh_link), 4));
        } else {
            s.name = static_cast<std::uint32_t>(Get(base + offsetof(Elf32_Shdr, sh_name), 4));
            s.type = static_cast<std::uint32_t>(Get(base + offsetof(Elf32_Shdr, sh_type), 4));
            s.offset = Get(base + offsetof(Elf32_Shdr, sh_offset), 4);
            s.size = Get(base + offsetof(Elf32_Shdr, sh_size), 4);
            s.link = static_cast<std::uint32_t>(Get(base + offsetof(Elf32_Shdr, sh_link), 4));
        }
        if (!ok_) {
            return std::nullopt;
        }
        return s;
    }

    // The section of that name with file content, if there is one.
    std::optional<Section> FindSection(const char* wanted) {
        auto names = SectionAt(shstrndx_);
        if (!names || names->type == SHT_NOBITS) {
            return std::nullopt;
        }
        std::size_t wantedLength = std::strlen(wanted);
        std::vector<char> name(wantedLength + 1);
        for (std::uint64_t i = 1; i < shnum_; ++i) {
            auto s = SectionAt(i);
            if (!s) {
                return std::nullopt;
            }
            if (s->name >= names->size || names->size - s->name < wantedLength + 1) {
                continue;
            }
            if (!file_.Read(names->offset + s->name, name.data(), name.size())) {
                continue;
            }
            if (std::memcmp(name.data(), wanted, wantedLength + 1) == 0) {
                if (s->type == SHT_NOBITS) {
                    return std::nullopt;
                }
                return s;
            }
        }
        return std::nullopt;
    }

private:
    std::uint64_t Get(std::uint64_t offset, int bytes) {
        unsigned char raw[8] = {};
        if (!file_.Read(offset, raw, static_cast<std::uint64_t>(bytes))) {
            ok_ = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            int at = little_ ? bytes - 1 - i : i;
            value = (value << 8) | raw[at];
        }
        return value;
    }

    const File& file_;
    bool wide_ = false;
    bool little_ = true;
    bool ok_ = true;
    std::uint64_t shoff_ = 0;
    std::uint64_t shentsize_ = 0;
    std::uint64_t shnum_ = 0;
    std::uint64_t shstrndx_ = 0;
};

// The version section's content, or nothing with the last error set.
std::optional<std::vector<BYTE>> ReadVersionSection(LPCWSTR fileName) {
    auto path = nomvera::posix::Utf16ToUtf8(fileName == nullptr ? u"" : fileName);
    if (fileName == nullptr || !path || path->empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return std::nullopt;
    }
    File file(*path);
    if (!file.IsOpen()) {
        SetLastError(nomvera::posix::PathErrorCode(*path, errno));
        return std::nullopt;
    }
    file.CacheSize();
    ElfReader elf(file);
    std::optional<Section> section;
    if (elf.ReadHeader()) {
        section = elf.FindSection(kFileVersionSectionName);
    }
    if (!section || section->size < sizeof(VS_FIXEDFILEINFO) || section->size > kMaxSectionSize) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return std::nullopt;
    }
    std::vector<BYTE> content(section->size);
    if (!file.Read(section->offset, content.data(), content.size())) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return std::nullopt;
    }
    return content;
}

} // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle) {
    if (handle != nullptr) {
        *handle = 0;
    }
    auto content = ReadVersionSection(fileName);
    return content ? static_cast<DWORD>(content->size()) : 0;
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD /*handle*/, DWORD length, LPVOID data) {
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto content = ReadVersionSection(fileName);
    if (!content) {
        return FALSE;
    }
    if (content->size() > length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(data, content->data(), content->size());
    return TRUE;
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length) {
    if (block == nullptr || subBlock == nullptr || buffer == nullptr || length == nullptr) {
        return FALSE;
    }
    if (std::u16string_view(subBlock) != u"\\") {
        *length = 0;
        return FALSE;
    }
    DWORD signature = 0;
    std::memcpy(&signature, block, sizeof signature);
    if (signature != VS_FFI_SIGNATURE) {
        *length = 0;
        return FALSE;
    }
    *buffer = const_cast<LPVOID>(block);
    *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
