#include "platform/linux/HealthProbeSupport.h"

#include <QCoroDBusPendingCall>
#include <QDBusPendingCall>
#include <QDBusVariant>

namespace tarnwell::HealthProbeSupport {

QCoro::Task<QDBusMessage> call(QDBusConnection connection, QDBusMessage message) {
    if (!connection.isConnected()) {
        co_return message.createErrorReply(QDBusError::Disconnected, connection.lastError().message());
    }
    const QDBusPendingCall pending = connection.asyncCall(message);
    co_return co_await pending;
}

QString errorText(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage) {
        return {};
    }
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

QDBusMessage busMethod(const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                          QStringLiteral("/org/freedesktop/DBus"),
                                                          QStringLiteral("org.freedesktop.DBus"), method);
    message.setArguments(arguments);
    return message;
}

QDBusMessage propertyRead(const QString& service, const QString& path, const QString& interface,
                          const QString& property) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments({interface, property});
    return message;
}

QVariant propertyValue(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().first().value<QDBusVariant>().variant();
}

QCoro::Task<bool> hasOwner(QDBusConnection connection, QString name) {
    const QDBusMessage question = busMethod(QStringLiteral("NameHasOwner"), QVariantList{name});
    const QDBusMessage reply = co_await call(connection, question);
    co_return reply.type() == QDBusMessage::ReplyMessage&& reply.arguments().value(0).toBool();
}

} // namespace tarnwell::HealthProbeSupport
