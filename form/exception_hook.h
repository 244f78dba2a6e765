// The exception hook: an exception that escapes any handler of the window is
// not shown in a dialog; it is logged as the error line "EXCP: " + its
// message, and the program goes on.
#pragma once

#include <functional>

#include "platform/wide_text.h"

namespace nomvera::form {

// Logs "EXCP: " + the message through the target set by SetExceptionTarget
// (the main window's LogError), on stderr while there is none or when the
// target itself fails. Never throws.
void ReportEscapedException(const WideString& message);
// The message of the exception being handled ("unknown exception" for one
// that is not a std::exception). Call only inside a catch block.
WideString CurrentExceptionMessage();
void SetExceptionTarget(std::function<void(const WideString&)> target);

// Runs a handler and sends an exception escaping it to the hook.
template <class Handler> void RunGuarded(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        ReportEscapedException(CurrentExceptionMessage());
    }
}

} // namespace nomvera::form
