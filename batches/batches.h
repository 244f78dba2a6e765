// The six batch handlers of the Create/Delete page. Each runs its whole
// operation inside the click, talking to the window through the host.
#pragma once

#include "batches/batch_host.h"

namespace nomvera::batches {

void CreateUsersBatch(TBatchHost& host);        // "Create Users"
void DeleteUsersBatch(TBatchHost& host);        // "Delete Users"
void CreateLocalGroupsBatch(TBatchHost& host);  // "Create Local Groups"
void DeleteLocalGroupsBatch(TBatchHost& host);  // "Delete Local Groups"
void CreateGlobalGroupsBatch(TBatchHost& host); // "Create Global Groups"
void DeleteGlobalGroupsBatch(TBatchHost& host); // "Delete Global Groups"

} // namespace nomvera::batches
