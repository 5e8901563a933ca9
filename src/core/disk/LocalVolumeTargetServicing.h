#pragma once

#include "core/model/LocalVolumeTarget.h"
#include "core/model/StorageTargetRuntimeStatus.h"

#include <QCoroTask>

namespace tarnwell {

// Status, mount and unmount of a local volume named by its volume UUID.
class LocalVolumeTargetServicing {
public:
    virtual ~LocalVolumeTargetServicing() = default;

    // Never throws: mounted, notMounted or targetNotFound.
    virtual QCoro::Task<StorageTargetRuntimeStatus> status(LocalVolumeTarget target) = 0;
    virtual QCoro::Task<> mount(LocalVolumeTarget target) = 0;
    virtual QCoro::Task<> unmount(LocalVolumeTarget target) = 0;
};

} // namespace tarnwell
