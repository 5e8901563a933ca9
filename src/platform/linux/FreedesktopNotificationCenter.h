#pragma once

#include "platform/NotificationCentering.h"

#include <QDBusConnection>

namespace tarnwell {

// The session's notification server (org.freedesktop.Notifications). There is no permission to
// ask for: notifications count as allowed while a server owns the name or the bus can start one.
class FreedesktopNotificationCenter : public NotificationCentering {
public:
    explicit FreedesktopNotificationCenter(QDBusConnection connection = QDBusConnection::sessionBus());

    static constexpr const char* serviceName = "org.freedesktop.Notifications";

    QCoro::Task<NotificationPermission> permission() override;
    QCoro::Task<> requestAuthorization() override;
    QCoro::Task<> add(NotificationRequest request) override;

private:
    static QCoro::Task<NotificationPermission> permission(QDBusConnection connection);
    static QCoro::Task<> add(QDBusConnection connection, NotificationRequest request);

    QDBusConnection m_connection;
};

} // namespace tarnwell
