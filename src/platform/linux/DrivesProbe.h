#pragma once

#include "core/diagnostics/HealthProbing.h"
#include "core/disk/DiskServicing.h"

#include <memory>

namespace tarnwell {

// For each enabled rule: whether its target is found, and which processes keep it mounted.
class DrivesProbe : public HealthProbing {
public:
    explicit DrivesProbe(std::shared_ptr<DiskServicing> diskService);

    QString title() const override;
    QCoro::Task<HealthCheck> check(HealthInputs inputs) override;

    // The processes with a working directory or an open file on the file system mounted at the
    // path, as "name (pid)"; those this user may not inspect are passed over.
    static QStringList holders(const QString& mountPoint);

private:
    static QCoro::Task<HealthCheck> check(HealthInputs inputs, std::shared_ptr<DiskServicing> diskService);

    std::shared_ptr<DiskServicing> m_diskService;
};

} // namespace tarnwell
