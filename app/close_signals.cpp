#include "app/close_signals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace nomvera::app {
namespace {

constexpr std::array<int, 3> kCloseSignals = {SIGTERM, SIGINT, SIGHUP};

int g_pipe[2] = {-1, -1};
struct sigaction g_previous[kCloseSignals.size()];

void OnCloseSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a pending close request; dropping this one is fine.
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

TCloseSignals::TCloseSignals(QObject* parent) : QObject(parent) {
    if (g_pipe[0] >= 0 || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TCloseSignals::ReadPipe);

    struct sigaction action = {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kCloseSignals.size(); ++i) {
        sigaction(kCloseSignals[i], &action, &g_previous[i]);
    }
    installed_ = true;
}

TCloseSignals::~TCloseSignals() {
    if (!installed_) {
        return;
    }
    for (std::size_t i = 0; i < kCloseSignals.size(); ++i) {
        sigaction(kCloseSignals[i], &g_previous[i], nullptr);
    }
    delete notifier_;
    close(g_pipe[0]);
    close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TCloseSignals::ReadPipe() {
    unsigned char bytes[16];
    int last = 0;
    ssize_t count;
    while ((count = read(g_pipe[0], bytes, sizeof bytes)) > 0) {
        last = bytes[count - 1];
    }
    if (last != 0) {
        emit CloseRequested(last);
    }
}

} // namespace nomvera::app
