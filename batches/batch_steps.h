// Steps that the user batches share.
#pragma once

#include "batches/batch_host.h"
#include "platform/wide_text.h"
#include "support/buffers.h"
#include "support/owner.h"

#include <string>
#include <vector>

namespace nomvera::batches {

// The three buffers of one user batch, made once per batch and destroyed
// when the batch ends, also when an exception leaves it.
struct TUserBatchBuffers {
    TUserBatchBuffers();

    support::TOwnedBuffer<support::TSidBuffer> Sid;
    support::TOwnedBuffer<support::TWideTextBuffer> Domain;
    support::TOwnedBuffer<support::TWideTextBuffer> Profile;
};

// NameEdit + RunningNumber(i), and the same with PasswordEdit.
WideString NumberedName(const WideString& prefix, std::int32_t i);

// Looks up the account's SID into buffers.Sid and logs "SID of User[…][…]",
// or the error line with the last-error code. Gives the SID text, empty when
// the look-up or the conversion failed. goneIsDone: the account is known to
// be gone and a delete counts that as done, so a name that maps to no SID is
// an info line, not an error.
std::string LookUpUserSid(TBatchHost& host, TUserBatchBuffers& buffers,
                          const WideString& accountName, bool goneIsDone = false);

// The names of the ticked groups of the group list, in list order; none
// from a list of a single entry, which is never used, ticked or not.
std::vector<WideString> TickedGroups(TBatchHost& host);

// Repaint, one pass of message processing and the host's pause after each
// account.
void EndOfPass(TBatchHost& host);

// SystemMessageText(code) as UTF-16, the end of every error line.
WideString MessageOf(std::uint32_t code);

} // namespace nomvera::batches
