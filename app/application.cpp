#include "app/application.h"

#include <cstdio>
#include <exception>

namespace nomvera::app {
namespace {

std::function<void(const std::u16string&)>& ExceptionTarget() {
    static std::function<void(const std::u16string&)> target;
    return target;
}

} // namespace

void SetExceptionTarget(std::function<void(const std::u16string&)> target) {
    ExceptionTarget() = std::move(target);
}

std::u16string CurrentExceptionMessage() {
    try {
        throw;
    } catch (const std::exception& failure) {
        return QString::fromLocal8Bit(failure.what()).toStdU16String();
    } catch (...) {
        return u"unknown exception";
    }
}

void ReportEscapedException(const std::u16string& message) {
    const std::u16string line = u"EXCP: " + message;
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
