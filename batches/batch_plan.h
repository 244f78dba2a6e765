// The dry run of the six batches: it reads the account service only, and
// logs for every name of the series what the batch would do, or an error
// line for what stands in its way. The Begin and End lines and the count
// check are those of the batch itself.
#pragma once

#include "batches/batch_host.h"
#include "platform/wide_text.h"

namespace nomvera::batches {

struct TGroupPlan {
    const WCHAR* caption;
    bool creates;
    bool local;
    const WCHAR* countErrorText;
};

void PlanCreateUsers(TBatchHost& host, const TBatchFlags& flags);
void PlanDeleteUsers(TBatchHost& host, const TBatchFlags& flags);
void PlanGroupBatch(TBatchHost& host, const TBatchFlags& flags, const TGroupPlan& plan);

// Whether the account service takes name for a user (or a group). What it
// refuses outright, before it looks at any account, can be told without
// asking it to change anything.
bool AccountServiceTakesName(const WideString& name, bool user);

} // namespace nomvera::batches
