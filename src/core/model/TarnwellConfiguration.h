#pragma once

#include "core/model/AppTrigger.h"
#include "core/model/StorageTargetRule.h"

namespace tarnwell {

// The persisted document.
struct TarnwellConfiguration {
    static constexpr qint64 currentSchemaVersion = 2;

    qint64 schemaVersion = currentSchemaVersion;
    QList<StorageTargetRule> storageRules;
    QList<AppTrigger> appTriggers;
    bool showAllVolumes = false;
    bool launchAtLogin = false;

    static TarnwellConfiguration defaultConfiguration(QList<AppTrigger> appTriggers);

    bool operator==(const TarnwellConfiguration&) const = default;
};

} // namespace tarnwell
