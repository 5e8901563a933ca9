#pragma once

#include "core/automation/SystemSleepSource.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>

namespace tarnwell {

// The system's sleep as systemd-logind tells it on the system bus: PrepareForSleep before and after
// a suspend or hibernation, and a delay inhibitor lock, a file descriptor whose closing lets the
// sleep go on. Without logind the signals never come and holding does nothing.
class LogindSleepService : public SystemSleepSource {
    Q_OBJECT

public:
    explicit LogindSleepService(QDBusConnection connection = QDBusConnection::systemBus(),
                                QObject* parent = nullptr);

    void setHoldingSleep(bool hold) override;
    // Whether the inhibitor lock is held right now.
    bool holdsSleep() const { return m_lock.isValid(); }

private Q_SLOTS:
    void prepareForSleep(bool start);

private:
    void requestLock();

    QDBusConnection m_connection;
    QDBusUnixFileDescriptor m_lock;
    bool m_wanted = false;
    bool m_requesting = false;
    bool m_refusalNoticed = false;
};

} // namespace tarnwell
