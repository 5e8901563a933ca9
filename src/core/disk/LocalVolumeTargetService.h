#pragma once

#include "core/disk/DiskServicing.h"
#include "core/disk/LocalVolumeTargetServicing.h"

#include <memory>

namespace tarnwell {

// Serves local volumes through the disk service. Only the target's volume UUID is used: the rest
// of the target is what the disk tool said when the rule was made and may be stale by now.
class LocalVolumeTargetService : public LocalVolumeTargetServicing {
public:
    explicit LocalVolumeTargetService(std::shared_ptr<DiskServicing> diskService = nullptr);

    QCoro::Task<StorageTargetRuntimeStatus> status(LocalVolumeTarget target) override;
    QCoro::Task<> mount(LocalVolumeTarget target) override;
    QCoro::Task<> unmount(LocalVolumeTarget target) override;

private:
    std::shared_ptr<DiskServicing> m_diskService;
};

} // namespace tarnwell
