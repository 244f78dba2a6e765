// The batches of the Create/Delete page, one row each, in the order of their
// buttons. The form (which buttons a mode shows, where, and what a click
// runs), both views (the buttons, their captions, glyphs and handlers) and
// the command line (its commands, usage lines and --help) are all made from
// this table: a new batch is a row here, its function in batches/ and its
// tests.
#pragma once

#include "batches/batches.h"
#include "platform/wide_text.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace nomvera::form {

// The action and target radio buttons that show a batch's button; the
// action also picks its glyph.
enum class TBatchAction { Create, Delete };
enum class TBatchTarget { Users, Groups };

struct TBatch {
    const char* command;  // the command line's name: "create-users"
    const WCHAR* caption; // the button's caption; the command line's summary line
    void (*run)(batches::TBatchHost&);
    TBatchAction action;
    TBatchTarget target;
    // The button's slot: 0 where the first button is, 1 right below it.
    int slot;
    // The password entry and the group list belong to it (on the command
    // line: --password-file, --group, --no-default-groups, --credentials).
    bool takesPassword;
    // The Profile box applies to it (on the command line: --profile).
    bool takesProfile;
    // What --help says the command does, below its usage.
    const char* help;
};

inline constexpr auto kBatches = std::to_array<TBatch>({
    {"create-users", WIDE("Create Users"), &batches::CreateUsersBatch, TBatchAction::Create,
     TBatchTarget::Users, 0, true, true,
     "Create the users NAME001 ... NAMEnnn with the passwords PREFIX001 ... The password prefix "
     "is the first line of FILE (- for standard input); without --password-file it is asked for "
     "on the terminal, unechoed. Each joins the local groups the window ticks (Users and Remote "
     "Desktop Users) and every --group, in the order of the group file."},
    {"delete-users", WIDE("Delete Users"), &batches::DeleteUsersBatch, TBatchAction::Delete,
     TBatchTarget::Users, 0, false, true, "Delete the users NAME001 ... NAMEnnn."},
    {"create-local-groups", WIDE("Create Local Groups"), &batches::CreateLocalGroupsBatch,
     TBatchAction::Create, TBatchTarget::Groups, 0, false, false,
     "Create the local groups NAME001 ... NAMEnnn."},
    {"delete-local-groups", WIDE("Delete Local Groups"), &batches::DeleteLocalGroupsBatch,
     TBatchAction::Delete, TBatchTarget::Groups, 0, false, false,
     "Delete the local groups NAME001 ... NAMEnnn."},
    {"create-global-groups", WIDE("Create Global Groups"), &batches::CreateGlobalGroupsBatch,
     TBatchAction::Create, TBatchTarget::Groups, 1, false, false,
     "Create the global groups NAME001 ... NAMEnnn. Global groups exist only on a domain "
     "controller (--server); elsewhere every group fails with 2226."},
    {"delete-global-groups", WIDE("Delete Global Groups"), &batches::DeleteGlobalGroupsBatch,
     TBatchAction::Delete, TBatchTarget::Groups, 1, false, false,
     "Delete the global groups NAME001 ... NAMEnnn (on a domain controller, see "
     "create-global-groups)."},
});

// The row of the command, or kBatches.size() when none has that name.
constexpr std::size_t BatchIndex(std::string_view command) {
    std::size_t index = 0;
    while (index < kBatches.size() && command != kBatches[index].command) {
        ++index;
    }
    return index;
}

} // namespace nomvera::form
