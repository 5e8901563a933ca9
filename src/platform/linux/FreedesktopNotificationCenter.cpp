#include "platform/linux/FreedesktopNotificationCenter.h"

#include "core/support/PlatformError.h"

#include <QCoroDBusPendingCall>
#include <QDBusMessage>
#include <QDBusPendingCall>

namespace tarnwell {

namespace {

const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");
const QString interfaceName = QStringLiteral("org.freedesktop.Notifications");

QCoro::Task<QDBusMessage> call(QDBusConnection connection, QDBusMessage message) {
    const QDBusPendingCall pending = connection.asyncCall(message);
    QDBusMessage reply = co_await pending;
    if (reply.type() == QDBusMessage::ErrorMessage) {
        throw PlatformError(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
    }
    co_return reply;
}

QDBusMessage busCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

} // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection connection)
    : m_connection(std::move(connection)) {
}

QCoro::Task<NotificationPermission> FreedesktopNotificationCenter::permission() {
    return permission(m_connection);
}

QCoro::Task<> FreedesktopNotificationCenter::requestAuthorization() {
    // The notification servers of the free desktops have no permission to grant.
    co_return;
}

QCoro::Task<> FreedesktopNotificationCenter::add(NotificationRequest request) {
    return add(m_connection, std::move(request));
}

QCoro::Task<NotificationPermission> FreedesktopNotificationCenter::permission(QDBusConnection connection) {
    if (!connection.isConnected()) {
        co_return NotificationPermission::denied;
    }
    const QString name = QString::fromLatin1(serviceName);
    QDBusMessage hasOwner = busCall(QStringLiteral("NameHasOwner"));
    hasOwner << name;
    const QDBusMessage owned = co_await call(connection, hasOwner);
    if (owned.arguments().value(0).toBool()) {
        co_return NotificationPermission::authorized;
    }
    const QDBusMessage activatable =
        co_await call(connection, busCall(QStringLiteral("ListActivatableNames")));
    co_return activatable.arguments().value(0).toStringList().contains(name)
        ? NotificationPermission::authorized
        : NotificationPermission::denied;
}

QCoro::Task<> FreedesktopNotificationCenter::add(QDBusConnection connection, NotificationRequest request) {
    if (!connection.isConnected()) {
        throw PlatformError(connection.lastError().message());
    }
    const QString service = QString::fromLatin1(serviceName);
    const QDBusMessage capabilities =
        co_await call(connection, QDBusMessage::createMethodCall(service, objectPath, interfaceName,
                                                                 QStringLiteral("GetCapabilities")));

    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("tarnwell")}};
    // Servers that cannot play sounds are not sent a sound to ignore.
    if (request.playsDefaultSound &&
        capabilities.arguments().value(0).toStringList().contains(QStringLiteral("sound"))) {
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
    }
    QDBusMessage notify =
        QDBusMessage::createMethodCall(service, objectPath, interfaceName, QStringLiteral("Notify"));
    // Replacing no earlier notification (id 0) makes every request a notification of its own.
    notify << QStringLiteral("Tarnwell") << 0u << QStringLiteral("tarnwell") << request.title << request.body
           << QStringList() << hints << -1;
    co_await call(connection, notify);
}

} // namespace tarnwell
