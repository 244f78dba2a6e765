// The account service over the system root: reads come from the account
// database, changes go through shadow-utils, and their exit codes become the
// status codes Windows gives for the same situation.
#include "platform/errors.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/shadow_tools.h"
#include "platform/posix/services/sids.h"
#include "platform/posix/services/standin_services.h"
#include "platform/posix/services/state_files.h"
#include "platform/posix/services/sysroot.h"
#include "platform/security.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unistd.h>

namespace nomvera::posix {
namespace {

constexpr std::size_t kMaxUserNameLength = 20;
constexpr std::size_t kMaxGroupNameLength = 32;
constexpr std::size_t kMaxPasswordLength = 256;
constexpr std::size_t kMaxCommentLength = 256;
constexpr char kGroupComments[] = "group-comments";

enum class Tool { UserAdd, UserMod, UserDel, GroupAdd, GroupDel, ChPasswd };

// What a tool's exit code means as a Windows status; anything unexpected
// (the tool missing, killed, unable to write the files) is an internal error.
NET_API_STATUS StatusOfExit(Tool tool, int exitCode) {
    if (exitCode == 0) {
        return NERR_Success;
    }
    switch (tool) {
    case Tool::UserAdd:
        if (exitCode == 9) {
            return NERR_UserExists;
        }
        if (exitCode == 3 || exitCode == 19) {
            return NERR_BadUsername;
        }
        if (exitCode == 6) {
            return NERR_GroupNotFound;
        }
        break;
    case Tool::UserMod:
        if (exitCode == 6) {
            return NERR_UserNotFound;
        }
        if (exitCode == 3) {
            return ERROR_INVALID_PARAMETER;
        }
        if (exitCode == 8) {
            return ERROR_BUSY;
        }
        break;
    case Tool::UserDel:
        if (exitCode == 6) {
            return NERR_UserNotFound;
        }
        if (exitCode == 8) {
            return ERROR_BUSY;
        }
        break;
    case Tool::GroupAdd:
        if (exitCode == 9) {
            return ERROR_ALIAS_EXISTS;
        }
        if (exitCode == 3) {
            return NERR_BadUsername;
        }
        break;
    case Tool::GroupDel:
        if (exitCode == 6) {
            return NERR_GroupNotFound;
        }
        if (exitCode == 8) {
            return NERR_SpeGroupOp;
        }
        break;
    case Tool::ChPasswd:
        break;
    }
    return NERR_InternalError;
}

const char* ProgramOf(Tool tool) {
    switch (tool) {
    case Tool::UserAdd:
        return "useradd";
    case Tool::UserMod:
        return "usermod";
    case Tool::UserDel:
        return "userdel";
    case Tool::GroupAdd:
        return "groupadd";
    case Tool::GroupDel:
        return "groupdel";
    case Tool::ChPasswd:
        return "chpasswd";
    }
    return "";
}

NET_API_STATUS Run(Tool tool, const std::vector<std::string>& arguments,
                   const std::optional<std::string>& standardInput = std::nullopt) {
    return StatusOfExit(tool, RunShadowTool(ProgramOf(tool), arguments, standardInput).exitCode);
}

struct Secret {
    std::string text;
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { std::fill(text.begin(), text.end(), '\0'); }
};

NET_API_STATUS Refuse(NET_API_STATUS status, LPDWORD parmErr, DWORD field) {
    if (parmErr != nullptr && status == ERROR_INVALID_PARAMETER) {
        *parmErr = field;
    }
    return status;
}

// A text field of a record as UTF-8: nothing for a lone surrogate.
std::optional<std::string> Narrow(LPCWSTR text) {
    return Utf16ToUtf8(text == nullptr ? u"" : text);
}

// An account comment fit for the GECOS field or the group-comment file.
bool IsAcceptableComment(const std::string& comment) {
    if (comment.size() > kMaxCommentLength) {
        return false;
    }
    return std::none_of(comment.begin(), comment.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F || c == ':';
    });
}

bool UserExists(const std::string& name) {
    return FindUserByName(name).has_value();
}

bool GroupExists(const std::string& name) {
    return FindGroupByName(name).has_value();
}

bool IsAliasGroup(const GroupEntry& group) {
    auto admins = AdministratorsGroup();
    return group.gid == 0 || (admins && admins->gid == group.gid) || group.name == "users" ||
           group.name == "tsusers";
}

// Copies a set of UTF-16 texts behind a record in one block: the strings
// start after the fixed part, each NUL-terminated.
class BlockBuilder {
public:
    explicit BlockBuilder(std::size_t fixedSize) : fixed_((fixedSize + 7) & ~std::size_t{7}) {}
    std::size_t Add(const std::u16string& text) {
        std::size_t offset = strings_.size();
        strings_ += text;
        strings_.push_back(u'\0');
        return offset;
    }
    // Reserves 4-aligned raw bytes in the string area.
    std::size_t AddRaw(std::size_t bytes) {
        if (strings_.size() % 2 != 0) {
            strings_.push_back(u'\0');
        }
        std::size_t offset = strings_.size();
        strings_.append((bytes + 1) / 2, u'\0');
        return offset;
    }
    BYTE* Build() {
        auto* block =
            static_cast<BYTE*>(AllocateBlock(BlockKind::NetApi, fixed_ + strings_.size() * 2));
        if (block != nullptr) {
            std::memcpy(block + fixed_, strings_.data(), strings_.size() * 2);
        }
        return block;
    }
    LPWSTR At(BYTE* block, std::size_t offset) const {
        return reinterpret_cast<LPWSTR>(block + fixed_) + offset;
    }

private:
    std::size_t fixed_;
    std::u16string strings_;
};

std::string GroupComment(const std::string& group) {
    for (const auto& record : ReadStateFile(kGroupComments)) {
        if (record.size() >= 2 && record[0] == group) {
            return record[1];
        }
    }
    return {};
}

void SetGroupComment(const std::string& group, const std::optional<std::string>& comment) {
    StateLock lock; // another copy of the tool may change the file at the same time
    StateRecords records = ReadStateFile(kGroupComments);
    auto before = records.size();
    std::erase_if(records,
                  [&](const auto& record) { return !record.empty() && record[0] == group; });
    if (comment && !comment->empty()) {
        records.push_back({group, *comment});
    } else if (records.size() == before) {
        return;
    }
    WriteStateFile(lock, kGroupComments, records);
}

NET_API_STATUS CheckLocal(LPCWSTR server) {
    return IsLocalMachineName(server) ? NERR_Success : ERROR_BAD_NETPATH;
}

NET_API_STATUS CheckRoot() {
    if (geteuid() != 0) {
        return ERROR_ACCESS_DENIED;
    }
    // A NOMVERA_SYSROOT that names no folder, or one that another account
    // could change: nothing runs, and the code says what is wrong.
    switch (CurrentSystemRoot().kind) {
    case SystemRootKind::Unusable:
        return ERROR_PATH_NOT_FOUND;
    case SystemRootKind::Unsafe:
        return ERROR_ACCESS_DENIED;
    default:
        return NERR_Success;
    }
}

// Sets the hash of an existing account through chpasswd's standard input,
// so that no other user can read it from a process list (under a sandbox
// root chpasswd works inside it as its root). chpasswd rewrites the shadow
// file alone, where usermod -p would rewrite the password file as well.
NET_API_STATUS SetPasswordHash(const std::string& name, const std::string& hash,
                               const std::optional<std::string>& comment) {
    // The comment is written only when it changes (the delete batch writes
    // the comment the account already has): then chpasswd alone runs.
    auto entry = comment ? FindUserByName(name) : std::nullopt;
    if (comment && (!entry || entry->gecos != *comment)) {
        if (NET_API_STATUS status = Run(Tool::UserMod, {"-c", *comment, "--", name})) {
            return status;
        }
    }
    Secret line;
    line.text = name + ":" + hash + "\n";
    return Run(Tool::ChPasswd, {"-e"}, line.text);
}

NET_API_STATUS ReadUserRecord(const USER_INFO_1& record, LPDWORD parmErr, std::string& name,
                              std::optional<std::string>& comment, Secret& password) {
    auto text = Narrow(record.usri1_name);
    if (record.usri1_name == nullptr || !text) {
        return Refuse(ERROR_INVALID_PARAMETER, parmErr, USER_NAME_PARMNUM);
    }
    name = *text;
    if (record.usri1_password != nullptr) {
        auto secret = Narrow(record.usri1_password);
        if (!secret || WideLength(record.usri1_password) > kMaxPasswordLength) {
            return Refuse(ERROR_INVALID_PARAMETER, parmErr, USER_PASSWORD_PARMNUM);
        }
        password.text = *secret;
        std::fill(secret->begin(), secret->end(), '\0');
    }
    if (record.usri1_comment != nullptr) {
        comment = Narrow(record.usri1_comment);
        if (!comment || !IsAcceptableComment(*comment)) {
            return Refuse(ERROR_INVALID_PARAMETER, parmErr, USER_COMMENT_PARMNUM);
        }
    }
    if (record.usri1_priv > USER_PRIV_ADMIN) {
        return Refuse(ERROR_INVALID_PARAMETER, parmErr, USER_PRIV_PARMNUM);
    }
    return NERR_Success;
}

// The hash to store: locked ("!" in front) when the flags disable the account.
std::optional<std::string> StoredHash(const Secret& password, DWORD flags) {
    auto hash = HashPassword(password.text);
    if (hash && (flags & UF_ACCOUNTDISABLE) != 0) {
        hash = std::string(1, '!') + *hash;
    }
    return hash;
}

DWORD FlagsOf(const PasswdEntry& user) {
    DWORD flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
    if (auto shadow = FindShadowByName(user.name)) {
        if (!shadow->hash.empty() && shadow->hash[0] == '!') {
            flags |= UF_ACCOUNTDISABLE;
        }
        if (shadow->maxDays < 0 || shadow->maxDays >= 99999) {
            flags |= UF_DONT_EXPIRE_PASSWD;
        }
    }
    return flags;
}

DWORD PasswordAgeOf(const PasswdEntry& user) {
    auto shadow = FindShadowByName(user.name);
    if (!shadow || shadow->lastChange <= 0) {
        return 0;
    }
    long today = static_cast<long>(std::time(nullptr) / 86400);
    return today > shadow->lastChange ? static_cast<DWORD>((today - shadow->lastChange) * 86400)
                                      : 0;
}

bool IsAdministratorsMember(const PasswdEntry& user) {
    if (user.uid == 0) {
        return true;
    }
    auto admins = AdministratorsGroup();
    if (!admins) {
        return false;
    }
    auto gids = GroupsOfUser(user);
    return std::find(gids.begin(), gids.end(), admins->gid) != gids.end();
}

// Memberships a creation takes along (PrepareMemberships): the groups
// announced for the next account, and the memberships the last creation
// made of them, each answered as done once.
struct MembershipPlan {
    std::mutex lock;
    std::string account;
    std::vector<std::string> groups;
    std::string madeFor;
    std::vector<std::string> made;
};

MembershipPlan& Memberships() {
    static MembershipPlan plan;
    return plan;
}

// What was announced for this account, taken away; what the creation before
// made and nobody asked for is forgotten (it stays as made, like any
// membership of an account).
std::vector<std::string> TakeAnnouncedGroups(const std::string& account) {
    MembershipPlan& plan = Memberships();
    std::lock_guard guard(plan.lock);
    std::vector<std::string> groups;
    if (plan.account == account) {
        groups = std::move(plan.groups);
    }
    plan.account.clear();
    plan.groups.clear();
    plan.madeFor.clear();
    plan.made.clear();
    return groups;
}

void RememberMadeMemberships(const std::string& account, const std::vector<std::string>& groups) {
    MembershipPlan& plan = Memberships();
    std::lock_guard guard(plan.lock);
    plan.madeFor = account;
    plan.made = groups;
}

// Whether the creation made this membership and it was not asked for yet;
// true only once.
bool TakeMadeMembership(const std::string& account, const std::string& group) {
    MembershipPlan& plan = Memberships();
    std::lock_guard guard(plan.lock);
    if (plan.madeFor != account) {
        return false;
    }
    auto it = std::find(plan.made.begin(), plan.made.end(), group);
    if (it == plan.made.end()) {
        return false;
    }
    plan.made.erase(it);
    return true;
}

// The announced groups useradd can take with -G: they exist now, are not
// the primary group (that request must fail as "a member already", as it
// always did), and have a name useradd's comma-separated list can carry.
std::vector<std::string> GroupsToTakeAlong(const std::vector<std::string>& announced,
                                           gid_t primary) {
    std::vector<std::string> groups;
    for (const std::string& name : announced) {
        auto group = FindGroupByName(name);
        if (!group || group->gid == primary || group->name != name ||
            !IsAcceptableAccountName(Utf8ToUtf16Lossy(name), kMaxGroupNameLength) ||
            std::find(groups.begin(), groups.end(), name) != groups.end()) {
            continue;
        }
        groups.push_back(name);
    }
    return groups;
}

std::string CommaList(const std::vector<std::string>& words) {
    std::string list;
    for (const std::string& word : words) {
        list += (list.empty() ? "" : ",") + word;
    }
    return list;
}

} // namespace

