// SIGTERM, SIGINT and SIGHUP as close requests. The signal handler only writes
// the signal's number into a pipe; a socket notifier on the window's thread
// reads it and emits CloseRequested, so the close runs like a click on the
// title bar's close button, between two events and never inside a handler.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace nomvera::app {

class TCloseSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers. Only one instance may exist at a time.
    explicit TCloseSignals(QObject* parent = nullptr);
    // Restores the handlers that were there before.
    ~TCloseSignals() override;

    bool Installed() const { return installed_; }

signals:
    void CloseRequested(int signalNumber);

private:
    void ReadPipe();

    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

} // namespace nomvera::app
