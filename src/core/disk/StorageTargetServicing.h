#pragma once

#include "core/model/StorageTarget.h"
#include "core/model/StorageTargetRuntimeStatus.h"

#include <QCoroTask>

namespace tarnwell {

// Status, mount and unmount of one rule's target.
class StorageTargetServicing {
public:
    virtual ~StorageTargetServicing() = default;

    // Never throws: answers mounted, notMounted or targetNotFound.
    virtual QCoro::Task<StorageTargetRuntimeStatus> status(StorageTarget target) = 0;
    // Returns once the target is mounted, or throws.
    virtual QCoro::Task<> mount(StorageTarget target) = 0;
    // The ordinary unmount, never forced; returns once the target is unmounted, or throws.
    virtual QCoro::Task<> unmount(StorageTarget target) = 0;
};

} // namespace tarnwell
