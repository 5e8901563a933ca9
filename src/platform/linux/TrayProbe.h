#pragma once

#include "core/diagnostics/HealthProbing.h"

#include <QDBusConnection>

namespace tarnwell {

// Whether the desktop shows tray icons: a StatusNotifierItem host on the session bus, or an
// XEmbed system tray on the X display.
class TrayProbe : public HealthProbing {
public:
    explicit TrayProbe(QDBusConnection sessionBus = QDBusConnection::sessionBus(),
                       QString display = qEnvironmentVariable("DISPLAY"));

    QString title() const override;
    QCoro::Task<HealthCheck> check(HealthInputs inputs) override;

    // Whether a client owns the XEmbed tray selection of the display's default screen.
    static bool embeddedTrayPresent(const QString& display);

private:
    static QCoro::Task<HealthCheck> check(QDBusConnection bus, QString display);

    QDBusConnection m_bus;
    QString m_display;
};

} // namespace tarnwell
