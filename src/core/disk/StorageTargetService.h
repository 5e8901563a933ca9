#pragma once

#include "core/disk/LocalVolumeTargetServicing.h"
#include "core/disk/StorageTargetServicing.h"

#include <memory>

namespace tarnwell {

// Dispatches on the kind of target. Network shares are part of the model but not served: their
// status is targetNotFound and mounting or unmounting them is refused.
class StorageTargetService : public StorageTargetServicing {
public:
    explicit StorageTargetService(std::shared_ptr<LocalVolumeTargetServicing> localVolumeService = nullptr);

    QCoro::Task<StorageTargetRuntimeStatus> status(StorageTarget target) override;
    QCoro::Task<> mount(StorageTarget target) override;
    QCoro::Task<> unmount(StorageTarget target) override;

private:
    std::shared_ptr<LocalVolumeTargetServicing> m_localVolumeService;
};

} // namespace tarnwell
