#include "platform/posix/services/sysroot.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <shadow.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::posix {

SystemRoot SystemRootOf(const char* value) {
    std::string spelled = value == nullptr ? std::string() : std::string(value);
    if (spelled.empty()) {
        return {SystemRootKind::Machine, ""};
    }
    if (spelled.front() != '/') {
        // Never taken relative to whatever the current folder is.
        return {SystemRootKind::Unusable, "/dev/null"};
    }
    std::string prefix = spelled;
    while (!prefix.empty() && prefix.back() == '/') {
        prefix.pop_back();
    }
    struct stat root {};
    struct stat named {};
    if (stat("/", &root) != 0 || stat(spelled.c_str(), &named) != 0 || !S_ISDIR(named.st_mode)) {
        return {SystemRootKind::Unusable, prefix};
    }
    if (named.st_dev == root.st_dev && named.st_ino == root.st_ino) {
        return {SystemRootKind::Machine, ""};
    }
    return {SystemRootKind::Sandbox, prefix};
}

SystemRoot CurrentSystemRoot() {
    return SystemRootOf(std::getenv("NOMVERA_SYSROOT"));
}

std::string SystemRootPrefix() {
    return CurrentSystemRoot().prefix;
}

bool IsRealSystemRoot() {
    return CurrentSystemRoot().kind == SystemRootKind::Machine;
}

std::string InSystemRoot(const std::string& absolutePath) {
    return SystemRootPrefix() + absolutePath;
}

