#include "platform/posix/services/sysroot.h"

#include "platform/posix/kernel/module_path.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <memory>
#include <mutex>
#include <pwd.h>
#include <shadow.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::posix {
namespace {

// What is read or started as root inside a sandbox root besides the folders
// above it: the account files and their folder, login.defs and useradd's
// defaults (shadow-utils and the stand-ins read them), the skeleton the
// profile service copies, and what chpasswd, chrooted into the root, takes
// from there: the name service's configuration, the loader's cache and
// preload list, and the folders it starts programs (nscd, sss_cache) and
// loads libraries from. What is not there cannot be made by another account
// once the root passed.
constexpr const char* kTrustedFolders[] = {"etc",     "etc/default", "etc/skel", "bin",
                                           "sbin",    "lib",         "lib64",    "usr",
                                           "usr/bin", "usr/sbin",    "usr/lib",  "usr/lib64"};
constexpr const char* kTrustedFiles[] = {
    "etc/passwd",      "etc/shadow",        "etc/group",
    "etc/gshadow",     "etc/login.defs",    "etc/nsswitch.conf",
    "etc/ld.so.cache", "etc/ld.so.preload", "etc/default/useradd"};

// The first thing in the root that another account could change; empty
// when there is none.
std::string ChangeableByOthers(const std::string& real) {
    const std::string arch = NOMVERA_LIBRARY_ARCH;
    std::vector<std::string> folders(std::begin(kTrustedFolders), std::end(kTrustedFolders));
    folders.insert(folders.end(), {"lib/" + arch, "usr/lib/" + arch});
    for (const std::string& folder : folders) {
        if (FolderUnchangeableByOthers(real + "/" + folder).error == EACCES) {
            return real + "/" + folder;
        }
    }
    for (const char* file : kTrustedFiles) {
        if (UnchangeableByOthers(real + "/" + file).error == EACCES) {
            return real + "/" + file;
        }
    }
    return {};
}

// The sandbox last found safe, known by its folder's identity.
struct SafeSandbox {
    std::string value;
    struct stat identity {};
    std::string real;
};

bool SameIdentity(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_uid == b.st_uid &&
           a.st_mode == b.st_mode && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

SystemRoot SandboxOf(const std::string& value, const struct stat& identity) {
    static std::mutex lock;
    static SafeSandbox known;
    {
        std::lock_guard guard(lock);
        if (known.value == value && SameIdentity(known.identity, identity)) {
            return {SystemRootKind::Sandbox, known.real, {}};
        }
    }
    const TrustedFile folder = FolderUnchangeableByOthers(value);
    if (folder.error == EACCES) {
        return {SystemRootKind::Unsafe, "/dev/null", value};
    }
    if (folder.real.empty()) {
        return {SystemRootKind::Unusable, value, {}}; // gone meanwhile
    }
    if (std::string unsafe = ChangeableByOthers(folder.real); !unsafe.empty()) {
        return {SystemRootKind::Unsafe, "/dev/null", std::move(unsafe)};
    }
    std::lock_guard guard(lock);
    known = {value, identity, folder.real};
    return {SystemRootKind::Sandbox, folder.real, {}};
}

} // namespace

SystemRoot SystemRootOf(const char* value) {
    std::string spelled = value == nullptr ? std::string() : std::string(value);
    if (spelled.empty()) {
        return {SystemRootKind::Machine, "", {}};
    }
    if (spelled.front() != '/') {
        // Never taken relative to whatever the current folder is.
        return {SystemRootKind::Unusable, "/dev/null", {}};
    }
    std::string prefix = spelled;
    while (!prefix.empty() && prefix.back() == '/') {
        prefix.pop_back();
    }
    struct stat root {};
    struct stat named {};
    if (stat("/", &root) != 0 || stat(spelled.c_str(), &named) != 0 || !S_ISDIR(named.st_mode)) {
        return {SystemRootKind::Unusable, prefix, {}};
    }
    if (named.st_dev == root.st_dev && named.st_ino == root.st_ino) {
        return {SystemRootKind::Machine, "", {}};
    }
    return SandboxOf(prefix, named);
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

// A parsed copy of one of the root's account files. A batch looks accounts
// up many times per account, and each look-up used to read and parse the
// whole file; now the file's bytes are read and compared with the copy's,
// and parsed again only when they differ. Reading only when the file looks
// changed (inode, size, times) would save the read too, but timestamps are
// coarser than the time between two changes, so the bytes decide.
template <class Entry> class ParsedFile {
public:
    using Entries = std::shared_ptr<const std::vector<Entry>>;

    // The entries of the file, nothing when it cannot be read. parse gets a
    // stream over the bytes and fills a vector.
    template <class Parse> Entries Get(const std::string& path, Parse parse) {
        std::string bytes;
        if (!ReadWhole(path, bytes)) {
            return nullptr;
        }
        std::lock_guard guard(lock_);
        if (entries_ == nullptr || path != path_ || bytes != bytes_) {
            auto parsed = std::make_shared<std::vector<Entry>>();
            FILE* stream = bytes.empty() ? nullptr : fmemopen(bytes.data(), bytes.size(), "r");
            if (stream != nullptr) {
                parse(stream, *parsed);
                std::fclose(stream);
            }
            Wipe(bytes_);
            path_ = path;
            bytes_ = std::move(bytes);
            entries_ = std::move(parsed);
        } else {
            Wipe(bytes);
        }
        return entries_;
    }

private:
    static bool ReadWhole(const std::string& path, std::string& bytes) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        struct stat st {};
        bool ok = fstat(fd, &st) == 0;
        if (ok && st.st_size > 0) {
            bytes.reserve(static_cast<std::size_t>(st.st_size) + 1);
        }
        char buffer[65536];
        while (ok) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        close(fd);
        return ok;
    }
    // The shadow file's copy holds password hashes: none is left in freed memory.
    static void Wipe(std::string& text) {
        explicit_bzero(text.data(), text.size());
        text.clear();
    }

    std::mutex lock_;
    std::string path_;
    std::string bytes_;
    Entries entries_;
};

// Parses every entry of a stream of one of the account files with its
// reentrant reader.
template <class Record, class Entry, class Reader, class Convert>
void ParseEntries(FILE* stream, Reader reader, Convert convert, std::vector<Entry>& entries) {
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
        if (error != 0 || result == nullptr) {
            break;
        }
        entries.push_back(convert(*result));
    }
}

