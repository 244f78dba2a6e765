// The names the account stand-in hands to shadow-utils. An accepted name can
// neither pass for an option ("-..."), nor name a folder step ("." or ".."),
// nor break a field of the account files (":", ",", line breaks, blanks, NUL,
// "/", anything outside ASCII); within those bounds every portable name is
// accepted, and the length limit is the only thing the limit argument changes.
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/standin_services.h"
#include "platform/wide_text.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdint>
#include <string>

namespace {

using nomvera::fuzz::Escaped;

bool Portable(WCHAR c) {
    return (c >= WIDE('a') && c <= WIDE('z')) || (c >= WIDE('A') && c <= WIDE('Z')) ||
           (c >= WIDE('0') && c <= WIDE('9')) || c == WIDE('.') || c == WIDE('_') || c == WIDE('-');
}

// The rule spelled out from the account files' side.
bool SafeForAccountFiles(const WideString& name) {
    if (name.empty() || name[0] == WIDE('-') || name == WIDE(".") || name == WIDE("..")) {
        return false;
    }
    for (WCHAR c : name) {
        if (!Portable(c)) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using nomvera::posix::IsAcceptableAccountName;
    if (size < 2) {
        return 0;
    }
    const std::size_t limit = data[0] % 40;
    const WideString name = nomvera::fuzz::UnitsOf(data + 1, size - 1);
    const bool accepted = IsAcceptableAccountName(name, limit);
    const std::string shown = Escaped(name) + " with limit " + std::to_string(limit);

    FUZZ_CHECK(accepted == (name.size() <= limit && SafeForAccountFiles(name)),
               shown + (accepted ? " accepted" : " refused"));
    FUZZ_CHECK(IsAcceptableAccountName(name, name.size() + 100) == SafeForAccountFiles(name),
               shown + ": acceptance depends on the limit beyond the length");
    if (accepted) {
        const auto bytes = nomvera::posix::Utf16ToUtf8(name);
        FUZZ_CHECK(bytes && bytes->size() == name.size(), shown + ": not one byte per character");
        FUZZ_CHECK(bytes->find_first_of(std::string(":,\n\r\t /\\\0", 10)) == std::string::npos,
                   shown + ": holds a separator of the account files");
    }
    return 0;
}
