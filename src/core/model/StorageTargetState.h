#pragma once

#include "core/model/StorageTargetRule.h"
#include "core/model/StorageTargetRuntimeStatus.h"

namespace tarnwell {

// A rule together with its runtime status and the message of its last failure.
struct StorageTargetState {
    StorageTargetRule rule;
    StorageTargetRuntimeStatus status;
    std::optional<QString> lastErrorMessage;

    QUuid id() const { return rule.id; }

    bool operator==(const StorageTargetState&) const = default;
};

} // namespace tarnwell