namespace {

constexpr std::size_t kEntryBufferSize = 1 << 16;
// An entry longer than this (a member list of millions of names) is passed
// over rather than read.
constexpr std::size_t kLargestEntry = std::size_t{1} << 28;

// Runs a reentrant look-up of the name service (getgrnam_r and the like:
// call(record, buffer, size, result) gives 0 or an errno, result set when
// found) with a buffer that doubles while the answer is ERANGE, and hands
// the record found to take.
template <class Record, class Call, class Take> void LookUpGrowing(Call call, Take take) {
    std::vector<char> buffer(kEntryBufferSize);
    while (true) {
        Record record{};
        Record* result = nullptr;
        int error = call(&record, buffer.data(), buffer.size(), &result);
        if (error != ERANGE || buffer.size() >= kLargestEntry) {
            if (error == 0 && result != nullptr) {
                take(record);
            }
            return;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Moves the stream past the line it is in.
void SkipLine(FILE* stream) {
    int c;
    do {
        c = std::fgetc(stream);
    } while (c != EOF && c != '\n');
}

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

GroupEntry FromGroup(const group& gr) {
    GroupEntry entry;
    entry.name = gr.gr_name != nullptr ? gr.gr_name : "";
    entry.gid = gr.gr_gid;
    for (char** member = gr.gr_mem; member != nullptr && *member != nullptr; ++member) {
        entry.members.emplace_back(*member);
    }
    return entry;
}

// Calls visit(entry) for each entry of one of the root's account files until
// it returns true. The _r readers keep this safe beside other threads.
template <class Record, class Reader, class Visit>
bool ReadRootFile(const char* file, Reader reader, Visit visit) {
    FILE* stream = std::fopen(InSystemRoot(file).c_str(), "re");
    if (stream == nullptr) {
        return false;
    }
    std::vector<char> buffer(kEntryBufferSize);
    Record record{};
    while (true) {
        Record* result = nullptr;
        const off_t start = ftello(stream);
        int error = reader(stream, &record, buffer.data(), buffer.size(), &result);
        if (error == ERANGE) {
            // The entry does not fit: read it again with a larger buffer,
            // from its start (not every C library moves back by itself).
            if (start < 0 || fseeko(stream, start, SEEK_SET) != 0) {
                break;
            }
            if (buffer.size() < kLargestEntry) {
                buffer.resize(buffer.size() * 2);
            } else {
                SkipLine(stream);
            }
            continue;
        }
        if (error != 0 || result == nullptr || visit(*result)) {
            break;
        }
    }
    std::fclose(stream);
    return true;
}

template <class Match> std::optional<PasswdEntry> FindInPasswdFile(Match match) {
    std::optional<PasswdEntry> found;
    ReadRootFile<passwd>("/etc/passwd", fgetpwent_r, [&](const passwd& pw) {
        if (match(pw)) {
            found = FromPasswd(pw);
            return true;
        }
        return false;
    });
    return found;
}

template <class Match> std::optional<GroupEntry> FindInGroupFile(Match match) {
    std::optional<GroupEntry> found;
    ReadRootFile<group>("/etc/group", fgetgrent_r, [&](const group& gr) {
        if (match(gr)) {
            found = FromGroup(gr);
            return true;
        }
        return false;
    });
    return found;
}

std::optional<std::string> SettingOf(const std::string& file, const std::string& key,
                                     char separator) {
    std::ifstream in(InSystemRoot(file));
    std::string line;
    std::optional<std::string> value;
    while (std::getline(in, line)) {
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') {
            continue;
        }
        if (line.compare(start, key.size(), key) != 0) {
            continue;
        }
        std::size_t after = start + key.size();
        if (separator == '=') {
            if (after >= line.size() || line[after] != '=') {
                continue;
            }
            ++after;
        } else if (after >= line.size() || (line[after] != ' ' && line[after] != '\t')) {
            continue;
        }
        std::size_t valueStart = line.find_first_not_of(" \t\"", after);
        std::size_t valueEnd = line.find_last_not_of(" \t\r\"");
        value = valueStart == std::string::npos || valueEnd < valueStart
                    ? std::string()
                    : line.substr(valueStart, valueEnd - valueStart + 1);
        // The last setting of a key wins, as for the tools that read these files.
    }
    return value;
}

} // namespace

std::optional<PasswdEntry> FindUserByUid(uid_t uid) {
    if (!IsRealSystemRoot()) {
        return FindInPasswdFile([uid](const passwd& pw) { return pw.pw_uid == uid; });
    }
    std::optional<PasswdEntry> entry;
    LookUpGrowing<passwd>([uid](auto... arguments) { return getpwuid_r(uid, arguments...); },
                          [&](const passwd& found) { entry = FromPasswd(found); });
    return entry;
}

std::optional<PasswdEntry> FindUserByName(const std::string& name) {
    if (!IsRealSystemRoot()) {
        return FindInPasswdFile([&name](const passwd& pw) { return name == pw.pw_name; });
    }
    std::optional<PasswdEntry> entry;
    LookUpGrowing<passwd>(
        [&name](auto... arguments) { return getpwnam_r(name.c_str(), arguments...); },
        [&](const passwd& found) { entry = FromPasswd(found); });
    return entry;
}

std::optional<GroupEntry> FindGroupByGid(gid_t gid) {
    if (!IsRealSystemRoot()) {
        return FindInGroupFile([gid](const group& gr) { return gr.gr_gid == gid; });
    }
    std::optional<GroupEntry> entry;
    LookUpGrowing<group>([gid](auto... arguments) { return getgrgid_r(gid, arguments...); },
                         [&](const group& found) { entry = FromGroup(found); });
    return entry;
}

std::optional<GroupEntry> FindGroupByName(const std::string& name) {
    if (!IsRealSystemRoot()) {
        return FindInGroupFile([&name](const group& gr) { return name == gr.gr_name; });
    }
    std::optional<GroupEntry> entry;
    LookUpGrowing<group>(
        [&name](auto... arguments) { return getgrnam_r(name.c_str(), arguments...); },
        [&](const group& found) { entry = FromGroup(found); });
    return entry;
}

std::optional<std::vector<PasswdEntry>> AllUsersInFileOrder() {
    std::vector<PasswdEntry> users;
    if (!ReadRootFile<passwd>("/etc/passwd", fgetpwent_r, [&](const passwd& pw) {
            users.push_back(FromPasswd(pw));
            return false;
        })) {
        return std::nullopt;
    }
    return users;
}

std::vector<GroupEntry> AllGroupsInFileOrder() {
    std::vector<GroupEntry> groups;
    ReadRootFile<group>("/etc/group", fgetgrent_r, [&](const group& gr) {
        groups.push_back(FromGroup(gr));
        return false;
    });
    return groups;
}

std::vector<gid_t> GroupsOfUser(const PasswdEntry& user) {
    std::vector<gid_t> gids{user.gid};
    for (const GroupEntry& entry : AllGroupsInFileOrder()) {
        bool listed =
            std::find(entry.members.begin(), entry.members.end(), user.name) != entry.members.end();
        if (listed && std::find(gids.begin(), gids.end(), entry.gid) == gids.end()) {
            gids.push_back(entry.gid);
        }
    }
    return gids;
}

std::optional<ShadowEntry> FindShadowByName(const std::string& name) {
    std::optional<ShadowEntry> found;
    auto take = [&](const spwd& sp) {
        ShadowEntry entry;
        entry.name = sp.sp_namp != nullptr ? sp.sp_namp : "";
        entry.hash = sp.sp_pwdp != nullptr ? sp.sp_pwdp : "";
        entry.lastChange = sp.sp_lstchg;
        entry.maxDays = sp.sp_max;
        entry.inactiveDays = sp.sp_inact;
        entry.expireDay = sp.sp_expire;
        found = entry;
    };
    if (!IsRealSystemRoot()) {
        ReadRootFile<spwd>("/etc/shadow", fgetspent_r, [&](const spwd& sp) {
            if (name == sp.sp_namp) {
                take(sp);
                return true;
            }
            return false;
        });
        return found;
    }
    LookUpGrowing<spwd>(
        [&name](auto... arguments) { return getspnam_r(name.c_str(), arguments...); }, take);
    return found;
}

std::optional<std::string> LoginDefsValue(const std::string& key) {
    return SettingOf("/etc/login.defs", key, ' ');
}

std::optional<std::string> UseraddDefault(const std::string& key) {
    return SettingOf("/etc/default/useradd", key, '=');
}

std::string MachineName() {
    std::string name;
    if (!IsRealSystemRoot()) {
        std::ifstream in(InSystemRoot("/etc/hostname"));
        std::getline(in, name);
    }
    if (name.empty()) {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) == 0) {
            name = host;
        }
    }
    name = name.substr(0, name.find_first_of(". \t\r\n"));
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name.empty() ? std::string("LOCALHOST") : name;
}

std::optional<GroupEntry> AdministratorsGroup() {
    for (const char* name : {"sudo", "wheel", "admin"}) {
        if (auto entry = FindGroupByName(name)) {
            return entry;
        }
    }
    return std::nullopt;
}

} // namespace nomvera::posix
