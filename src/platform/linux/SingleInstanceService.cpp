#include "platform/linux/SingleInstanceService.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace tarnwell {

namespace {

constexpr int activationTimeoutMilliseconds = 5000;

} // namespace

SingleInstanceService::SingleInstanceService(QDBusConnection connection, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection)) {
}

SingleInstanceService::Claim SingleInstanceService::claim() {
    if (!m_connection.isConnected() || !m_connection.interface()) {
        return Claim::NoSessionBus;
    }
    const QString service = QString::fromLatin1(serviceName);
    const QString path = QString::fromLatin1(objectPath);
    // The object is in place before the name is taken, so a second start never finds the name
    // without someone to answer it.
    m_connection.registerObject(path, this, QDBusConnection::ExportScriptableSlots);
    const auto reply = m_connection.interface()->registerService(
        service, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        return Claim::First;
    }
    m_connection.unregisterObject(path);
    QDBusMessage activate = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.tarnwell.Tarnwell.Instance"), QStringLiteral("Activate"));
    const QDBusMessage answer = m_connection.call(activate, QDBus::Block, activationTimeoutMilliseconds);
    return answer.type() == QDBusMessage::ReplyMessage ? Claim::Raised : Claim::Unreachable;
}

void SingleInstanceService::Activate() {
    Q_EMIT activationRequested();
}

} // namespace tarnwell
