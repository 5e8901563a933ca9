#include "platform/linux/LogindSleepService.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <utility>

namespace tarnwell {

namespace {

const QString service = QStringLiteral("org.freedesktop.login1");
const QString path = QStringLiteral("/org/freedesktop/login1");
const QString manager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

LogindSleepService::LogindSleepService(QDBusConnection connection, QObject* parent)
    : SystemSleepSource(parent)
    , m_connection(std::move(connection)) {
    if (m_connection.isConnected()) {
        m_connection.connect(service, path, manager, QStringLiteral("PrepareForSleep"), this,
                             SLOT(prepareForSleep(bool)));
    }
}

void LogindSleepService::setHoldingSleep(bool hold) {
    m_wanted = hold;
    if (!hold) {
        // Closing our copy of the descriptor releases the lock.
        m_lock = QDBusUnixFileDescriptor();
    } else if (!m_lock.isValid()) {
        requestLock();
    }
}

void LogindSleepService::requestLock() {
    if (m_requesting || !m_connection.isConnected()) {
        return;
    }
    m_requesting = true;
    QDBusMessage inhibit = QDBusMessage::createMethodCall(service, path, manager, QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep") << QStringLiteral("Tarnwell")
            << QStringLiteral("Unmounting drives whose editors have quit") << QStringLiteral("delay");
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(inhibit), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        m_requesting = false;
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
        if (reply.isError()) {
            // Said once: a system without logind refuses every request alike.
            if (std::exchange(m_refusalNoticed, true)) {
                return;
            }
            Q_EMIT noticed(QStringLiteral("Sleep is not held back for pending auto-unmounts: ") +
                           reply.error().message());
            return;
        }
        // The hold may have been given up while the lock was on its way; the reply's copy of the
        // descriptor then closes here.
        if (m_wanted) {
            m_lock = reply.value();
        }
    });
}

void LogindSleepService::prepareForSleep(bool start) {
    if (start) {
        Q_EMIT aboutToSleep();
        return;
    }
    // logind takes nothing back on resume, but a lock released for the sleep is taken again while
    // there is still something to finish.
    if (m_wanted && !m_lock.isValid()) {
        requestLock();
    }
    Q_EMIT resumed();
}

} // namespace tarnwell
