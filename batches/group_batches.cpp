// The four group batches: one procedure, four operations and their texts.
#include "accounts/netapi.h"
#include "batches/batch_steps.h"
#include "batches/batches.h"
#include "support/text.h"

namespace nomvera::batches {
namespace {

enum class TGroupOperation { CreateLocal, CreateGlobal, DeleteLocal, DeleteGlobal };

struct TGroupBatch {
    TGroupOperation operation;
    const char16_t* caption;
    const char16_t* successText;
    const char16_t* failureText;
    const char16_t* countErrorText;
};

constexpr TGroupBatch kCreateLocal{TGroupOperation::CreateLocal, u"Create Local Groups",
                                   u"Created Local group[", u"Error creating group[",
                                   u"Can not do; no users to create: "};
constexpr TGroupBatch kCreateGlobal{TGroupOperation::CreateGlobal, u"Create Global Groups",
                                    u"Created Global group[", u"Error creating Globalgroup[",
                                    u"Can not do; no Groups to create: "};
constexpr TGroupBatch kDeleteLocal{TGroupOperation::DeleteLocal, u"Delete Local Groups",
                                   u"Deleted Local group[", u"Error Local deleting group[",
                                   u"Can not do; no Groups to delete: "};
constexpr TGroupBatch kDeleteGlobal{TGroupOperation::DeleteGlobal, u"Delete Global Groups",
                                    u"Deleted Global group[", u"Error deleting Global group[",
                                    u"Can not do; no Groups to delete: "};

// The records of the create batches, filled once per batch with the comment.
struct TGroupRecords {
    LOCALGROUP_INFO_1 local{};
    GROUP_INFO_1 global{};
};

NET_API_STATUS CallOperation(const TGroupBatch& batch, TGroupRecords& records,
                             const std::u16string& groupName) {
    DWORD parmErr = 0; // filled by the service, never read
    LPWSTR name = const_cast<LPWSTR>(groupName.c_str());
    switch (batch.operation) {
    case TGroupOperation::CreateLocal:
        records.local.lgrpi1_name = name;
        return NetLocalGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&records.local), &parmErr);
    case TGroupOperation::CreateGlobal:
        records.global.grpi1_name = name;
        return NetGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&records.global), &parmErr);
    case TGroupOperation::DeleteLocal:
        return NetLocalGroupDel(nullptr, groupName.c_str());
    case TGroupOperation::DeleteGlobal:
        return NetGroupDel(nullptr, groupName.c_str());
    }
    return ERROR_INVALID_PARAMETER;
}

void RunGroupBatch(TBatchHost& host, const TGroupBatch& batch) {
    const std::u16string caption = batch.caption;
    host.LogInfo(u"Begin: " + caption);
    host.ShowLoggingPage();
    host.ProcessMessages();

    std::u16string comment = accounts::AccountComment();
    TGroupRecords records;
    records.local.lgrpi1_comment = comment.data();
    records.global.grpi1_comment = comment.data();

    const std::int32_t count = host.ReadCount();
    if (count < 1 || count > 999) {
        host.LogError(batch.countErrorText + support::WidenText(support::DecimalText(count)));
    } else {
        for (std::int32_t i = 1; i <= count; ++i) {
            if (host.ClosingRequested()) {
                continue;
            }
            const std::u16string groupName = NumberedName(host.NameText(), i);
            const NET_API_STATUS status = CallOperation(batch, records, groupName);
            if (status == NERR_Success) {
                host.LogInfo(batch.successText + groupName + u"]");
            } else {
                host.LogError(batch.failureText + groupName + u"] " + MessageOf(status));
            }
            EndOfPass(host);
        }
    }
    host.LogInfo(u"End: " + caption);
}

} // namespace

void CreateLocalGroupsBatch(TBatchHost& host) {
    RunGroupBatch(host, kCreateLocal);
}

void CreateGlobalGroupsBatch(TBatchHost& host) {
    RunGroupBatch(host, kCreateGlobal);
}

void DeleteLocalGroupsBatch(TBatchHost& host) {
    RunGroupBatch(host, kDeleteLocal);
}

void DeleteGlobalGroupsBatch(TBatchHost& host) {
    RunGroupBatch(host, kDeleteGlobal);
}

} // namespace nomvera::batches
