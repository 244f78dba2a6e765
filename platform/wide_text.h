// The project's one wide-text type: UTF-16 code units of the platform's own
// wide character, WCHAR (wchar_t on Windows, char16_t elsewhere), so text
// goes to and from the system's wide calls without a cast. WIDE("...")
// makes a literal of that type; it takes one string or character literal.
#pragma once

#include <string>
#include <string_view>

#include "platform/windows_types.h"

using WideString = std::basic_string<WCHAR>;
using WideStringView = std::basic_string_view<WCHAR>;

#if defined(_WIN32)
#define NOMVERA_WIDE_LITERAL(text) L##text
#else
#define NOMVERA_WIDE_LITERAL(text) u##text
#endif
#define WIDE(text) NOMVERA_WIDE_LITERAL(text)