bool IsAcceptableAccountName(const std::u16string& name, std::size_t maxLength) {
    if (name.empty() || name.size() > maxLength || name[0] == u'-' || name == u"." ||
        name == u"..") {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'.' || c == u'_' || c == u'-';
    });
}

NET_API_STATUS NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    if (level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto& record = *reinterpret_cast<const USER_INFO_1*>(buf);
    std::string name;
    std::optional<std::string> comment;
    Secret password;
    if (NET_API_STATUS status = ReadUserRecord(record, parmErr, name, comment, password)) {
        return status;
    }
    const std::vector<std::string> announced = TakeAnnouncedGroups(name);
    if (record.usri1_priv != USER_PRIV_USER) {
        return Refuse(ERROR_INVALID_PARAMETER, parmErr, USER_PRIV_PARMNUM);
    }
    if (!IsAcceptableAccountName(record.usri1_name, kMaxUserNameLength)) {
        return NERR_BadUsername;
    }
    if (NET_API_STATUS status = CheckRoot()) {
        return status;
    }
    if (UserExists(name)) {
        return NERR_UserExists;
    }
    if (GroupExists(name)) {
        return NERR_GroupExists;
    }
    auto hash = StoredHash(password, record.usri1_flags);
    if (!hash) {
        return NERR_InternalError;
    }
    auto primary = FindGroupByName("users");
    std::vector<std::string> together =
        primary ? GroupsToTakeAlong(announced, primary->gid) : std::vector<std::string>{};
    auto arguments = [&](const std::vector<std::string>& groups) {
        std::vector<std::string> args{"-N", "-M", "-g", "users"};
        if ((record.usri1_flags & UF_DONT_EXPIRE_PASSWD) != 0) {
            // No maximum age, whatever the machine's ageing policy says.
            args.insert(args.end(), {"-K", "PASS_MAX_DAYS=-1"});
        }
        if (comment) {
            args.insert(args.end(), {"-c", *comment});
        }
        if (!groups.empty()) {
            args.insert(args.end(), {"-G", CommaList(groups)});
        }
        if (!IsRealSystemRoot()) {
            args.insert(args.end(), {"-p", *hash});
        }
        args.insert(args.end(), {"--", name});
        return args;
    };
    NET_API_STATUS status = Run(Tool::UserAdd, arguments(together));
    if (status == NERR_GroupNotFound && !together.empty()) {
        // A group went away since it was looked up: the account is made on
        // its own, and that membership's own request reports the group.
        together.clear();
        status = Run(Tool::UserAdd, arguments(together));
    }
    if (status == NERR_Success && IsRealSystemRoot()) {
        status = SetPasswordHash(name, *hash, std::nullopt);
        if (status != NERR_Success) {
            // Without its password the new account is not what was asked for.
            Run(Tool::UserDel, {"--", name});
        }
    }
    if (status == NERR_Success) {
        RememberMadeMemberships(name, together);
    }
    std::fill(hash->begin(), hash->end(), '\0');
    return status;
}

NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buf) {
    if (buf != nullptr) {
        *buf = nullptr;
    }
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    if (level != 0 && level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    auto name = user != nullptr ? Narrow(user) : std::nullopt;
    if (!name || buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    auto entry = FindUserByName(*name);
    if (!entry) {
        return NERR_UserNotFound;
    }
    if (level == 0) {
        BlockBuilder builder(sizeof(LPWSTR));
        std::size_t nameAt = builder.Add(Utf8ToUtf16Lossy(entry->name));
        BYTE* block = builder.Build();
        if (block == nullptr) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        *reinterpret_cast<LPWSTR*>(block) = builder.At(block, nameAt);
        *buf = block;
        return NERR_Success;
    }
    BlockBuilder builder(sizeof(USER_INFO_1));
    std::size_t nameAt = builder.Add(Utf8ToUtf16Lossy(entry->name));
    // The home-folder attribute of a Windows account is not its profile, and
    // accounts made here never set it: it reads as empty.
    std::size_t homeAt = builder.Add(u"");
    std::size_t commentAt = builder.Add(Utf8ToUtf16Lossy(entry->gecos));
    std::size_t scriptAt = builder.Add(u"");
    BYTE* block = builder.Build();
    if (block == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    auto* info = reinterpret_cast<USER_INFO_1*>(block);
    info->usri1_name = builder.At(block, nameAt);
    info->usri1_password = nullptr;
    info->usri1_password_age = PasswordAgeOf(*entry);
    info->usri1_priv = IsAdministratorsMember(*entry) ? USER_PRIV_ADMIN : USER_PRIV_USER;
    info->usri1_home_dir = builder.At(block, homeAt);
    info->usri1_comment = builder.At(block, commentAt);
    info->usri1_flags = FlagsOf(*entry);
    info->usri1_script_path = builder.At(block, scriptAt);
    *buf = block;
    return NERR_Success;
}

NET_API_STATUS NetUserSetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE buf,
                              LPDWORD parmErr) {
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    if (level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    auto target = user != nullptr ? Narrow(user) : std::nullopt;
    if (!target || buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    // As on Windows, level 1 does not rename: the record's name is not used.
    const auto& record = *reinterpret_cast<const USER_INFO_1*>(buf);
    std::string ignoredName;
    std::optional<std::string> comment;
    Secret password;
    if (NET_API_STATUS status = ReadUserRecord(record, parmErr, ignoredName, comment, password)) {
        return status;
    }
    if (NET_API_STATUS status = CheckRoot()) {
        return status;
    }
    if (!UserExists(*target)) {
        return NERR_UserNotFound;
    }
    if (record.usri1_password == nullptr) {
        if (!comment) {
            return NERR_Success;
        }
        return Run(Tool::UserMod, {"-c", *comment, "--", *target});
    }
    auto hash = StoredHash(password, record.usri1_flags);
    if (!hash) {
        return NERR_InternalError;
    }
    NET_API_STATUS status = SetPasswordHash(*target, *hash, comment);
    std::fill(hash->begin(), hash->end(), '\0');
    return status;
}

NET_API_STATUS NetUserDel(LPCWSTR server, LPCWSTR user) {
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    auto name = user != nullptr ? Narrow(user) : std::nullopt;
    if (!name) {
        return ERROR_INVALID_PARAMETER;
    }
    if (NET_API_STATUS status = CheckRoot()) {
        return status;
    }
    auto entry = FindUserByName(*name);
    if (!entry) {
        return NERR_UserNotFound;
    }
    if (entry->uid == 0) {
        return ERROR_SPECIAL_ACCOUNT;
    }
    const NET_API_STATUS status = Run(Tool::UserDel, {"--", *name});
    if (status == NERR_Success) {
        // useradd gives freed uids again: an earlier account's kept profile
        // under this uid must not become the next holder's.
        OrphanEarlierProfilesOfUid(entry->uid, *name);
    }
    return status;
}

NET_API_STATUS NetUserModalsGet(LPCWSTR server, DWORD level, LPBYTE* buf) {
    if (buf != nullptr) {
        *buf = nullptr;
    }
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    if (level != 2) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    auto domain = MachineDomainSid();
    if (!domain) {
        return ERROR_FILE_NOT_FOUND;
    }
    BlockBuilder builder(sizeof(USER_MODALS_INFO_2));
    std::size_t sidAt = builder.AddRaw(domain->Size());
    std::size_t nameAt = builder.Add(Utf8ToUtf16Lossy(MachineName()));
    BYTE* block = builder.Build();
    if (block == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    auto* info = reinterpret_cast<USER_MODALS_INFO_2*>(block);
    info->usrmod2_domain_name = builder.At(block, nameAt);
    info->usrmod2_domain_id = builder.At(block, sidAt);
    domain->WriteTo(info->usrmod2_domain_id);
    *buf = block;
    return NERR_Success;
}

NET_API_STATUS NetGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    (void)level;
    (void)buf;
    (void)parmErr;
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    // Global groups live only on a domain controller.
    return NERR_NotPrimary;
}

NET_API_STATUS NetGroupDel(LPCWSTR server, LPCWSTR group) {
    (void)group;
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    return NERR_NotPrimary;
}

NET_API_STATUS NetLocalGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    if (level != 0 && level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    LPCWSTR wideName = reinterpret_cast<const LOCALGROUP_INFO_0*>(buf)->lgrpi0_name;
    LPCWSTR wideComment =
        level == 1 ? reinterpret_cast<const LOCALGROUP_INFO_1*>(buf)->lgrpi1_comment : nullptr;
    auto name = Narrow(wideName);
    if (wideName == nullptr || !name) {
        return Refuse(ERROR_INVALID_PARAMETER, parmErr, LOCALGROUP_NAME_PARMNUM);
    }
    std::optional<std::string> comment;
    if (wideComment != nullptr) {
        comment = Narrow(wideComment);
        if (!comment || !IsAcceptableComment(*comment)) {
            return Refuse(ERROR_INVALID_PARAMETER, parmErr, LOCALGROUP_COMMENT_PARMNUM);
        }
    }
    if (!IsAcceptableAccountName(wideName, kMaxGroupNameLength)) {
        return NERR_BadUsername;
    }
    if (NET_API_STATUS status = CheckRoot()) {
        return status;
    }
    if (GroupExists(*name)) {
        return ERROR_ALIAS_EXISTS;
    }
    if (UserExists(*name)) {
        return NERR_UserExists;
    }
    NET_API_STATUS status = Run(Tool::GroupAdd, {"--", *name});
    if (status == NERR_Success) {
        SetGroupComment(*name, comment);
    }
    return status;
}

NET_API_STATUS NetLocalGroupEnum(LPCWSTR server, DWORD level, LPBYTE* buf, DWORD prefMaxLen,
                                 LPDWORD entriesRead, LPDWORD totalEntries,
                                 PDWORD_PTR resumeHandle) {
    if (buf != nullptr) {
        *buf = nullptr;
    }
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    if (level != 0 && level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr || entriesRead == nullptr || totalEntries == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *entriesRead = 0;
    std::vector<GroupEntry> groups = AllGroupsInFileOrder();
    *totalEntries = static_cast<DWORD>(groups.size());
    std::size_t first = resumeHandle != nullptr ? static_cast<std::size_t>(*resumeHandle) : 0;
    if (first >= groups.size()) {
        if (resumeHandle != nullptr) {
            *resumeHandle = 0;
        }
        return NERR_Success;
    }
    std::size_t recordSize = level == 0 ? sizeof(LOCALGROUP_INFO_0) : sizeof(LOCALGROUP_INFO_1);
    // Take entries while they fit the preferred length (at least one).
    std::size_t last = first;
    std::size_t used = 0;
    std::vector<std::u16string> comments;
    while (last < groups.size()) {
        std::u16string comment =
            level == 1 ? Utf8ToUtf16Lossy(GroupComment(groups[last].name)) : u"";
        std::size_t size = recordSize + 2 * (groups[last].name.size() + comment.size() + 2);
        if (prefMaxLen != MAX_PREFERRED_LENGTH && last > first && used + size > prefMaxLen) {
            break;
        }
        used += size;
        comments.push_back(std::move(comment));
        ++last;
    }
    std::size_t count = last - first;
    BlockBuilder builder(recordSize * count);
    std::vector<std::pair<std::size_t, std::size_t>> offsets;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t nameAt = builder.Add(Utf8ToUtf16Lossy(groups[first + i].name));
        std::size_t commentAt = level == 1 ? builder.Add(comments[i]) : 0;
        offsets.emplace_back(nameAt, commentAt);
    }
    BYTE* block = builder.Build();
    if (block == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (level == 0) {
            reinterpret_cast<LOCALGROUP_INFO_0*>(block)[i].lgrpi0_name =
                builder.At(block, offsets[i].first);
        } else {
            auto& entry = reinterpret_cast<LOCALGROUP_INFO_1*>(block)[i];
            entry.lgrpi1_name = builder.At(block, offsets[i].first);
            entry.lgrpi1_comment = builder.At(block, offsets[i].second);
        }
    }
    *buf = block;
    *entriesRead = static_cast<DWORD>(count);
    if (last < groups.size()) {
        if (resumeHandle != nullptr) {
            *resumeHandle = last;
        }
        return ERROR_MORE_DATA;
    }
    if (resumeHandle != nullptr) {
        *resumeHandle = 0;
    }
    return NERR_Success;
}

NET_API_STATUS NetLocalGroupDel(LPCWSTR server, LPCWSTR group) {
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    auto name = group != nullptr ? Narrow(group) : std::nullopt;
    if (!name) {
        return ERROR_INVALID_PARAMETER;
    }
    if (NET_API_STATUS status = CheckRoot()) {
        return status;
    }
    auto entry = FindGroupByName(*name);
    if (!entry) {
        return NERR_GroupNotFound;
    }
    if (IsAliasGroup(*entry)) {
        return NERR_SpeGroupOp;
    }
    NET_API_STATUS status = Run(Tool::GroupDel, {"--", *name});
    if (status == NERR_Success) {
        SetGroupComment(*name, std::nullopt);
    }
    return status;
}

NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE buf,
                                       DWORD totalEntries) {
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    if (level != 0) {
        return ERROR_INVALID_LEVEL;
    }
    auto name = group != nullptr ? Narrow(group) : std::nullopt;
    if (!name || (buf == nullptr && totalEntries > 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (NET_API_STATUS status = CheckRoot()) {
        return status;
    }
    auto target = FindGroupByName(*name);
    if (!target) {
        return NERR_GroupNotFound;
    }
    // Every member is checked before the first is added, so a refused entry
    // leaves the group as it was.
    const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_0*>(buf);
    std::vector<std::string> names;
    for (DWORD i = 0; i < totalEntries; ++i) {
        auto sid = ReadSid(members[i].lgrmi0_sid);
        if (!sid) {
            return ERROR_INVALID_PARAMETER;
        }
        auto uid = UidOfSid(*sid);
        auto user = uid ? FindUserByUid(*uid) : std::nullopt;
        if (!user) {
            return AccountOfSid(*sid) ? ERROR_INVALID_MEMBER : ERROR_NO_SUCH_MEMBER;
        }
        const bool listed = std::find(target->members.begin(), target->members.end(), user->name) !=
                            target->members.end();
        if (listed && user->gid != target->gid && TakeMadeMembership(user->name, target->name)) {
            continue; // made with the account a moment ago, for this request
        }
        bool member = user->gid == target->gid || listed ||
                      std::find(names.begin(), names.end(), user->name) != names.end();
        if (member) {
            return ERROR_MEMBER_IN_ALIAS;
        }
        names.push_back(user->name);
    }
    for (const std::string& user : names) {
        if (NET_API_STATUS status = Run(Tool::UserMod, {"-a", "-G", *name, "--", user})) {
            return status;
        }
    }
    return NERR_Success;
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    if (buffer == nullptr) {
        return NERR_Success;
    }
    return ReleaseBlock(BlockKind::NetApi, buffer) ? NERR_Success : ERROR_INVALID_PARAMETER;
}

NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf) {
    if (buf != nullptr) {
        *buf = nullptr;
    }
    if (NET_API_STATUS status = CheckLocal(server)) {
        return status;
    }
    if (level != 100) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    BlockBuilder builder(sizeof(WKSTA_INFO_100));
    std::size_t nameAt = builder.Add(Utf8ToUtf16Lossy(MachineName()));
    std::size_t groupAt = builder.Add(u"WORKGROUP");
    BYTE* block = builder.Build();
    if (block == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    auto* info = reinterpret_cast<WKSTA_INFO_100*>(block);
    info->wki100_platform_id = PLATFORM_ID_NT;
    info->wki100_computername = builder.At(block, nameAt);
    info->wki100_langroup = builder.At(block, groupAt);
    info->wki100_ver_major = 10;
    info->wki100_ver_minor = 0;
    *buf = block;
    return NERR_Success;
}

} // namespace nomvera::posix

void nomvera::platform::PrepareMemberships(LPCWSTR account, const std::vector<WideString>& groups) {
    using namespace nomvera::posix;
    std::vector<std::string> names;
    for (const WideString& group : groups) {
        if (auto name = Utf16ToUtf8(group)) {
            names.push_back(std::move(*name));
        }
    }
    auto name = account != nullptr ? Utf16ToUtf8(account) : std::nullopt;
    MembershipPlan& plan = Memberships();
    std::lock_guard guard(plan.lock);
    plan.account = name.value_or("");
    plan.groups = name ? std::move(names) : std::vector<std::string>{};
}
