#include "platform/posix/services/account_credentials.h"

#include "platform/memory_wipe.h"
#include "platform/posix/kernel/module_path.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::posix {
namespace {

constexpr off_t kMaxFileSize = 64 * 1024;

void Wipe(std::string& text) {
    if (!text.empty()) {
        platform::WipeMemory(text.data(), text.size());
    }
    text.clear();
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string FileRule(const std::string& path, const struct stat& info) {
    if (!S_ISREG(info.st_mode)) {
        return path + " is not a regular file";
    }
    if (info.st_uid != geteuid()) {
        return path + " belongs to another account";
    }
    if ((info.st_mode & 077) != 0) {
        return path + " may be read or changed by other accounts (it must have mode 0600)";
    }
    return {};
}

// The text of the file, or why it was refused.
std::string ReadGuarded(const std::string& path, std::string& error) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return {};
    }
    if (S_ISLNK(info.st_mode)) {
        error = path + " is a symbolic link";
        return {};
    }
    if (error = FileRule(path, info); !error.empty()) {
        return {};
    }
    if (TrustedFile trusted = UnchangeableByOthers(path); trusted.real.empty()) {
        error = path + " lies in a folder that other accounts may change";
        return {};
    }
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return {};
    }
    struct stat opened {};
    std::string text;
    // The file opened is the one checked (not swapped in between).
    if (fstat(fd, &opened) != 0 || opened.st_ino != info.st_ino || opened.st_dev != info.st_dev) {
        error = path + " changed while it was read";
    } else if (error = FileRule(path, opened); error.empty()) {
        if (opened.st_size > kMaxFileSize) {
            error = path + " is too large for an authentication file";
        } else {
            text.resize(static_cast<std::size_t>(opened.st_size));
            std::size_t done = 0;
            while (done < text.size()) {
                ssize_t got = read(fd, text.data() + done, text.size() - done);
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                if (got <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(got);
            }
            text.resize(done);
        }
    }
    close(fd);
    return text;
}

} // namespace

AccountCredentials::~AccountCredentials() {
    Wipe(password);
}

CredentialsRead ReadCredentialsFile(const std::string& path) {
    CredentialsRead result;
    std::string text = ReadGuarded(path, result.error);
    if (!result.error.empty()) {
        Wipe(text);
        return result;
    }
    AccountCredentials credentials;
    std::size_t lineNumber = 0;
    std::string_view rest = text;
    while (!rest.empty() && result.error.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = Trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        std::size_t equals = line.find('=');
        std::string_view key = Trimmed(line.substr(0, equals));
        std::string_view value = equals == std::string_view::npos
                                     ? std::string_view{}
                                     : Trimmed(line.substr(equals + 1));
        std::string* field = key == "username"   ? &credentials.user
                             : key == "password" ? &credentials.password
                             : key == "domain"   ? &credentials.domain
                                                 : nullptr;
        if (equals == std::string_view::npos || field == nullptr) {
            result.error = path + ", line " + std::to_string(lineNumber) +
                           ": not \"username = \", \"password = \" or \"domain = \"";
        } else {
            field->assign(value);
        }
    }
    Wipe(text);
    if (result.error.empty() && credentials.user.empty()) {
        result.error = path + " names no user (\"username = NAME\")";
    }
    if (result.error.empty()) {
        result.credentials = credentials;
    }
    return result;
}

bool IsNetworkAddress(const std::string& host) {
    unsigned char buffer[sizeof(struct in6_addr)];
    std::string bare = host;
    if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') {
        bare = bare.substr(1, bare.size() - 2);
    }
    return inet_pton(AF_INET, bare.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, bare.c_str(), buffer) == 1;
}

bool HasTicketCache() {
    const char* named = std::getenv("KRB5CCNAME");
    if (named != nullptr && *named != '\0') {
        std::string_view cache = named;
        // A file cache must exist; other kinds (KEYRING:, KCM:) are taken at
        // their word.
        if (cache.substr(0, 5) == "FILE:") {
            cache.remove_prefix(5);
        } else if (cache.find(':') != std::string_view::npos) {
            return true;
        }
        return access(std::string(cache).c_str(), R_OK) == 0;
    }
    std::string standard = "/tmp/krb5cc_" + std::to_string(geteuid());
    return access(standard.c_str(), R_OK) == 0;
}

SignInWay WayOfSigningIn(const std::string& server, const std::optional<AccountCredentials>& file) {
    if (file) {
        bool realmUser = file->user.find('@') != std::string::npos;
        return realmUser && !IsNetworkAddress(server) ? SignInWay::Kerberos : SignInWay::Password;
    }
    return HasTicketCache() ? SignInWay::TicketCache : SignInWay::Anonymous;
}

std::string DescribeSignIn(SignInWay way, const std::optional<AccountCredentials>& file) {
    switch (way) {
    case SignInWay::Kerberos:
        return "Kerberos as " + (file ? file->user : std::string());
    case SignInWay::Password:
        if (!file) {
            return "password";
        }
        return "password as " +
               (file->domain.empty() ? file->user : file->domain + "\\" + file->user);
    case SignInWay::TicketCache:
        return "the Kerberos ticket cache";
    case SignInWay::Anonymous:
        break;
    }
    return "no credentials";
}

} // namespace nomvera::posix
