#include "diskutil/UDisksService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStandardPaths>

namespace tarnwell {

bool UDisksService::answers(int timeoutMilliseconds) {
    if (QStandardPaths::findExecutable(QStringLiteral("udisksctl")).isEmpty()) {
        return false;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return false;
    }
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.UDisks2"), QStringLiteral("/org/freedesktop/UDisks2"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    return bus.call(ping, QDBus::Block, timeoutMilliseconds).type() == QDBusMessage::ReplyMessage;
}

} // namespace tarnwell
