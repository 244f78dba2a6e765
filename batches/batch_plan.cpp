#include "batches/batch_plan.h"

#include "accounts/account_server.h"
#include "accounts/netapi.h"
#include "batches/batch_steps.h"
#include "batches/group_list.h"
#include "platform/security.h"
#include "platform/wide_text.h"
#include "support/files.h"
#include "support/owner.h"
#include "support/text.h"

#include <algorithm>

namespace nomvera::batches {
namespace {

using support::ShownText;
using support::WidenText;

#ifdef _WIN32
// The SAM's own rules: at most 20 characters for a user and 256 for a group,
// none of "/\[]:;|=,+*?<>@ or a control character, not only dots and blanks.
constexpr std::size_t kUserNameMaximum = 20;
constexpr std::size_t kGroupNameMaximum = 256;
bool NameCharacterTaken(WCHAR c) {
    return c >= 0x20 && WideStringView(WIDE("\"/\\[]:;|=,+*?<>@")).find(c) == WideStringView::npos;
}
bool SameAccountName(const WideString& a, const WideString& b) {
    return support::UpperText(a) == support::UpperText(b);
}
#else
// The account files' rules of the Linux account service: ASCII letters,
// digits, ".", "_" and "-", not starting with "-", neither "." nor "..".
constexpr std::size_t kUserNameMaximum = 20;
constexpr std::size_t kGroupNameMaximum = 32;
bool NameCharacterTaken(WCHAR c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'.' || c == u'_' || c == u'-';
}
bool SameAccountName(const WideString& a, const WideString& b) {
    return a == b; // names differ in letter case on Linux
}
#endif

// What one name stands for on this machine.
struct TNameUse {
    bool user = false;
    bool localGroup = false;
    bool globalGroup = false;
    std::string sidText; // of the user, also of a gone user whose profile is still registered
};

class TPlanner {
public:
    explicit TPlanner(TBatchHost& host) : host_(host) { EnumerateLocalGroups(localGroups_); }

    bool IsLocalGroup(const WideString& name) const {
        for (std::size_t i = 0; i < localGroups_.Count(); ++i) {
            if (SameAccountName(localGroups_[i], name)) {
                return true;
            }
        }
        return false;
    }

    TNameUse Look(const WideString& name) {
        TNameUse use;
        accounts::TNetBuffer record;
        use.user = NetUserGetInfo(accounts::AccountServerName(), name.c_str(), 1,
                                  record.Receive()) == NERR_Success;
        use.localGroup = IsLocalGroup(name);
        DWORD sidSize = static_cast<DWORD>(buffers_.Sid->Size());
        DWORD domainSize = buffers_.Domain->Length();
        buffers_.Sid->Clear();
        buffers_.Domain->Clear();
        SID_NAME_USE type = SidTypeUnknown;
        if (LookupAccountNameW(accounts::AccountServerName(), name.c_str(), buffers_.Sid->Data(),
                               &sidSize, buffers_.Domain->Data(), &domainSize, &type)) {
            use.globalGroup = type == SidTypeGroup;
            if (type == SidTypeUser || type == SidTypeDeletedAccount) {
                support::TLocalMemory<LPSTR> text;
                if (ConvertSidToStringSidA(buffers_.Sid->Data(), text.Receive()) && text) {
                    use.sidText = support::TextFromCString(text.Get());
                }
            }
        }
        return use;
    }

