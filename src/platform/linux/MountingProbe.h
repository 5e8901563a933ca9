#pragma once

#include "core/diagnostics/HealthProbing.h"

#include <QDBusConnection>

namespace tarnwell {

// Whether drives can be mounted: UDisks2 answers on the system bus, and polkit lets the user
// mount a removable drive without a password; without UDisks2, root mounts directly.
class MountingProbe : public HealthProbing {
public:
    // The action UDisks2 asks polkit about before it mounts a removable drive.
    static constexpr const char* mountAction = "org.freedesktop.udisks2.filesystem-mount";

    // polkit is asked about the process `subjectPid` (this one by default), without interaction.
    explicit MountingProbe(QDBusConnection systemBus = QDBusConnection::systemBus(), qint64 subjectPid = 0,
                           std::optional<bool> asRoot = std::nullopt);

    QString title() const override;
    QCoro::Task<HealthCheck> check(HealthInputs inputs) override;

    // A rule that lets the user mount removable drives without a password.
    static QString exampleRule(const QString& userName);

private:
    static QCoro::Task<HealthCheck> check(QDBusConnection bus, qint64 pid, bool asRoot);

    QDBusConnection m_bus;
    qint64 m_subjectPid;
    bool m_asRoot;
};

} // namespace tarnwell
