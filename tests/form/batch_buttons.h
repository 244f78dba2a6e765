// The batch buttons by their batches' command names, for the tests that
// press or look at the button of one batch.
#pragma once

#include "form/form_view.h"

#include <stdexcept>
#include <string_view>

namespace nomvera::test {

constexpr form::TControl BatchButtonOf(std::string_view command) {
    const std::size_t index = form::BatchIndex(command);
    if (index == form::kBatches.size()) {
        throw std::invalid_argument("no batch of that name"); // fails the build
    }
    return form::BatchButton(index);
}

inline constexpr form::TControl kCreateUsersButton = BatchButtonOf("create-users");
inline constexpr form::TControl kDeleteUsersButton = BatchButtonOf("delete-users");
inline constexpr form::TControl kCreateLocalGroupsButton = BatchButtonOf("create-local-groups");
inline constexpr form::TControl kDeleteLocalGroupsButton = BatchButtonOf("delete-local-groups");
inline constexpr form::TControl kCreateGlobalGroupsButton = BatchButtonOf("create-global-groups");
inline constexpr form::TControl kDeleteGlobalGroupsButton = BatchButtonOf("delete-global-groups");

} // namespace nomvera::test