    void Would(const WideString& text) { host_.LogInfo(WIDE("Would ") + text); }
    void Cannot(const WideString& what, const WCHAR* reason) {
        host_.LogError(WIDE("Cannot ") + what + WIDE(": ") + reason);
    }

private:
    TBatchHost& host_;
    TGroupNameList localGroups_;
    TUserBatchBuffers buffers_;
};

// Begin line, the note that nothing changes, the count check; false when
// the count stops the batch (the End line is logged then).
bool BeginPlan(TBatchHost& host, const WideString& caption, const WCHAR* countErrorText,
               std::int32_t& count) {
    host.LogInfo(WIDE("Begin: ") + caption);
    host.ShowLoggingPage();
    host.ProcessMessages();
    host.LogInfo(WIDE("Dry run: nothing is changed"));
    count = host.ReadCount();
    if (count < 1 || count > 999) {
        host.LogError(countErrorText + WidenText(support::DecimalText(count)));
        host.LogInfo(WIDE("End: ") + caption);
        return false;
    }
    return true;
}

// The frame of every dry run: the Begin line, the count check, then one
// pass per numbered name (empty once closing is requested) that gets the
// planner's look at the name, and the End line.
template <typename Pass>
void PlanEachName(TBatchHost& host, const WideString& caption, const WCHAR* countErrorText,
                  Pass pass) {
    std::int32_t count = 0;
    if (!BeginPlan(host, caption, countErrorText, count)) {
        return;
    }
    TPlanner planner(host);
    for (std::int32_t i = 1; i <= count; ++i) {
        if (host.ClosingRequested()) {
            continue;
        }
        const WideString name = NumberedName(host.NameText(), i);
        pass(planner, i, name, planner.Look(name));
        host.Repaint();
        host.ProcessMessages();
    }
    host.LogInfo(WIDE("End: ") + caption);
}

} // namespace

bool AccountServiceTakesName(const WideString& name, bool user) {
    if (name.empty() || name.size() > (user ? kUserNameMaximum : kGroupNameMaximum)) {
        return false;
    }
    if (!std::all_of(name.begin(), name.end(), NameCharacterTaken)) {
        return false;
    }
#ifdef _WIN32
    return name.find_first_not_of(WIDE(". ")) != WideString::npos;
#else
    return name[0] != u'-' && name != u"." && name != u"..";
#endif
}

void PlanCreateUsers(TBatchHost& host, const TBatchFlags& flags) {
    PlanEachName(
        host, WIDE("Create Users"), WIDE("Can not do; no Users to Create: "),
        [&](TPlanner& planner, std::int32_t i, const WideString& name, const TNameUse& use) {
            const WideString user = WIDE("User[") + ShownText(name) + WIDE("]");
            bool goesOn = true; // the account will be there for the later steps
            if (!AccountServiceTakesName(name, true)) {
                planner.Cannot(WIDE("create ") + user,
                               WIDE("the account service refuses the name"));
                goesOn = false;
            } else if (use.user && flags.ensure) {
                host.LogInfo(user + WIDE(" exists already; would leave it as it is"));
            } else if (use.user) {
                planner.Cannot(WIDE("create ") + user, WIDE("it exists already"));
            } else if (use.localGroup || use.globalGroup) {
                planner.Cannot(WIDE("create ") + user, WIDE("a group has that name"));
                goesOn = false;
            } else {
                planner.Would(WIDE("create ") + user + WIDE(" Password[") +
                              NumberedName(host.PasswordText(), i) + WIDE("]"));
            }
            const auto groups = goesOn ? TickedGroups(host) : std::vector<WideString>{};
            for (const WideString& ticked : groups) {
                const WideString group = ShownText(ticked);
                if (planner.IsLocalGroup(ticked)) {
                    planner.Would(WIDE("make ") + user + WIDE(" a member of [") + group +
                                  WIDE("]"));
                } else {
                    planner.Cannot(WIDE("make ") + user + WIDE(" a member of Group[") + group +
                                       WIDE("]"),
                                   WIDE("there is no such local group"));
                }
            }
            if (goesOn && host.ProfileChecked()) {
                planner.Would(WIDE("create the profile of ") + user);
            }
        });
}

void PlanDeleteUsers(TBatchHost& host, const TBatchFlags& flags) {
    PlanEachName(host, WIDE("Delete Users"), WIDE("Can not do; no Users to delete: "),
                 [&](TPlanner& planner, std::int32_t, const WideString& name, const TNameUse& use) {
                     const WideString user = WIDE("User[") + ShownText(name) + WIDE("]");
                     if (use.user) {
                         planner.Would(WIDE("delete ") + user);
                     } else if (use.localGroup || use.globalGroup) {
                         planner.Cannot(WIDE("delete ") + user, WIDE("the name is a group's"));
                     } else if (flags.ensure) {
                         host.LogInfo(user + WIDE(" is gone already"));
                     } else {
                         planner.Cannot(WIDE("delete ") + user, WIDE("not found"));
                     }
                     // A gone account's profile is still found through its registered SID.
                     if (host.ProfileChecked() && !use.sidText.empty()) {
                         planner.Would(WIDE("delete the profile of ") + user + WIDE(" SID[") +
                                       WidenText(use.sidText) + WIDE("]"));
                     }
                 });
}

void PlanGroupBatch(TBatchHost& host, const TBatchFlags& flags, const TGroupPlan& plan) {
    const WideString kind = plan.local ? WIDE("Local group[") : WIDE("Global group[");
    PlanEachName(
        host, plan.caption, plan.countErrorText,
        [&](TPlanner& planner, std::int32_t, const WideString& name, const TNameUse& use) {
            const WideString group = kind + ShownText(name) + WIDE("]");
            const WideString action = (plan.creates ? WIDE("create ") : WIDE("delete ")) + group;
            const bool exists = plan.local ? use.localGroup : use.globalGroup;
#ifndef _WIN32
            // This machine's account service keeps local groups only; a named
            // server (a domain controller) keeps both kinds.
            const bool serviceKeepsKind = plan.local || accounts::AccountServerName() != nullptr;
#else
            const bool serviceKeepsKind = true; // only the service can tell
#endif
            if (!serviceKeepsKind) {
                planner.Cannot(action, WIDE("only a domain controller keeps global groups"));
            } else if (plan.creates && !AccountServiceTakesName(name, false)) {
                planner.Cannot(action, WIDE("the account service refuses the name"));
            } else if (exists && plan.creates) {
                if (flags.ensure) {
                    host.LogInfo(group + WIDE(" exists already; would leave it as it is"));
                } else {
                    planner.Cannot(action, WIDE("it exists already"));
                }
            } else if (exists) {
                planner.Would(action);
            } else if (use.user || use.localGroup || use.globalGroup) {
                planner.Cannot(action, use.user ? WIDE("the name is a user's")
                                                : WIDE("the name is a group of the other kind"));
            } else if (plan.creates) {
                planner.Would(action);
            } else if (flags.ensure) {
                host.LogInfo(group + WIDE(" is gone already"));
            } else {
                planner.Cannot(action, WIDE("not found"));
            }
        });
}

} // namespace nomvera::batches
