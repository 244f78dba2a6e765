#include "app/application.h"
#include "platform/wide_text.h"

#include <cstdio>
#include <exception>

namespace nomvera::app {
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
        return QString::fromLocal8Bit(failure.what()).toStdU16String();
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
    std::fprintf(stderr, "%s\n", QString::fromStdU16String(line).toLocal8Bit().constData());
}

TNomveraApplication::TNomveraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TNomveraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportEscapedException(CurrentExceptionMessage());
        return false;
    }
}

} // namespace nomvera::app
