#include "cli/password_file.h"

#include "platform/memory_wipe.h"
#include "support/text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::cli {
namespace {

constexpr std::size_t kEntryMaximum = 17;
constexpr std::size_t kLineMaximum = 4096;

class TDescriptor {
public:
    explicit TDescriptor(int fd) : fd_(fd) {}
    ~TDescriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Reads up to the first line end (or kLineMaximum bytes) without reading past it,
// so that standard input keeps what follows.
bool ReadFirstLine(int fd, std::string& line, std::string& error) {
    char c = 0;
    while (line.size() < kLineMaximum) {
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (n == 0 || c == '\n') {
            break;
        }
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

bool HasControlCharacter(const WideString& text) {
    for (const WCHAR c : text) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
            return true;
        }
    }
    return false;
}

} // namespace

bool ReadPasswordFile(const std::string& path, WideString& password, std::string& error) {
    std::string line;
    bool read = false;
    if (path == "-") {
        read = ReadFirstLine(STDIN_FILENO, line, error);
    } else {
        const TDescriptor file(
            open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
        struct stat st {};
        if (file.Get() < 0) {
            error = errno == ELOOP ? "a symbolic link is refused" : std::strerror(errno);
            return false;
        }
        if (fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            error = "not a regular file";
            return false;
        }
        if (st.st_uid != 0 && st.st_uid != geteuid()) {
            error = "the file belongs to another account";
            return false;
        }
        if ((st.st_mode & 077) != 0) {
            error = "other accounts may read or change the file (mode 0600 or stricter is needed)";
            return false;
        }
        read = ReadFirstLine(file.Get(), line, error);
    }
    if (!read) {
        platform::WipeMemory(line.data(), line.size());
        return false;
    }
    // The same checks as for every text value of the command line.
    const WideString wide = support::WidenText(line);
    const bool valid = support::NarrowText(wide) == line;
    platform::WipeMemory(line.data(), line.size());
    if (!valid) {
        error = "the password prefix is not valid UTF-8";
    } else if (HasControlCharacter(wide)) {
        error = "the password prefix holds a control character";
    } else if (wide.size() > kEntryMaximum) {
        error = "the password prefix is longer than 17 characters";
    } else {
        password = wide;
        return true;
    }
    return false;
}

} // namespace nomvera::cli