ShadowEntry FromShadow(const spwd& sp) {
    ShadowEntry entry;
    entry.name = sp.sp_namp != nullptr ? sp.sp_namp : "";
    entry.hash = sp.sp_pwdp != nullptr ? sp.sp_pwdp : "";
    entry.lastChange = sp.sp_lstchg;
    entry.maxDays = sp.sp_max;
    entry.inactiveDays = sp.sp_inact;
    entry.expireDay = sp.sp_expire;
    return entry;
}

ParsedFile<PasswdEntry>::Entries PasswdFile() {
    static ParsedFile<PasswdEntry> file;
    return file.Get(InSystemRoot("/etc/passwd"), [](FILE* stream, auto& entries) {
        ParseEntries<passwd>(stream, fgetpwent_r, FromPasswd, entries);
    });
}

ParsedFile<GroupEntry>::Entries GroupFile() {
    static ParsedFile<GroupEntry> file;
    return file.Get(InSystemRoot("/etc/group"), [](FILE* stream, auto& entries) {
        ParseEntries<group>(stream, fgetgrent_r, FromGroup, entries);
    });
}

ParsedFile<ShadowEntry>::Entries ShadowFile() {
    static ParsedFile<ShadowEntry> file;
    return file.Get(InSystemRoot("/etc/shadow"), [](FILE* stream, auto& entries) {
        ParseEntries<spwd>(stream, fgetspent_r, FromShadow, entries);
    });
}

template <class Entry, class Match>
std::optional<Entry> FindIn(const std::shared_ptr<const std::vector<Entry>>& entries, Match match) {
    if (entries != nullptr) {
        for (const Entry& entry : *entries) {
            if (match(entry)) {
                return entry;
            }
        }
    }
    return std::nullopt;
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
        return FindIn(PasswdFile(), [uid](const PasswdEntry& pw) { return pw.uid == uid; });
    }
    std::optional<PasswdEntry> entry;
    LookUpGrowing<passwd>([uid](auto... arguments) { return getpwuid_r(uid, arguments...); },
                          [&](const passwd& found) { entry = FromPasswd(found); });
    return entry;
}

std::optional<PasswdEntry> FindUserByName(const std::string& name) {
    if (!IsRealSystemRoot()) {
        return FindIn(PasswdFile(), [&name](const PasswdEntry& pw) { return pw.name == name; });
    }
    std::optional<PasswdEntry> entry;
    LookUpGrowing<passwd>(
        [&name](auto... arguments) { return getpwnam_r(name.c_str(), arguments...); },
        [&](const passwd& found) { entry = FromPasswd(found); });
    return entry;
}

std::optional<GroupEntry> FindGroupByGid(gid_t gid) {
    if (!IsRealSystemRoot()) {
        return FindIn(GroupFile(), [gid](const GroupEntry& gr) { return gr.gid == gid; });
    }
    std::optional<GroupEntry> entry;
    LookUpGrowing<group>([gid](auto... arguments) { return getgrgid_r(gid, arguments...); },
                         [&](const group& found) { entry = FromGroup(found); });
    return entry;
}

std::optional<GroupEntry> FindGroupByName(const std::string& name) {
    if (!IsRealSystemRoot()) {
        return FindIn(GroupFile(), [&name](const GroupEntry& gr) { return gr.name == name; });
    }
    std::optional<GroupEntry> entry;
    LookUpGrowing<group>(
        [&name](auto... arguments) { return getgrnam_r(name.c_str(), arguments...); },
        [&](const group& found) { entry = FromGroup(found); });
    return entry;
}

std::optional<std::vector<PasswdEntry>> AllUsersInFileOrder() {
    auto users = PasswdFile();
    if (users == nullptr) {
        return std::nullopt;
    }
    return *users;
}

std::vector<GroupEntry> AllGroupsInFileOrder() {
    auto groups = GroupFile();
    return groups != nullptr ? *groups : std::vector<GroupEntry>{};
}

std::vector<gid_t> GroupsOfUser(const PasswdEntry& user) {
    std::vector<gid_t> gids{user.gid};
    auto groups = GroupFile();
    if (groups == nullptr) {
        return gids;
    }
    for (const GroupEntry& entry : *groups) {
        bool listed =
            std::find(entry.members.begin(), entry.members.end(), user.name) != entry.members.end();
        if (listed && std::find(gids.begin(), gids.end(), entry.gid) == gids.end()) {
            gids.push_back(entry.gid);
        }
    }
    return gids;
}

std::optional<ShadowEntry> FindShadowByName(const std::string& name) {
    if (!IsRealSystemRoot()) {
        return FindIn(ShadowFile(), [&name](const ShadowEntry& sp) { return sp.name == name; });
    }
    std::optional<ShadowEntry> found;
    LookUpGrowing<spwd>(
        [&name](auto... arguments) { return getspnam_r(name.c_str(), arguments...); },
        [&](const spwd& sp) { found = FromShadow(sp); });
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
