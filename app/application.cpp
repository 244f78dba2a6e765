#include "app/application.h"

#include "form/exception_hook.h"

namespace nomvera::app {

TNomveraApplication::TNomveraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TNomveraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        form::ReportEscapedException(form::CurrentExceptionMessage());
        return false;
    }
}

} // namespace nomvera::app
