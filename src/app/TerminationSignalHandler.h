#pragma once

#include <QObject>
#include <array>

class QSocketNotifier;

namespace tarnwell {

// Turns SIGINT and SIGTERM into a clean quit of the event loop. The signal handler only writes a
// byte to a socket; the quit happens on the GUI thread when the notifier reads it.
class TerminationSignalHandler : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignalHandler(QObject* parent = nullptr);
    ~TerminationSignalHandler() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    static void handleSignal(int signalNumber);

    static std::array<int, 2> s_sockets;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace tarnwell
