#include "platform/posix/sysroot.h"

#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <vector>

namespace nomvera::posix {

std::string SystemRootPrefix() {
    const char* root = std::getenv("NOMVERA_SYSROOT");
    std::string prefix = root == nullptr ? std::string() : std::string(root);
    while (!prefix.empty() && prefix.back() == '/') {
        prefix.pop_back();
    }
    return prefix;
}

bool IsRealSystemRoot() {
    return SystemRootPrefix().empty();
}

std::string InSystemRoot(const std::string& absolutePath) {
    return SystemRootPrefix() + absolutePath;
}

namespace {

PasswdEntry FromPasswd(const passwd& pw) {
    PasswdEntry entry;
    entry.name = pw.pw_name != nullptr ? pw.pw_name : "";
    entry.uid = pw.pw_uid;
    entry.gid = pw.pw_gid;
    entry.gecos = pw.pw_gecos != nullptr ? pw.pw_gecos : "";
    entry.home = pw.pw_dir != nullptr ? pw.pw_dir : "";
    entry.shell = pw.pw_shell != nullptr ? pw.pw_shell : "";
    return entry;
}

template <class Match> std::optional<PasswdEntry> FindInRootFile(Match match) {
    FILE* file = std::fopen(InSystemRoot("/etc/passwd").c_str(), "re");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::optional<PasswdEntry> found;
    while (passwd* pw = fgetpwent(file)) {
        if (match(*pw)) {
            found = FromPasswd(*pw);
            break;
        }
    }
    std::fclose(file);
    return found;
}

} // namespace

std::optional<PasswdEntry> FindUserByUid(uid_t uid) {
    if (!IsRealSystemRoot()) {
        return FindInRootFile([uid](const passwd& pw) { return pw.pw_uid == uid; });
    }
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &result) != 0 || result == nullptr) {
        return std::nullopt;
    }
    return FromPasswd(pw);
}

std::optional<PasswdEntry> FindUserByName(const std::string& name) {
    if (!IsRealSystemRoot()) {
        return FindInRootFile([&name](const passwd& pw) { return name == pw.pw_name; });
    }
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwnam_r(name.c_str(), &pw, buffer.data(), buffer.size(), &result) != 0 ||
        result == nullptr) {
        return std::nullopt;
    }
    return FromPasswd(pw);
}

} // namespace nomvera::posix
