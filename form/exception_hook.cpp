#include "form/exception_hook.h"

#include "platform/wide_text.h"
#include "support/text.h"

#include <cstdio>
#include <exception>
#include <string>

namespace nomvera::form {
namespace {

std::function<void(const WideString&)>& ExceptionTarget() {
    static std::function<void(const WideString&)> target;
    return target;
}

} // namespace

void SetExceptionTarget(std::function<void(const WideString&)> target) {
    ExceptionTarget() = std::move(target);
}

WideString CurrentExceptionMessage() {
    try {
        throw;
    } catch (const std::exception& failure) {
        return support::WidenText(failure.what());
    } catch (...) {
        return WIDE("unknown exception");
    }
}

void ReportEscapedException(const WideString& message) {
    const WideString line = WIDE("EXCP: ") + message;
    try {
        if (ExceptionTarget()) {
            ExceptionTarget()(line);
            return;
        }
    } catch (...) {
        // The log itself failed; fall through to stderr.
    }
    try {
        std::fprintf(stderr, "%s\n", support::NarrowText(line).c_str());
    } catch (...) {
        // Nothing is left to report to.
    }
}

} // namespace nomvera::form
