// The four group batches: one procedure, four operations and their texts.
#include "accounts/netapi.h"
#include "batches/batch_plan.h"
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
    // Under ensure: the statuses that say the group is as asked for already
    // (a missing local group is answered either way), and the start of the
    // info line that says so. A local group's name taken by a global group
    // (NERR_GroupExists) is not a local group that exists.
    NET_API_STATUS doneAlready[2];
    const WCHAR* doneAlreadyText;
};

constexpr TGroupBatch kCreateLocal{TGroupOperation::CreateLocal,
                                   WIDE("Create Local Groups"),
                                   WIDE("Created Local group["),
                                   WIDE("Error creating group["),
                                   WIDE("Can not do; no users to create: "),
                                   {ERROR_ALIAS_EXISTS, ERROR_ALIAS_EXISTS},
                                   WIDE("Local group[")};
constexpr TGroupBatch kCreateGlobal{TGroupOperation::CreateGlobal,
                                    WIDE("Create Global Groups"),
                                    WIDE("Created Global group["),
                                    WIDE("Error creating Globalgroup["),
                                    WIDE("Can not do; no Groups to create: "),
                                    {NERR_GroupExists, NERR_GroupExists},
                                    WIDE("Global group[")};
constexpr TGroupBatch kDeleteLocal{TGroupOperation::DeleteLocal,
                                   WIDE("Delete Local Groups"),
                                   WIDE("Deleted Local group["),
                                   WIDE("Error Local deleting group["),
                                   WIDE("Can not do; no Groups to delete: "),
                                   {ERROR_NO_SUCH_ALIAS, NERR_GroupNotFound},
                                   WIDE("Local group[")};
constexpr TGroupBatch kDeleteGlobal{TGroupOperation::DeleteGlobal,
                                    WIDE("Delete Global Groups"),
                                    WIDE("Deleted Global group["),
                                    WIDE("Error deleting Global group["),
                                    WIDE("Can not do; no Groups to delete: "),
                                    {NERR_GroupNotFound, NERR_GroupNotFound},
                                    WIDE("Global group[")};

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

bool Creates(const TGroupBatch& batch) {
    return batch.operation == TGroupOperation::CreateLocal ||
           batch.operation == TGroupOperation::CreateGlobal;
}

void RunGroupBatch(TBatchHost& host, const TGroupBatch& batch) {
    const TBatchFlags flags = host.Flags();
    if (flags.dryRun) {
        PlanGroupBatch(host, flags,
                       {batch.caption, Creates(batch),
                        batch.operation == TGroupOperation::CreateLocal ||
                            batch.operation == TGroupOperation::DeleteLocal,
                        batch.countErrorText});
        return;
    }
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
            } else if (flags.ensure &&
                       (status == batch.doneAlready[0] || status == batch.doneAlready[1])) {
                host.LogInfo(batch.doneAlreadyText + groupName +
                             (Creates(batch) ? WIDE("] exists already; left as it is")
                                             : WIDE("] is gone already")));
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
