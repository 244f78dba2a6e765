// The application object. It is where Qt delivers every event, so it is the
// one place that sees an exception escaping any handler: such an exception
// goes to the exception hook (form/exception_hook.h), which logs it as an
// error line "EXCP: " + its message, and the program goes on.
#pragma once

#include <QApplication>

namespace nomvera::app {

class TNomveraApplication : public QApplication {
    Q_OBJECT
public:
    TNomveraApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace nomvera::app
