// "Create Users" and "Delete Users".
#include "accounts/account_server.h"
#include "accounts/netapi.h"
#include "accounts/profile_service.h"
#include "batches/batch_plan.h"
#include "batches/batch_steps.h"
#include "batches/batches.h"
#include "batches/profile_folder_removal.h"
#include "batches/random_password.h"
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/lmaccess.h"
#include "platform/security.h"
#include "platform/userenv.h"
#include "platform/wide_text.h"
#include "support/files.h"
#include "support/owner.h"
#include "support/text.h"

#include <algorithm>
#include <memory>

namespace nomvera::batches {
namespace {

using support::ShownText;
using support::WidenText;

constexpr DWORD kUserFlags = UF_DONT_EXPIRE_PASSWD | UF_NORMAL_ACCOUNT; // 0x10200
static_assert(kUserFlags == 66048);

bool CountInRange(std::int32_t count) {
    return count >= 1 && count <= 999;
}

WideString CountText(std::int32_t count) {
    return WidenText(support::DecimalText(count));
}

// What a pass obtains (a record of the account service, a token) is given
// back when the pass ends, also when an exception passes.
class TNetRecord : public accounts::TNetBuffer {
public:
    const USER_INFO_1* User() const { return reinterpret_cast<const USER_INFO_1*>(Get()); }
};

// What CreateProfile answers for an account that has its profile already.
constexpr HRESULT kProfileExists = static_cast<HRESULT>(0x80070000u | ERROR_ALREADY_EXISTS);

void AddToTickedGroups(TBatchHost& host, const WideString& accountName, PSID sid, bool ensure) {
    for (const WideString& group : TickedGroups(host)) {
        LOCALGROUP_MEMBERS_INFO_0 member{sid};
        const NET_API_STATUS status = NetLocalGroupAddMembers(
            accounts::AccountServerName(), group.c_str(), 0, reinterpret_cast<LPBYTE>(&member), 1);
        if (status == NERR_Success) {
            host.LogInfo(WIDE("User[") + accountName + WIDE("] is a member of [") +
                         ShownText(group) + WIDE("]"));
        } else if (ensure && status == ERROR_MEMBER_IN_ALIAS) {
            host.LogInfo(WIDE("User[") + accountName + WIDE("] is a member of [") +
                         ShownText(group) + WIDE("] already"));
        } else {
            host.LogError(WIDE("Error making User[") + accountName + WIDE("] a member of Group[") +
                          ShownText(group) + WIDE("] ") + MessageOf(status));
        }
    }
}

// Tells the account service, before the account is made, which groups it
// will be asked to add the account to next, so that the creation can make
// those memberships in the same change.
void AnnounceTickedGroups(TBatchHost& host, const WideString& accountName) {
    platform::PrepareMemberships(accountName.c_str(), TickedGroups(host));
}

void CreateUserProfile(TBatchHost& host, TUserBatchBuffers& buffers, const WideString& accountName,
                       const std::string& sidText, bool ensure) {
    buffers.Profile->Clear();
    const WideString sid = WidenText(sidText);
    host.LogInfo(WIDE("User[") + accountName + WIDE("] SID[") + sid + WIDE("]"));
    const HRESULT result =
        accounts::CreateProfile(sid.c_str(), accountName.c_str(), buffers.Profile->Data(), 260);
    if (ensure && result == kProfileExists) {
        host.LogInfo(WIDE("Profile of User[") + accountName + WIDE("] exists already"));
    } else if (result != 0) {
        host.LogError(WIDE("Create Profile:") + MessageOf(static_cast<DWORD>(result)));
    }
    host.LogInfo(WIDE("[") + ShownText(buffers.Profile->ToString()) + WIDE("]"));
}

// Step A: the home folder the account service records, taken as the profile.
// Gives false when the account does not exist.
bool ReadHomeFolder(TBatchHost& host, const WideString& accountName, WideString& profilePath,
                    bool ensure) {
    TNetRecord record;
    const NET_API_STATUS status =
        NetUserGetInfo(accounts::AccountServerName(), accountName.c_str(), 1, record.Receive());
    if (const USER_INFO_1* user = record.User(); user != nullptr) {
        if (user->usri1_home_dir != nullptr) {
            profilePath = user->usri1_home_dir;
            if (!profilePath.empty()) {
                host.LogInfo(WIDE("ProfilePath User[1][") + ShownText(profilePath) + WIDE("]"));
            } else {
                host.LogWarning(WIDE("ProfilePath User[1] empty..."));
            }
        }
        if (user->usri1_comment != nullptr) {
            host.LogInfo(WIDE("Comment User[1][") + ShownText(user->usri1_comment) + WIDE("]"));
        }
    }
    if (ensure && status == NERR_UserNotFound) {
        return false; // said once, where the account would be deleted
    }
    if (status != NERR_Success) {
        host.LogError(WIDE("ProfilePath User[1][") + accountName + WIDE("] ") + MessageOf(status));
    }
    return status != NERR_UserNotFound;
}

// The account record with the fixed values of creation (also used when an
// account is rewritten); name and password are set per account. The comment
// must outlive the record.
USER_INFO_1 FixedUserRecord(WideString& comment) {
    USER_INFO_1 record{};
    record.usri1_password_age = 0;
    record.usri1_priv = USER_PRIV_USER;
    record.usri1_home_dir = nullptr;
    record.usri1_comment = comment.data();
    record.usri1_flags = kUserFlags;
    record.usri1_script_path = nullptr;
    return record;
}

// Step C: a network logon with the throw-away password, then the profile
// folder of its token. True when the account's password was replaced.
bool FindProfileThroughLogon(TBatchHost& host, TUserBatchBuffers& buffers,
                             const WideString& accountName, TWipedPassword& password,
                             WideString& profilePath) {
    WideString comment = accounts::AccountComment();
    USER_INFO_1 record = FixedUserRecord(comment);
    record.usri1_name = const_cast<LPWSTR>(accountName.c_str());
    record.usri1_password = password.Data();
    const NET_API_STATUS status = NetUserSetInfo(accounts::AccountServerName(), accountName.c_str(),
                                                 1, reinterpret_cast<LPBYTE>(&record), nullptr);
    if (status != NERR_Success) {
        host.LogError(WIDE("Setting User[") + accountName + WIDE("] ") + MessageOf(status));
        return false;
    }

    support::TOwnedHandle token;
    SetLastError(0);
    const BOOL loggedOn =
        LogonUserW(accountName.c_str(), nullptr, password.Text().c_str(), LOGON32_LOGON_NETWORK,
                   LOGON32_PROVIDER_DEFAULT, token.Receive());
    DWORD code = GetLastError();
    if (code != 0) {
        host.LogError(WIDE("Logon User/Get TOKEN[") + accountName + WIDE("] ") + MessageOf(code));
    }
    if (!loggedOn) {
        return true;
    }
    DWORD size = 260;
    buffers.Profile->Clear();
    SetLastError(0);
    const BOOL found = GetUserProfileDirectoryW(token.Get(), buffers.Profile->Data(), &size);
    code = GetLastError();
    if (code != 0) {
        host.LogError(WIDE("ProfilePath User[2][") + accountName + WIDE("] ") + MessageOf(code));
    }
    if (found) {
        profilePath = buffers.Profile->ToString();
        if (!profilePath.empty()) {
            host.LogInfo(WIDE("ProfilePath User[2][") + ShownText(profilePath) + WIDE("]"));
        } else {
            host.LogWarning(WIDE("ProfilePath User[2] empty..."));
        }
    }
    return true;
}

// Why the profile service kept a folder, for the line that says so.
WideString KeptReason(DWORD code) {
    switch (code) {
    case ERROR_ACCESS_DENIED:
        return WIDE("the profile service refused it (not the account's own folder, or it is, "
                    "holds or lies inside another account's home)");
    case ERROR_BUSY:
        return WIDE("it is in use (a process of the account still runs)");
    default:
        return MessageOf(code);
    }
}

// Step E: the profile service first, then whatever is left on disk. What is
// left is removed only when the service removed the profile, knew none, or
// could not be asked; a folder the service refused stays whole.
void RemoveProfile(TBatchHost& host, const WideString& accountName, const std::string& sidText,
                   const WideString& profilePath, bool ensure) {
    DWORD refusal = 0;
    if (!sidText.empty()) {
        const WideString sid = WidenText(sidText);
        host.LogInfo(WIDE("Delete Profile[") + accountName + WIDE("] SID[") + sid + WIDE("]"));
        SetLastError(0);
        const bool deleted = accounts::DeleteProfile(sid.c_str(), nullptr, nullptr);
        const DWORD code = GetLastError();
        if (ensure && !deleted && code == ERROR_FILE_NOT_FOUND) {
            host.LogInfo(WIDE("Profile of User[") + accountName + WIDE("] is gone already"));
        } else if (code != 0 || !deleted) {
            host.LogError(WIDE("Delete Profile: ") + MessageOf(code));
        }
        if (!deleted && code != 0 && code != ERROR_FILE_NOT_FOUND) {
            refusal = code;
        }
    }
    if (profilePath.empty() || !support::FolderExistsW(profilePath)) {
        return;
    }
    if (refusal != 0) {
        host.LogWarning(WIDE("Profile folder kept[") + ShownText(profilePath) + WIDE("]: ") +
                        KeptReason(refusal));
        return;
    }
    DeleteFilesInSubdirW(profilePath, host.LogWriter(), true, true);
}

void DeleteOneUser(TBatchHost& host, TUserBatchBuffers& buffers, std::int32_t i,
                   TWipedPassword& password, bool ensure) {
    const WideString accountName = NumberedName(host.NameText(), i);
    WideString profilePath;
    std::string sidText;
    bool exists = true;

    if (host.ProfileChecked()) {
        exists = ReadHomeFolder(host, accountName, profilePath, ensure);
    }
    if (host.ProfileChecked()) {
        // A gone account may have left its profile, registered under its SID.
        sidText = LookUpUserSid(host, buffers, accountName, ensure && !exists);
    }
    bool passwordReplaced = false;
    // An account that is gone cannot be logged on to: under ensure that
    // step is left out rather than logged as a failure.
    if (host.ProfileChecked() && profilePath.empty() && (exists || !ensure)) {
        passwordReplaced =
            FindProfileThroughLogon(host, buffers, accountName, password, profilePath);
    }

    const NET_API_STATUS status = NetUserDel(accounts::AccountServerName(), accountName.c_str());
    if (status == NERR_Success) {
        host.LogInfo(WIDE("Deleted User[") + accountName + WIDE("]"));
    } else if (ensure && status == NERR_UserNotFound) {
        host.LogInfo(WIDE("User[") + accountName + WIDE("] is gone already"));
    } else {
        host.LogError(WIDE("Error deleting User[") + accountName + WIDE("] ") + MessageOf(status));
        // The account stays, with a password nobody was told.
        if (passwordReplaced && status != NERR_UserNotFound) {
            host.LogWarning(WIDE("User[") + accountName +
                            WIDE("] still exists with a replaced password: its password was set "
                                 "to a random one before the deletion failed"));
        }
    }

    // The profile goes only with its account: while the account exists, its
    // profile is all it has for a home.
    if (host.ProfileChecked()) {
        if (status == NERR_Success || status == NERR_UserNotFound) {
            RemoveProfile(host, accountName, sidText, profilePath, ensure);
        } else {
            host.LogWarning(WIDE("Profile kept[") + accountName +
                            WIDE("]: the account still exists"));
        }
    }
}

void BeginBatch(TBatchHost& host, const WideString& caption) {
    host.LogInfo(WIDE("Begin: ") + caption);
    host.ShowLoggingPage();
    host.ProcessMessages();
}

} // namespace

void CreateUsersBatch(TBatchHost& host) {
    const TBatchFlags flags = host.Flags();
    if (flags.dryRun) {
        PlanCreateUsers(host, flags);
        return;
    }
    const WideString caption = WIDE("Create Users");
    BeginBatch(host, caption);

    WideString comment = accounts::AccountComment();
    USER_INFO_1 record = FixedUserRecord(comment);

    const std::int32_t count = host.ReadCount();
    if (!CountInRange(count)) {
        host.LogError(WIDE("Can not do; no Users to Create: ") + CountText(count));
    } else {
        TUserBatchBuffers buffers;
        // The next accounts' passwords are hashed beside this account's
        // steps. Without a pause between accounts hashing sets the pace, and
        // two are made at a time; the window's pause leaves time for one.
        const std::int32_t ahead = host.PauseMilliseconds() == 0 ? 2 : 1;
        std::int32_t ordered = 1;
        for (std::int32_t i = 1; i <= count; ++i) {
            if (host.ClosingRequested()) {
                continue;
            }
            const WideString accountName = NumberedName(host.NameText(), i);
            TWipedPassword password(NumberedName(host.PasswordText(), i));
            for (; ordered < std::min(count, i + ahead); ++ordered) {
                TWipedPassword next(NumberedName(host.PasswordText(), ordered + 1));
                platform::PreparePassword(next.Data());
            }
            record.usri1_name = const_cast<LPWSTR>(accountName.c_str());
            record.usri1_password = password.Data();

            AnnounceTickedGroups(host, accountName);
            const NET_API_STATUS status = NetUserAdd(accounts::AccountServerName(), 1,
                                                     reinterpret_cast<LPBYTE>(&record), nullptr);
            if (status == NERR_Success) {
                host.LogInfo(WIDE("Created User[") + accountName + WIDE("] Password[") +
                             password.Text() + WIDE("]"));
            } else if (flags.ensure && status == NERR_UserExists) {
                host.LogInfo(WIDE("User[") + accountName + WIDE("] exists already; left as it is"));
            } else {
                host.LogError(WIDE("Error creating User[") + accountName + WIDE("] ") +
                              MessageOf(status));
            }
            record.usri1_name = nullptr;
            record.usri1_password = nullptr;

            const std::string sidText = LookUpUserSid(host, buffers, accountName);
            if (!sidText.empty()) {
                AddToTickedGroups(host, accountName, buffers.Sid->Data(), flags.ensure);
                if (host.ProfileChecked()) {
                    CreateUserProfile(host, buffers, accountName, sidText, flags.ensure);
                }
            }
            EndOfPass(host);
        }
    }
    host.LogInfo(WIDE("End: ") + caption);
}

void DeleteUsersBatch(TBatchHost& host) {
    const TBatchFlags flags = host.Flags();
    if (flags.dryRun) {
        PlanDeleteUsers(host, flags);
        return;
    }
    const WideString caption = WIDE("Delete Users");
    BeginBatch(host, caption);

    const std::int32_t count = host.ReadCount();
    if (!CountInRange(count)) {
        host.LogError(WIDE("Can not do; no Users to delete: ") + CountText(count));
    } else {
        TUserBatchBuffers buffers;
        DWORD size = 260;
        SetLastError(0);
        const BOOL rootFound = GetProfilesDirectoryW(buffers.Profile->Data(), &size);
        const DWORD code = GetLastError();
        if (rootFound) {
            host.LogInfo(WIDE("Root ProfilePath[") + ShownText(buffers.Profile->ToString()) +
                         WIDE("]"));
        } else {
            host.LogError(WIDE("Getting Root ProfilePath: ") + MessageOf(code));
        }
        // Each account's throw-away password is made one account ahead, so
        // that it can be hashed beside the account before.
        auto password = std::make_unique<TWipedPassword>(RandomPassword(20));
        if (host.ProfileChecked()) {
            platform::PrepareThrowAwayPassword(password->Data());
        }
        for (std::int32_t i = 1; i <= count; ++i) {
            if (host.ClosingRequested()) {
                continue;
            }
            std::unique_ptr<TWipedPassword> next;
            if (i < count) {
                next = std::make_unique<TWipedPassword>(RandomPassword(20));
                if (host.ProfileChecked()) {
                    platform::PrepareThrowAwayPassword(next->Data());
                }
            }
            DeleteOneUser(host, buffers, i, *password, flags.ensure);
            password = std::move(next);
            EndOfPass(host);
        }
    }
    host.LogInfo(WIDE("End: ") + caption);
}

} // namespace nomvera::batches
