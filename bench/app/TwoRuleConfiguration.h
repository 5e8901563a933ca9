#pragma once

#include "core/model/TarnwellConfiguration.h"

#include <QUuid>

namespace tarnwell::bench {

inline const QString editorIdentifier = QStringLiteral("org.example.BenchEditor");

// One editor bound to two local volumes, the smallest configuration whose status refresh asks the
// disk tool about more than one volume.
inline TarnwellConfiguration twoRuleConfiguration(const QString& firstVolumeUUID,
                                                  const QString& secondVolumeUUID) {
    AppTrigger editor{QUuid::createUuid(), QStringLiteral("Bench Editor"), {editorIdentifier}, true, false,
                      std::nullopt};
    TarnwellConfiguration configuration = TarnwellConfiguration::defaultConfiguration({editor});
    configuration.storageRules.clear();
    const QList<std::pair<QString, QString>> volumes{{QStringLiteral("Rushes"), firstVolumeUUID},
                                                     {QStringLiteral("Archive"), secondVolumeUUID}};
    for (qsizetype index = 0; index < volumes.size(); ++index) {
        StorageTargetRule rule;
        rule.id = QUuid::createUuid();
        rule.name = volumes[index].first;
        rule.target =
            LocalVolumeTarget{volumes[index].first, volumes[index].second, std::nullopt, std::nullopt,
                              std::nullopt,         std::nullopt,          true};
        rule.appTriggerIDs = {editor.id};
        rule.sortOrder = index;
        configuration.storageRules.append(rule);
    }
    return configuration;
}

} // namespace tarnwell::bench
