#pragma once

#include "core/model/DriveRule.h"

namespace tarnwell {

// The envelope stored under the legacy key.
struct StoredDriveRule {
    static constexpr qint64 currentVersion = 1;

    qint64 version = currentVersion;
    DriveRule rule;

    bool operator==(const StoredDriveRule&) const = default;
};

} // namespace tarnwell
