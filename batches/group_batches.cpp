// The four group batches: one procedure, four operations and their texts.
#include "accounts/account_server.h"
#include "accounts/netapi.h"
#include "batches/batch_steps.h"
#include "batches/batches.h"
#include "platform/wide_text.h"
#include "support/text.h"

namespace nomvera::batches {
namespace {

enum class TGroupOperation { CreateLocal, CreateGlobal, DeleteLocal, DeleteGlobal };

struct TGroupBatch {
    TGroupOperation operation;
    const WCHAR* caption;
    const WCHAR* successText;
    const WCHAR* failureText;
    const WCHAR* countErrorText;
};

constexpr TGroupBatch kCreateLocal{TGroupOperation::CreateLocal, WIDE("Create Local Groups"),
                                   WIDE("Created Local group["), WIDE("Error creating group["),
                                   WIDE("Can not do; no users to create: ")};
constexpr TGroupBatch kCreateGlobal{
    TGroupOperation::CreateGlobal, WIDE("Create Global Groups"), WIDE("Created Global group["),
    WIDE("Error creating Globalgroup["), WIDE("Can not do; no Groups to create: ")};
constexpr TGroupBatch kDeleteLocal{
    TGroupOperation::DeleteLocal, WIDE("Delete Local Groups"), WIDE("Deleted Local group["),
    WIDE("Error Local deleting group["), WIDE("Can not do; no Groups to delete: ")};
constexpr TGroupBatch kDeleteGlobal{
    TGroupOperation::DeleteGlobal, WIDE("Delete Global Groups"), WIDE("Deleted Global group["),
    WIDE("Error deleting Global group["), WIDE("Can not do; no Groups to delete: ")};

// The records of the create batches, filled once per batch with the comment.
struct TGroupRecords {
    LOCALGROUP_INFO_1 local{};
    GROUP_INFO_1 global{};
};

NET_API_STATUS CallOperation(const TGroupBatch& batch, TGroupRecords& records,
                             const WideString& groupName) {
    DWORD parmErr = 0; // filled by the service, never read
    LPWSTR name = const_cast<LPWSTR>(groupName.c_str());
    switch (batch.operation) {
    case TGroupOperation::CreateLocal:
        records.local.lgrpi1_name = name;
        return NetLocalGroupAdd(accounts::AccountServerName(), 1,
                                reinterpret_cast<LPBYTE>(&records.local), &parmErr);
    case TGroupOperation::CreateGlobal:
        records.global.grpi1_name = name;
        return NetGroupAdd(accounts::AccountServerName(), 1,
                           reinterpret_cast<LPBYTE>(&records.global), &parmErr);
    case TGroupOperation::DeleteLocal:
        return NetLocalGroupDel(accounts::AccountServerName(), groupName.c_str());
    case TGroupOperation::DeleteGlobal:
        return NetGroupDel(accounts::AccountServerName(), groupName.c_str());
    }
    return ERROR_INVALID_PARAMETER;
}

void RunGroupBatch(TBatchHost& host, const TGroupBatch& batch) {
    const WideString caption = batch.caption;
    host.LogInfo(WIDE("Begin: ") + caption);
    host.ShowLoggingPage();
    host.ProcessMessages();

    WideString comment = accounts::AccountComment();
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
            const WideString groupName = NumberedName(host.NameText(), i);
            const NET_API_STATUS status = CallOperation(batch, records, groupName);
            if (status == NERR_Success) {
                host.LogInfo(batch.successText + groupName + WIDE("]"));
            } else {
                host.LogError(batch.failureText + groupName + WIDE("] ") + MessageOf(status));
            }
            EndOfPass(host);
        }
    }
    host.LogInfo(WIDE("End: ") + caption);
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
