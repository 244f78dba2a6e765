#include "batches/batch_steps.h"

#include "accounts/account_server.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "platform/security.h"
#include "platform/wide_text.h"
#include "support/owner.h"
#include "support/text.h"

namespace nomvera::batches {

TUserBatchBuffers::TUserBatchBuffers()
    : Sid(support::NewSidBuffer(1024)), Domain(support::NewWideTextBuffer(1024)),
      Profile(support::NewWideTextBuffer(260)) {}

WideString NumberedName(const WideString& prefix, std::int32_t i) {
    return prefix + support::WidenText(support::RunningNumber(i));
}

WideString MessageOf(std::uint32_t code) {
    return support::WidenText(support::SystemMessageText(code));
}

std::string LookUpUserSid(TBatchHost& host, TUserBatchBuffers& buffers,
                          const WideString& accountName, bool goneIsDone) {
    DWORD sidSize = static_cast<DWORD>(buffers.Sid->Size());
    DWORD domainSize = buffers.Domain->Length();
    buffers.Sid->Clear();
    buffers.Domain->Clear();
    std::string sidText;
    SID_NAME_USE use = SidTypeUnknown;
    SetLastError(0);
    if (!LookupAccountNameW(accounts::AccountServerName(), accountName.c_str(), buffers.Sid->Data(),
                            &sidSize, buffers.Domain->Data(), &domainSize, &use)) {
        const DWORD code = GetLastError();
        if (goneIsDone && code == ERROR_NONE_MAPPED) {
            host.LogInfo(WIDE("No SID of User[") + accountName +
                         WIDE("]: the account and its profile are gone"));
            return sidText;
        }
        host.LogError(WIDE("Error getting SID of User[") + accountName + WIDE("] ") +
                      MessageOf(code));
        return sidText;
    }
    {
        // The converted string is given back whatever happens while it is taken over.
        support::TLocalMemory<LPSTR> converted;
        try {
            if (ConvertSidToStringSidA(buffers.Sid->Data(), converted.Receive())) {
                sidText = support::TextFromCString(converted.Get());
            }
        } catch (...) {
            sidText.clear();
        }
    }
    host.LogInfo(WIDE("SID of User[") + accountName + WIDE("][") + support::WidenText(sidText) +
                 WIDE("]"));
    return sidText;
}

std::vector<WideString> TickedGroups(TBatchHost& host) {
    std::vector<WideString> groups;
    if (host.GroupCount() > 1) {
        for (std::size_t index = 0; index < host.GroupCount(); ++index) {
            if (host.GroupChecked(index)) {
                groups.push_back(host.GroupName(index));
            }
        }
    }
    return groups;
}

void EndOfPass(TBatchHost& host) {
    host.Repaint();
    host.ProcessMessages();
    if (const std::uint32_t pause = host.PauseMilliseconds(); pause > 0) {
        Sleep(pause);
    }
}

} // namespace nomvera::batches
