#include "platform/posix/services/netapi_remote.h"

#include "platform/errors.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/account_credentials.h"
#include "platform/test_doubles.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <initializer_list>
#include <mutex>
#include <string_view>
#include <vector>

#ifndef NOMVERA_LIBRARY_ARCH
#define NOMVERA_LIBRARY_ARCH ""
#endif

namespace nomvera::posix::remote {
namespace {

// Samba's library exports the Windows names with its own records: UTF-8
// text, 32-bit numbers and a SID of fixed size. Only what is used here.
struct SambaContext;
struct SambaSid {
    std::uint8_t revision;
    std::uint8_t count;
    std::uint8_t authority[6];
    std::uint32_t subAuthorities[15];
};
struct SambaUserInfo1 {
    const char* name;
    const char* password;
    std::uint32_t passwordAge;
    std::uint32_t priv;
    const char* homeDir;
    const char* comment;
    std::uint32_t flags;
    const char* scriptPath;
};
struct SambaUserInfo23 {
    const char* name;
    const char* fullName;
    const char* comment;
    std::uint32_t flags;
    SambaSid* sid;
};
struct SambaText {
    const char* text; // USER_INFO_1003 (password) and USER_INFO_1007 (comment)
};
struct SambaNameComment {
    const char* name; // GROUP_INFO_1, LOCALGROUP_INFO_1 (LOCALGROUP_INFO_0: name only)
    const char* comment;
};
struct SambaMember0 {
    SambaSid* sid;
};
struct SambaGroupInfo3 {
    const char* name;
    const char* comment;
    SambaSid* sid;
    std::uint32_t attributes;
};
struct SambaModals2 {
    const char* domainName;
    SambaSid* domainSid;
};
struct SambaWorkstation100 {
    std::uint32_t platformId;
    const char* computerName;
    const char* lanGroup;
    std::uint32_t versionMajor;
    std::uint32_t versionMinor;
};

using Status = std::uint32_t;
struct SambaApi {
    void* handle = nullptr;
    SambaContext* context = nullptr;
    Status (*init)(SambaContext**) = nullptr;
    Status (*free)(SambaContext*) = nullptr;
    Status (*setDebugLevel)(SambaContext*, const char*) = nullptr;
    Status (*setUsername)(SambaContext*, const char*) = nullptr;
    Status (*setPassword)(SambaContext*, const char*) = nullptr;
    Status (*setWorkgroup)(SambaContext*, const char*) = nullptr;
    Status (*setUseKerberos)(SambaContext*) = nullptr;
    Status (*setUseCcache)(SambaContext*) = nullptr;
    char* (*errorString)(SambaContext*, Status) = nullptr;
    Status (*bufferFree)(void*) = nullptr;
    Status (*userAdd)(const char*, std::uint32_t, std::uint8_t*, std::uint32_t*) = nullptr;
    Status (*userDel)(const char*, const char*) = nullptr;
    Status (*userGetInfo)(const char*, const char*, std::uint32_t, std::uint8_t**) = nullptr;
    Status (*userSetInfo)(const char*, const char*, std::uint32_t, std::uint8_t*,
                          std::uint32_t*) = nullptr;
    Status (*userModalsGet)(const char*, std::uint32_t, std::uint8_t**) = nullptr;
    Status (*groupAdd)(const char*, std::uint32_t, std::uint8_t*, std::uint32_t*) = nullptr;
    Status (*groupDel)(const char*, const char*) = nullptr;
    Status (*groupGetInfo)(const char*, const char*, std::uint32_t, std::uint8_t**) = nullptr;
    Status (*localGroupAdd)(const char*, std::uint32_t, std::uint8_t*, std::uint32_t*) = nullptr;
    Status (*localGroupDel)(const char*, const char*) = nullptr;
    Status (*localGroupAddMembers)(const char*, const char*, std::uint32_t, std::uint8_t*,
                                   std::uint32_t) = nullptr;
    Status (*localGroupEnum)(const char*, std::uint32_t, std::uint8_t**, std::uint32_t,
                             std::uint32_t*, std::uint32_t*, std::uint32_t*) = nullptr;
    Status (*wkstaGetInfo)(const char*, std::uint32_t, std::uint8_t**) = nullptr;
};

constexpr char kLibraryName[] = "libnetapi.so.1";
constexpr std::size_t kMaxUserNameLength = 20;

// Samba's library keeps one context per process and is not safe to call
// from two threads at once: every call holds this lock.
std::mutex sambaLock;
SambaApi samba;
bool loadTried = false;
Status loadStatus = ERROR_MOD_NOT_FOUND;
std::string libraryOverride;
bool contextReady = false;
std::string signedInWith; // the credentials file and server the context was set up for

thread_local DWORD lastRemoteCode = 0;
thread_local std::string lastRemoteText;
thread_local bool lastWasRefusal = false; // the credentials file was refused

template <class Fn> bool Bind(void* handle, Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(dlsym(handle, name));
    return fn != nullptr;
}

Status Load() {
    if (loadTried) {
        return loadStatus;
    }
    loadTried = true;
    DWORD status = NERR_Success;
    std::string path = FindSystemLibrary(kLibraryName, libraryOverride, status);
    if (status != NERR_Success) {
        return loadStatus = status;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return loadStatus = ERROR_MOD_NOT_FOUND;
    }
    SambaApi api;
    api.handle = handle;
    api.context = samba.context; // a context of an earlier load stays in use
    bool bound =
        Bind(handle, api.init, "libnetapi_init") && Bind(handle, api.free, "libnetapi_free") &&
        Bind(handle, api.setDebugLevel, "libnetapi_set_debuglevel") &&
        Bind(handle, api.setUsername, "libnetapi_set_username") &&
        Bind(handle, api.setPassword, "libnetapi_set_password") &&
        Bind(handle, api.setWorkgroup, "libnetapi_set_workgroup") &&
        Bind(handle, api.setUseKerberos, "libnetapi_set_use_kerberos") &&
        Bind(handle, api.setUseCcache, "libnetapi_set_use_ccache") &&
        Bind(handle, api.errorString, "libnetapi_get_error_string") &&
        Bind(handle, api.bufferFree, "NetApiBufferFree") &&
        Bind(handle, api.userAdd, "NetUserAdd") && Bind(handle, api.userDel, "NetUserDel") &&
        Bind(handle, api.userGetInfo, "NetUserGetInfo") &&
        Bind(handle, api.userSetInfo, "NetUserSetInfo") &&
        Bind(handle, api.userModalsGet, "NetUserModalsGet") &&
        Bind(handle, api.groupAdd, "NetGroupAdd") && Bind(handle, api.groupDel, "NetGroupDel") &&
        Bind(handle, api.groupGetInfo, "NetGroupGetInfo") &&
        Bind(handle, api.localGroupAdd, "NetLocalGroupAdd") &&
        Bind(handle, api.localGroupDel, "NetLocalGroupDel") &&
        Bind(handle, api.localGroupAddMembers, "NetLocalGroupAddMembers") &&
        Bind(handle, api.localGroupEnum, "NetLocalGroupEnum") &&
        Bind(handle, api.wkstaGetInfo, "NetWkstaGetInfo");
    if (!bound) {
        dlclose(handle);
        return loadStatus = ERROR_PROC_NOT_FOUND;
    }
    samba = api;
    return loadStatus = NERR_Success;
}

// Sets the context up for the credentials the environment names, anew when
// they or the server changed since the last call.
Status SignIn(const std::string& server) {
    const char* variable = std::getenv(kAccountCredentialsVariable);
    std::string path = variable != nullptr ? variable : "";
    std::string key = path + '\n' + server;
    if (contextReady && key == signedInWith) {
        return NERR_Success;
    }
    if (samba.context != nullptr) {
        samba.free(samba.context);
        samba.context = nullptr;
        contextReady = false;
    }
    std::optional<AccountCredentials> credentials;
    if (!path.empty()) {
        CredentialsRead read = ReadCredentialsFile(path);
        if (!read.credentials) {
            lastRemoteCode = ERROR_ACCESS_DENIED;
            lastRemoteText = "Access was refused: the credentials file " + read.error + ".\r\n";
            lastWasRefusal = true;
            return ERROR_ACCESS_DENIED;
        }
        credentials = std::move(read.credentials);
    }
    if (Status status = samba.init(&samba.context); status != NERR_Success) {
        samba.context = nullptr;
        return status;
    }
    samba.setDebugLevel(samba.context, "0");
    switch (WayOfSigningIn(server, credentials)) {
    case SignInWay::Kerberos:
        samba.setUsername(samba.context, credentials->user.c_str());
        samba.setPassword(samba.context, credentials->password.c_str());
        samba.setUseKerberos(samba.context);
        break;
    case SignInWay::Password:
        if (!credentials->domain.empty()) {
            samba.setWorkgroup(samba.context, credentials->domain.c_str());
        }
        samba.setUsername(samba.context, credentials->user.c_str());
        samba.setPassword(samba.context, credentials->password.c_str());
        break;
    case SignInWay::TicketCache:
        samba.setUseCcache(samba.context);
        break;
    case SignInWay::Anonymous:
        break;
    }
    contextReady = true;
    signedInWith = key;
    return NERR_Success;
}

// The host part of "\\\\HOST" or "HOST": a DNS name or an address, nothing
// that could read as an option or a path to the server's library.
std::optional<std::string> ServerName(LPCWSTR server) {
    auto name = Utf16ToUtf8(server == nullptr ? u"" : server);
    if (!name) {
        return std::nullopt;
    }
    std::size_t slashes = name->find_first_not_of('\\');
    name->erase(0, slashes == std::string::npos ? name->size() : slashes);
    constexpr std::string_view kHostCharacters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_:[]";
    if (name->empty() || name->size() > 255 || name->front() == '-' ||
        name->find_first_not_of(kHostCharacters) != std::string::npos) {
        return std::nullopt;
    }
    return name;
}

// Samba's answer in the code the Windows call gives for it.
using CodeMap = std::initializer_list<std::pair<Status, NET_API_STATUS>>;
constexpr CodeMap kUserCodes = {{1332, NERR_UserNotFound}};
constexpr CodeMap kGroupCodes = {{1332, NERR_GroupNotFound}};
constexpr CodeMap kAddCodes = {{1316, NERR_UserExists},
                               {1318, NERR_GroupExists},
                               {1325, NERR_PasswordTooShort},
                               {1358, NERR_BadUsername}};
constexpr CodeMap kMemberCodes = {
    {1320, ERROR_MEMBER_IN_ALIAS}, {1358, ERROR_NO_SUCH_MEMBER}, {1332, NERR_GroupNotFound}};

// Loads the library, signs in and runs one call under the lock; Samba's
// codes become the Windows ones, and for a code only Samba gives its own
// text is kept for the message of the line.
template <class Call> NET_API_STATUS Forward(LPCWSTR server, CodeMap codes, Call call) {
    std::lock_guard<std::mutex> guard(sambaLock);
    lastRemoteCode = 0;
    lastRemoteText.clear();
    lastWasRefusal = false;
    auto host = ServerName(server);
    if (!host) {
        return ERROR_BAD_NETPATH;
    }
    if (Status status = Load(); status != NERR_Success) {
        return status;
    }
    if (Status status = SignIn(*host); status != NERR_Success) {
        return status;
    }
    Status status = call(host->c_str());
    for (const auto& [samba_code, windows_code] : codes) {
        if (status == samba_code) {
            return windows_code;
        }
    }
    if (status != NERR_Success && status != ERROR_MORE_DATA) {
        if (char* text = samba.errorString(samba.context, status); text != nullptr) {
            lastRemoteCode = status;
            lastRemoteText = std::string(text) + ".\r\n";
            samba.bufferFree(text);
        }
    }
    return status;
}

// Samba's buffer, freed when the call's answer has been copied.
struct SambaBuffer {
    std::uint8_t* data = nullptr;
    ~SambaBuffer() {
        if (data != nullptr) {
            samba.bufferFree(data);
        }
    }
};

// One block of the stand-in's own: the records, then their texts (UTF-16)
// and raw SIDs. The caller frees it with NetApiBufferFree.
class RecordBlock {
public:
    explicit RecordBlock(std::size_t fixedSize) : fixed_((fixedSize + 7) & ~std::size_t{7}) {}
    std::size_t Text(const char* utf8) {
        std::size_t offset = area_.size();
        std::u16string text = Utf8ToUtf16Lossy(utf8 == nullptr ? "" : utf8);
        area_.insert(area_.end(), text.begin(), text.end());
        area_.push_back(u'\0');
        return offset;
    }
    std::size_t Sid(const SidValue& sid) {
        if (area_.size() % 2 != 0) {
            area_.push_back(u'\0');
        }
        std::size_t offset = area_.size();
        area_.resize(area_.size() + (sid.Size() + 1) / 2, u'\0');
        sids_.emplace_back(offset, sid);
        return offset;
    }
    BYTE* Build() {
        auto* block =
            static_cast<BYTE*>(AllocateBlock(BlockKind::NetApi, fixed_ + area_.size() * 2));
        if (block != nullptr) {
            std::memcpy(block + fixed_, area_.data(), area_.size() * 2);
            for (const auto& [offset, sid] : sids_) {
                sid.WriteTo(At(block, offset));
            }
        }
        return block;
    }
    LPWSTR At(BYTE* block, std::size_t offset) const {
        return reinterpret_cast<LPWSTR>(block + fixed_) + offset;
    }

private:
    std::size_t fixed_;
    std::u16string area_;
    std::vector<std::pair<std::size_t, SidValue>> sids_;
};

std::optional<SidValue> SidOfSamba(const SambaSid* sid) {
    return sid != nullptr && sid->count <= 15 ? ReadSid(sid) : std::nullopt;
}

std::optional<std::string> Text(LPCWSTR text) {
    return text == nullptr ? std::optional<std::string>{} : Utf16ToUtf8(text);
}

// A text field that may be absent: null stays null; a lone surrogate is refused.
bool OptionalText(LPCWSTR text, std::optional<std::string>& out) {
    if (text == nullptr) {
        return true;
    }
    out = Utf16ToUtf8(text);
    return out.has_value();
}

const char* OrNull(const std::optional<std::string>& text) {
    return text ? text->c_str() : nullptr;
}

// A password's copy, wiped when it goes.
struct Secret {
    std::optional<std::string> text;
    ~Secret() {
        if (text && !text->empty()) {
            explicit_bzero(text->data(), text->size());
        }
    }
};

NET_API_STATUS NameCommentAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr,
                              bool global) {
    if (level != 0 && level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    // GROUP_INFO_1 and LOCALGROUP_INFO_1 are the same pair; level 0 is the name alone.
    const auto* record = reinterpret_cast<const GROUP_INFO_1*>(buf);
    auto name = Text(record->grpi1_name);
    std::optional<std::string> comment;
    if (!name || !OptionalText(level == 1 ? record->grpi1_comment : nullptr, comment)) {
        if (parmErr != nullptr) {
            *parmErr = name ? LOCALGROUP_COMMENT_PARMNUM : LOCALGROUP_NAME_PARMNUM;
        }
        return ERROR_INVALID_PARAMETER;
    }
    SambaNameComment info{name->c_str(), OrNull(comment)};
    return Forward(server, kAddCodes, [&](const char* host) {
        std::uint32_t error = 0;
        auto* data = reinterpret_cast<std::uint8_t*>(&info);
        return global ? samba.groupAdd(host, 1, data, &error)
                      : samba.localGroupAdd(host, 1, data, &error);
    });
}

NET_API_STATUS NameDel(LPCWSTR server, LPCWSTR name, CodeMap codes,
                       Status (*SambaApi::*call)(const char*, const char*)) {
    auto text = Text(name);
    if (!text) {
        return ERROR_INVALID_PARAMETER;
    }
    return Forward(server, codes,
                   [&](const char* host) { return (samba.*call)(host, text->c_str()); });
}

} // namespace

std::string FindSystemLibrary(const std::string& name, const std::string& override, DWORD& status) {
    if (!override.empty()) {
        TrustedFile file = UnchangeableByOthers(override);
        status = file.real.empty()
                     ? (file.error == EACCES ? ERROR_ACCESS_DENIED : ERROR_MOD_NOT_FOUND)
                     : NERR_Success;
        return file.real;
    }
    const std::string arch = NOMVERA_LIBRARY_ARCH;
    std::vector<std::string> folders;
    if (!arch.empty()) {
        folders.insert(folders.end(), {"/usr/lib/" + arch, "/lib/" + arch});
    }
    folders.insert(folders.end(), {"/usr/lib64", "/lib64", "/usr/lib", "/lib"});
    for (const std::string& folder : folders) {
        TrustedFile file = UnchangeableByOthers(folder + "/" + name);
        if (!file.real.empty()) {
            status = NERR_Success;
            return file.real;
        }
        if (file.error == EACCES) {
            status = ERROR_ACCESS_DENIED;
            return {};
        }
    }
    status = ERROR_MOD_NOT_FOUND;
    return {};
}

DWORD AccountControlOfFlags(DWORD userFlags) {
    // UF_ bit -> SAMR account-control bit (UF_SCRIPT has none).
    static constexpr std::pair<DWORD, DWORD> kBits[] = {
        {0x0002, 0x00001},   {0x0008, 0x00002},   {0x0010, 0x00400},   {0x0020, 0x00004},
        {0x0080, 0x00800},   {0x0100, 0x00008},   {0x0200, 0x00010},   {0x0800, 0x00040},
        {0x1000, 0x00080},   {0x2000, 0x00100},   {0x10000, 0x00200},  {0x20000, 0x00020},
        {0x40000, 0x01000},  {0x80000, 0x02000},  {0x100000, 0x04000}, {0x200000, 0x08000},
        {0x400000, 0x10000}, {0x800000, 0x20000}, {0x1000000, 0x40000}};
    DWORD bits = 0;
    for (const auto& [uf, acb] : kBits) {
        if ((userFlags & uf) != 0) {
            bits |= acb;
        }
    }
    return bits;
}

const char* LastRemoteMessage(DWORD code) {
    return code != 0 && code == lastRemoteCode && !lastRemoteText.empty() ? lastRemoteText.c_str()
                                                                          : nullptr;
}

const char* CredentialsRefusalMessage(DWORD code) {
    return code == ERROR_ACCESS_DENIED && lastWasRefusal ? LastRemoteMessage(code) : nullptr;
}

NET_API_STATUS NetUserAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    if (level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto& record = *reinterpret_cast<const USER_INFO_1*>(buf);
    auto refuse = [&](DWORD field) {
        if (parmErr != nullptr) {
            *parmErr = field;
        }
        return ERROR_INVALID_PARAMETER;
    };
    auto name = Text(record.usri1_name);
    if (!name) {
        return refuse(USER_NAME_PARMNUM);
    }
    Secret password;
    if (!OptionalText(record.usri1_password, password.text)) {
        return refuse(USER_PASSWORD_PARMNUM);
    }
    std::optional<std::string> comment;
    if (!OptionalText(record.usri1_comment, comment)) {
        return refuse(USER_COMMENT_PARMNUM);
    }
    if (record.usri1_priv != USER_PRIV_USER) {
        return refuse(USER_PRIV_PARMNUM);
    }
    // The server would take a longer name; an account name has at most 20
    // characters wherever it is made.
    if (name->empty() || WideLength(record.usri1_name) > kMaxUserNameLength) {
        return NERR_BadUsername;
    }
    SambaUserInfo1 info{};
    info.name = name->c_str();
    info.password = OrNull(password.text);
    info.priv = USER_PRIV_USER;
    info.comment = OrNull(comment);
    info.flags = AccountControlOfFlags(record.usri1_flags);
    return Forward(server, kAddCodes, [&](const char* host) {
        std::uint32_t error = 0;
        return samba.userAdd(host, 1, reinterpret_cast<std::uint8_t*>(&info), &error);
    });
}

NET_API_STATUS NetUserGetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* buf) {
    if (buf != nullptr) {
        *buf = nullptr;
    }
    if (level != 0 && level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    auto name = Text(user);
    if (!name || buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return Forward(server, kUserCodes, [&](const char* host) -> Status {
        SambaBuffer answer;
        Status status = samba.userGetInfo(host, name->c_str(), 1, &answer.data);
        if (status != NERR_Success || answer.data == nullptr) {
            return status != NERR_Success ? status : Status{NERR_InternalError};
        }
        const auto& info = *reinterpret_cast<const SambaUserInfo1*>(answer.data);
        if (level == 0) {
            RecordBlock block(sizeof(LPWSTR));
            std::size_t nameAt = block.Text(info.name);
            BYTE* out = block.Build();
            if (out == nullptr) {
                return ERROR_NOT_ENOUGH_MEMORY;
            }
            *reinterpret_cast<LPWSTR*>(out) = block.At(out, nameAt);
            *buf = out;
            return NERR_Success;
        }
        RecordBlock block(sizeof(USER_INFO_1));
        std::size_t nameAt = block.Text(info.name);
        std::size_t homeAt = block.Text(info.homeDir);
        std::size_t commentAt = block.Text(info.comment);
        std::size_t scriptAt = block.Text(info.scriptPath);
        BYTE* out = block.Build();
        if (out == nullptr) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        auto* record = reinterpret_cast<USER_INFO_1*>(out);
        record->usri1_name = block.At(out, nameAt);
        record->usri1_password = nullptr;
        record->usri1_password_age = info.passwordAge;
        record->usri1_priv = info.priv;
        record->usri1_home_dir = block.At(out, homeAt);
        record->usri1_comment = block.At(out, commentAt);
        record->usri1_flags = info.flags; // read back as UF_ bits
        record->usri1_script_path = block.At(out, scriptAt);
        *buf = out;
        return NERR_Success;
    });
}

NET_API_STATUS NetUserSetInfo(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE buf,
                              LPDWORD parmErr) {
    if (level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    auto name = Text(user);
    if (!name || buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto& record = *reinterpret_cast<const USER_INFO_1*>(buf);
    Secret password;
    std::optional<std::string> comment;
    if (!OptionalText(record.usri1_password, password.text) ||
        !OptionalText(record.usri1_comment, comment)) {
        if (parmErr != nullptr) {
            *parmErr = password.text || record.usri1_password == nullptr ? USER_COMMENT_PARMNUM
                                                                         : USER_PASSWORD_PARMNUM;
        }
        return ERROR_INVALID_PARAMETER;
    }
    // The server does not take level 1: the password and the comment each
    // go at their own level.
    NET_API_STATUS status = NERR_Success;
    if (password.text) {
        SambaText info{password.text->c_str()};
        status = Forward(server, kUserCodes, [&](const char* host) {
            std::uint32_t error = 0;
            return samba.userSetInfo(host, name->c_str(), 1003,
                                     reinterpret_cast<std::uint8_t*>(&info), &error);
        });
    }
    if (status == NERR_Success && comment) {
        SambaText info{comment->c_str()};
        status = Forward(server, kUserCodes, [&](const char* host) {
            std::uint32_t error = 0;
            return samba.userSetInfo(host, name->c_str(), 1007,
                                     reinterpret_cast<std::uint8_t*>(&info), &error);
        });
    }
    return status;
}

NET_API_STATUS NetUserDel(LPCWSTR server, LPCWSTR user) {
    return NameDel(server, user, kUserCodes, &SambaApi::userDel);
}

NET_API_STATUS NetUserModalsGet(LPCWSTR server, DWORD level, LPBYTE* buf) {
    if (buf != nullptr) {
        *buf = nullptr;
    }
    if (level != 2) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return Forward(server, {}, [&](const char* host) -> Status {
        SambaBuffer answer;
        Status status = samba.userModalsGet(host, 2, &answer.data);
        if (status != NERR_Success || answer.data == nullptr) {
            return status != NERR_Success ? status : Status{NERR_InternalError};
        }
        const auto& info = *reinterpret_cast<const SambaModals2*>(answer.data);
        auto sid = SidOfSamba(info.domainSid);
        if (!sid) {
            return NERR_InternalError;
        }
        RecordBlock block(sizeof(USER_MODALS_INFO_2));
        std::size_t sidAt = block.Sid(*sid);
        std::size_t nameAt = block.Text(info.domainName);
        BYTE* out = block.Build();
        if (out == nullptr) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        auto* record = reinterpret_cast<USER_MODALS_INFO_2*>(out);
        record->usrmod2_domain_name = block.At(out, nameAt);
        record->usrmod2_domain_id = block.At(out, sidAt);
        *buf = out;
        return NERR_Success;
    });
}

NET_API_STATUS NetGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return NameCommentAdd(server, level, buf, parmErr, true);
}

NET_API_STATUS NetGroupDel(LPCWSTR server, LPCWSTR group) {
    return NameDel(server, group, kGroupCodes, &SambaApi::groupDel);
}

NET_API_STATUS NetLocalGroupAdd(LPCWSTR server, DWORD level, LPBYTE buf, LPDWORD parmErr) {
    return NameCommentAdd(server, level, buf, parmErr, false);
}

NET_API_STATUS NetLocalGroupDel(LPCWSTR server, LPCWSTR group) {
    return NameDel(server, group, kGroupCodes, &SambaApi::localGroupDel);
}

NET_API_STATUS NetLocalGroupEnum(LPCWSTR server, DWORD level, LPBYTE* buf, DWORD prefMaxLen,
                                 LPDWORD entriesRead, LPDWORD totalEntries,
                                 PDWORD_PTR resumeHandle) {
    if (buf != nullptr) {
        *buf = nullptr;
    }
    if (level != 0 && level != 1) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr || entriesRead == nullptr || totalEntries == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *entriesRead = 0;
    *totalEntries = 0;
    return Forward(server, {}, [&](const char* host) -> Status {
        SambaBuffer answer;
        std::uint32_t read = 0;
        std::uint32_t total = 0;
        std::uint32_t resume =
            resumeHandle != nullptr ? static_cast<std::uint32_t>(*resumeHandle) : 0;
        // Samba's library needs the handle even for a single call.
        Status status =
            samba.localGroupEnum(host, 1, &answer.data, prefMaxLen, &read, &total, &resume);
        if ((status != NERR_Success && status != ERROR_MORE_DATA) ||
            (read > 0 && answer.data == nullptr)) {
            return status != NERR_Success ? status : Status{NERR_InternalError};
        }
        const auto* entries = reinterpret_cast<const SambaNameComment*>(answer.data);
        std::size_t recordSize = level == 0 ? sizeof(LOCALGROUP_INFO_0) : sizeof(LOCALGROUP_INFO_1);
        RecordBlock block(recordSize * read);
        std::vector<std::pair<std::size_t, std::size_t>> offsets;
        for (std::uint32_t i = 0; i < read; ++i) {
            std::size_t nameAt = block.Text(entries[i].name);
            offsets.emplace_back(nameAt, level == 1 ? block.Text(entries[i].comment) : 0);
        }
        BYTE* out = block.Build();
        if (out == nullptr) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        for (std::uint32_t i = 0; i < read; ++i) {
            if (level == 0) {
                reinterpret_cast<LOCALGROUP_INFO_0*>(out)[i].lgrpi0_name =
                    block.At(out, offsets[i].first);
            } else {
                auto& entry = reinterpret_cast<LOCALGROUP_INFO_1*>(out)[i];
                entry.lgrpi1_name = block.At(out, offsets[i].first);
                entry.lgrpi1_comment = block.At(out, offsets[i].second);
            }
        }
        *buf = out;
        *entriesRead = read;
        *totalEntries = total;
        if (resumeHandle != nullptr) {
            *resumeHandle = resume;
        }
        return status;
    });
}

NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE buf,
                                       DWORD totalEntries) {
    // Only SIDs (level 0): Samba's library aborts the process on names (level 3).
    if (level != 0) {
        return ERROR_INVALID_LEVEL;
    }
    auto name = Text(group);
    if (!name || (buf == nullptr && totalEntries > 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    // Every SID is checked here first: a missing one would crash Samba's library.
    const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_0*>(buf);
    std::vector<SambaSid> sids(totalEntries);
    std::vector<SambaMember0> entries(totalEntries);
    for (DWORD i = 0; i < totalEntries; ++i) {
        auto sid = ReadSid(members[i].lgrmi0_sid);
        if (!sid || sid->subAuthorities.size() > 15) {
            return ERROR_INVALID_PARAMETER;
        }
        sids[i] = SambaSid{};
        sid->WriteTo(&sids[i]);
        entries[i].sid = &sids[i];
    }
    return Forward(server, kMemberCodes, [&](const char* host) {
        return samba.localGroupAddMembers(
            host, name->c_str(), 0, reinterpret_cast<std::uint8_t*>(entries.data()), totalEntries);
    });
}

NET_API_STATUS NetWkstaGetInfo(LPCWSTR server, DWORD level, LPBYTE* buf) {
    if (buf != nullptr) {
        *buf = nullptr;
    }
    if (level != 100) {
        return ERROR_INVALID_LEVEL;
    }
    if (buf == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return Forward(server, {}, [&](const char* host) -> Status {
        SambaBuffer answer;
        Status status = samba.wkstaGetInfo(host, 100, &answer.data);
        if (status != NERR_Success || answer.data == nullptr) {
            return status != NERR_Success ? status : Status{NERR_InternalError};
        }
        const auto& info = *reinterpret_cast<const SambaWorkstation100*>(answer.data);
        RecordBlock block(sizeof(WKSTA_INFO_100));
        std::size_t nameAt = block.Text(info.computerName);
        std::size_t groupAt = block.Text(info.lanGroup);
        BYTE* out = block.Build();
        if (out == nullptr) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        auto* record = reinterpret_cast<WKSTA_INFO_100*>(out);
        record->wki100_platform_id = info.platformId;
        record->wki100_computername = block.At(out, nameAt);
        record->wki100_langroup = block.At(out, groupAt);
        record->wki100_ver_major = info.versionMajor;
        record->wki100_ver_minor = info.versionMinor;
        *buf = out;
        return NERR_Success;
    });
}

AccountLookup SidOfAccount(LPCWSTR server, LPCWSTR accountName) {
    AccountLookup result;
    auto name = Text(accountName);
    if (!name) {
        result.code = ERROR_INVALID_PARAMETER;
        return result;
    }
    // "DOMAIN\name": the server answers for its own domain only.
    std::string account = *name;
    if (std::size_t slash = account.rfind('\\'); slash != std::string::npos) {
        account.erase(0, slash + 1);
    }
    std::optional<SidValue> sid;
    SID_NAME_USE use = SidTypeUser;
    std::string domain;
    NET_API_STATUS status =
        Forward(server, {{1332, ERROR_NONE_MAPPED}}, [&](const char* host) -> Status {
            SambaBuffer found;
            Status code = samba.userGetInfo(host, account.c_str(), 23, &found.data);
            if (code == NERR_Success && found.data != nullptr) {
                sid = SidOfSamba(reinterpret_cast<const SambaUserInfo23*>(found.data)->sid);
            } else if (code == 1332 || code == 1317) {
                // No user of that name (1317: a name, but not a user's): a
                // global group of the domain may bear it. When neither is
                // found, the user's answer stands.
                SambaBuffer group;
                if (samba.groupGetInfo(host, account.c_str(), 3, &group.data) == NERR_Success &&
                    group.data != nullptr) {
                    sid = SidOfSamba(reinterpret_cast<const SambaGroupInfo3*>(group.data)->sid);
                    use = SidTypeGroup;
                    code = NERR_Success;
                }
            }
            if (code != NERR_Success) {
                return code;
            }
            if (!sid) {
                return ERROR_NONE_MAPPED;
            }
            SambaBuffer modals;
            code = samba.userModalsGet(host, 2, &modals.data);
            if (code == NERR_Success && modals.data != nullptr) {
                const char* text = reinterpret_cast<const SambaModals2*>(modals.data)->domainName;
                domain = text != nullptr ? text : "";
            }
            return sid ? Status{NERR_Success} : Status{ERROR_NONE_MAPPED};
        });
    if (status != NERR_Success) {
        result.code = status;
        return result;
    }
    result.found.emplace(*sid, AccountOfSidResult{account, domain, use});
    return result;
}

AccountLookup NameOfBuiltinAlias(LPCWSTR server, const SidValue& sid) {
    // The names the built-in aliases have in a domain; the server's library
    // has no SID look-up, so the name is confirmed by its list of groups.
    static constexpr std::pair<std::uint32_t, const char*> kAliases[] = {
        {544, "Administrators"}, {545, "Users"}, {546, "Guests"}, {555, "Remote Desktop Users"}};
    AccountLookup result;
    result.code = ERROR_NONE_MAPPED;
    const char* wanted = nullptr;
    if (sid.authority == 5 && sid.subAuthorities.size() == 2 && sid.subAuthorities[0] == 32) {
        for (const auto& [rid, name] : kAliases) {
            if (sid.subAuthorities[1] == rid) {
                wanted = name;
            }
        }
    }
    if (wanted == nullptr) {
        return result;
    }
    bool present = false;
    NET_API_STATUS status = Forward(server, {}, [&](const char* host) -> Status {
        SambaBuffer answer;
        std::uint32_t read = 0;
        std::uint32_t total = 0;
        std::uint32_t resume = 0;
        Status code =
            samba.localGroupEnum(host, 0, &answer.data, 0xFFFFFFFF, &read, &total, &resume);
        const auto* entries = reinterpret_cast<const SambaNameComment*>(answer.data);
        for (std::uint32_t i = 0; answer.data != nullptr && i < read; ++i) {
            // Level 0 records hold the name alone.
            const char* name = reinterpret_cast<const char* const*>(entries)[i];
            present = present || (name != nullptr && std::strcmp(name, wanted) == 0);
        }
        return code == ERROR_MORE_DATA ? Status{NERR_Success} : code;
    });
    if (status != NERR_Success) {
        result.code = status;
    } else if (present) {
        result.code = NERR_Success;
        result.found.emplace(sid, AccountOfSidResult{wanted, "BUILTIN", SidTypeAlias});
    }
    return result;
}

} // namespace nomvera::posix::remote

namespace nomvera::platform::test_double {
void UseDomainLibrary(const char* path) {
    std::lock_guard<std::mutex> guard(nomvera::posix::remote::sambaLock);
    nomvera::posix::remote::libraryOverride = path == nullptr ? "" : path;
    nomvera::posix::remote::loadTried = false;
    nomvera::posix::remote::contextReady = false;
}
} // namespace nomvera::platform::test_double
