#pragma once

#include "core/model/DriveInfo.h"
#include "core/model/StorageTargetState.h"
#include "core/model/TarnwellConfiguration.h"

namespace tarnwell::testing {

// A local-volume rule with the given name and sort order, enabled unless told otherwise.
inline StorageTargetRule localRule(const QString& name, qint64 sortOrder = 0, bool isEnabled = true) {
    StorageTargetRule rule;
    rule.id = QUuid::createUuid();
    rule.name = name;
    rule.target = LocalVolumeTarget{name, QStringLiteral("UUID-") + name, {}, {}, {}, {}, true};
    rule.sortOrder = sortOrder;
    rule.isEnabled = isEnabled;
    return rule;
}

// A mounted external volume with the given name.
inline DriveInfo volume(const QString& name) {
    return DriveInfo{name, QStringLiteral("UUID-") + name, {}, {}, QStringLiteral("/media/") + name, {}, true,
                     true};
}

inline TarnwellConfiguration configurationWith(QList<StorageTargetRule> rules,
                                               QList<AppTrigger> triggers = {}) {
    TarnwellConfiguration configuration = TarnwellConfiguration::defaultConfiguration(std::move(triggers));
    configuration.storageRules = std::move(rules);
    return configuration;
}

inline QList<StorageTargetState> statesFor(const TarnwellConfiguration& configuration,
                                           QList<StorageTargetRuntimeStatus> statuses) {
    QList<StorageTargetState> states;
    for (qsizetype index = 0; index < configuration.storageRules.size(); ++index) {
        states.append({configuration.storageRules[index], statuses.value(index), std::nullopt});
    }
    return states;
}

} // namespace tarnwell::testing
