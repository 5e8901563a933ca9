#pragma once

#include "core/diagnostics/HealthProbing.h"

namespace tarnwell {

// Where the configuration file is, whether it can be read and written, and how the last save went.
class ConfigurationProbe : public HealthProbing {
public:
    // By default the file of the per-user preferences store.
    explicit ConfigurationProbe(QString filePath = {});

    QString title() const override;
    QCoro::Task<HealthCheck> check(HealthInputs inputs) override;

private:
    static HealthCheck inspect(const QString& filePath, const std::optional<SaveOutcome>& lastSave);

    QString m_filePath;
};

} // namespace tarnwell
