#pragma once

#include "core/diagnostics/HealthProbing.h"
#include "platform/linux/AutostartLoginItem.h"

namespace tarnwell {

// Whether the autostart entry matches the Launch at Login setting: present, turned on, and
// starting this executable.
class AutostartProbe : public HealthProbing {
public:
    explicit AutostartProbe(QString executablePath = AutostartLoginItem::currentExecutablePath(),
                            QString autostartDirectory = AutostartLoginItem::defaultAutostartDirectory());

    QString title() const override;
    QCoro::Task<HealthCheck> check(HealthInputs inputs) override;

private:
    static HealthCheck inspect(const QString& executablePath, const QString& autostartDirectory, bool wanted);

    QString m_executablePath;
    QString m_autostartDirectory;
};

} // namespace tarnwell
