// The application object. It is where Qt delivers every event, so it is the
// one place that sees an exception escaping any handler: such an exception is
// logged as an error line "EXCP: " + its message and the program goes on.
#pragma once

#include <QApplication>

#include <functional>
#include <string>

#include "platform/wide_text.h"

namespace nomvera::app {

// The exception hook: logs "EXCP: " + the message through the target set by
// SetExceptionTarget (the main window's LogError), on stderr while there is
// none. Never throws.
void ReportEscapedException(const WideString& message);
// The message of the exception being handled ("unknown exception" for one
// that is not a std::exception). Call only inside a catch block.
WideString CurrentExceptionMessage();
void SetExceptionTarget(std::function<void(const WideString&)> target);

// Runs a handler and sends an exception escaping it to the hook. Used for the
// handlers the window connects itself, because Qt's own widget code is not
// built to let exceptions pass through it.
template <class Handler> void RunGuarded(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        ReportEscapedException(CurrentExceptionMessage());
    }
}

class TNomveraApplication : public QApplication {
    Q_OBJECT
public:
    TNomveraApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace nomvera::app
