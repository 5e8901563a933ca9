#pragma once

#include "core/diagnostics/HealthProbing.h"

#include <QDBusConnection>

namespace tarnwell {

// Whether a notification server answers on the session bus, and which one.
class NotificationServerProbe : public HealthProbing {
public:
    explicit NotificationServerProbe(QDBusConnection sessionBus = QDBusConnection::sessionBus());

    QString title() const override;
    QCoro::Task<HealthCheck> check(HealthInputs inputs) override;

private:
    static QCoro::Task<HealthCheck> check(QDBusConnection bus);

    QDBusConnection m_bus;
};

} // namespace tarnwell
