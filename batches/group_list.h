// The names of the machine's local groups, as the group list of the
// Create/Delete page shows them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/wide_text.h"

namespace nomvera::batches {

// Names in insertion order (never sorted); duplicates are kept; look-ups
// ignore letter case.
class TGroupNameList {
public:
    // Appends the name and returns its index.
    std::size_t Add(const WideString& name);
    void Clear() { names_.clear(); }
    std::size_t Count() const { return names_.size(); }
    const WideString& operator[](std::size_t index) const { return names_[index]; }
    // The index of the first name that equals name apart from letter case;
    // -1 when there is none.
    std::ptrdiff_t IndexOf(const WideString& name) const;

private:
    std::vector<WideString> names_;
};

// Appends the name of every local group of the machine, in the order the
// account service returns them (one NetLocalGroupEnum call at level 0). A
// failing enumeration adds nothing; nothing is logged.
void EnumerateLocalGroups(TGroupNameList& list);

} // namespace nomvera::batches
