#include "batches/group_list.h"

#include "accounts/account_server.h"
#include "accounts/netapi.h"
#include "platform/wide_text.h"
#include "support/files.h"

namespace nomvera::batches {

std::size_t TGroupNameList::Add(const WideString& name) {
    names_.push_back(name);
    return names_.size() - 1;
}

std::ptrdiff_t TGroupNameList::IndexOf(const WideString& name) const {
    const WideString wanted = support::UpperText(name);
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (support::UpperText(names_[i]) == wanted) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

void EnumerateLocalGroups(TGroupNameList& list) {
    accounts::TNetBuffer buffer;
    DWORD entriesRead = 0;
    DWORD totalEntries = 0;
    const NET_API_STATUS status =
        NetLocalGroupEnum(accounts::AccountServerName(), 0, buffer.Receive(), MAX_PREFERRED_LENGTH,
                          &entriesRead, &totalEntries, nullptr);
    if (status != NERR_Success || entriesRead == 0 || !buffer) {
        return;
    }
    const auto* entries = reinterpret_cast<const LOCALGROUP_INFO_0*>(buffer.Get());
    for (DWORD i = 0; i < entriesRead; ++i) {
        const LPCWSTR name = entries[i].lgrpi0_name;
        list.Add(name != nullptr ? WideString(name) : WideString());
    }
}

} // namespace nomvera::batches
