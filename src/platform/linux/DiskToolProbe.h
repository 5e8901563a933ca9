#pragma once

#include "core/diagnostics/HealthProbing.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunning.h"

#include <memory>

namespace tarnwell {

// Whether the disk tool is in its place beside the executable, runs, and answers a listing, and
// how long the listing took.
class DiskToolProbe : public HealthProbing {
public:
    explicit DiskToolProbe(QString toolPath = DiskService::defaultDiskutilPath(),
                           std::shared_ptr<ShellRunning> shell = {});

    QString title() const override;
    QCoro::Task<HealthCheck> check(HealthInputs inputs) override;

private:
    static QCoro::Task<HealthCheck> check(QString toolPath, std::shared_ptr<ShellRunning> shell);

    QString m_toolPath;
    std::shared_ptr<ShellRunning> m_shell;
};

} // namespace tarnwell
