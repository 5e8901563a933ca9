#include "app/TerminationSignalHandler.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnwell {

std::array<int, 2> TerminationSignalHandler::s_sockets{-1, -1};

TerminationSignalHandler::TerminationSignalHandler(QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, s_sockets.data()) != 0) {
        qWarning("Cannot watch for termination signals: socketpair failed");
        return;
    }
    m_notifier = new QSocketNotifier(s_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char signalNumber = 0;
        if (::read(s_sockets[1], &signalNumber, 1) == 1) {
            Q_EMIT terminationRequested(signalNumber);
        }
    });
    struct sigaction action = {};
    action.sa_handler = &TerminationSignalHandler::handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

TerminationSignalHandler::~TerminationSignalHandler() {
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    for (int& socket : s_sockets) {
        if (socket >= 0) {
            ::close(socket);
            socket = -1;
        }
    }
}

void TerminationSignalHandler::handleSignal(int signalNumber) {
    const auto byte = static_cast<unsigned char>(signalNumber);
    // Only async-signal-safe calls here; a full socket just drops the duplicate request.
    [[maybe_unused]] const auto written = ::write(s_sockets[0], &byte, 1);
}

} // namespace tarnwell
