#include "platform/posix/services/winbind_accounts.h"

#include "platform/posix/services/netapi_remote.h"

#include <cstdint>
#include <dlfcn.h>
#include <mutex>
#include <pwd.h>
#include <strings.h>

namespace nomvera::posix::winbind {
namespace {

// libwbclient's records and entry points; only what is used here.
struct WinbindSid {
    std::uint8_t revision;
    std::uint8_t count;
    std::uint8_t authority[6];
    std::uint32_t subAuthorities[15];
};
constexpr int kWinbindSuccess = 0;

struct WinbindApi {
    int (*sidToUid)(const WinbindSid*, uid_t*) = nullptr;
    int (*getpwuid)(uid_t, passwd**) = nullptr;
    void (*freeMemory)(void*) = nullptr;
};

constexpr char kLibraryName[] = "libwbclient.so.0";

std::mutex winbindLock;
WinbindApi api;
bool loadTried = false;
DWORD loadStatus = ERROR_MOD_NOT_FOUND;

DWORD Load() {
    if (loadTried) {
        return loadStatus;
    }
    loadTried = true;
    DWORD status = 0;
    std::string path = remote::FindSystemLibrary(kLibraryName, {}, status);
    if (status != 0) {
        return loadStatus = status;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return loadStatus = ERROR_MOD_NOT_FOUND;
    }
    WinbindApi bound;
    bound.sidToUid = reinterpret_cast<decltype(bound.sidToUid)>(dlsym(handle, "wbcSidToUid"));
    bound.getpwuid = reinterpret_cast<decltype(bound.getpwuid)>(dlsym(handle, "wbcGetpwuid"));
    bound.freeMemory = reinterpret_cast<decltype(bound.freeMemory)>(dlsym(handle, "wbcFreeMemory"));
    if (bound.sidToUid == nullptr || bound.getpwuid == nullptr || bound.freeMemory == nullptr) {
        dlclose(handle);
        return loadStatus = ERROR_PROC_NOT_FOUND;
    }
    api = bound;
    return loadStatus = 0;
}

std::optional<WinbindSid> ToWinbind(const SidValue& sid) {
    if (sid.subAuthorities.size() > 15 || sid.authority >= (std::uint64_t{1} << 48)) {
        return std::nullopt;
    }
    WinbindSid out{};
    out.revision = 1;
    out.count = static_cast<std::uint8_t>(sid.subAuthorities.size());
    for (int i = 0; i < 6; ++i) {
        out.authority[i] = static_cast<std::uint8_t>(sid.authority >> (8 * (5 - i)));
    }
    for (std::size_t i = 0; i < sid.subAuthorities.size(); ++i) {
        out.subAuthorities[i] = sid.subAuthorities[i];
    }
    return out;
}

} // namespace

DomainAccount AccountOfSid(const SidValue& sid) {
    DomainAccount result;
    auto raw = ToWinbind(sid);
    if (!raw) {
        return result;
    }
    std::lock_guard<std::mutex> guard(winbindLock);
    if (DWORD status = Load(); status != 0) {
        // A missing library is a host outside any domain: nothing maps.
        result.code = status == ERROR_ACCESS_DENIED ? ERROR_ACCESS_DENIED : ERROR_NONE_MAPPED;
        return result;
    }
    uid_t uid = 0;
    passwd* entry = nullptr;
    if (api.sidToUid(&*raw, &uid) != kWinbindSuccess ||
        api.getpwuid(uid, &entry) != kWinbindSuccess || entry == nullptr) {
        return result;
    }
    // Root's uid or group never stands for a domain account.
    if (entry->pw_uid == uid && uid != 0 && entry->pw_gid != 0 && entry->pw_name != nullptr) {
        result.user = PasswdEntry{entry->pw_name,
                                  entry->pw_uid,
                                  entry->pw_gid,
                                  entry->pw_gecos != nullptr ? entry->pw_gecos : "",
                                  entry->pw_dir != nullptr ? entry->pw_dir : "",
                                  entry->pw_shell != nullptr ? entry->pw_shell : ""};
        result.code = 0;
    }
    api.freeMemory(entry);
    return result;
}

bool IsNameOf(const std::string& winbindName, const std::string& accountName) {
    std::size_t separator = winbindName.find_last_of("\\+");
    std::string plain =
        separator == std::string::npos ? winbindName : winbindName.substr(separator + 1);
    return !plain.empty() && strcasecmp(plain.c_str(), accountName.c_str()) == 0;
}

} // namespace nomvera::posix::winbind
