#include "core/model/DriveRule.h"

#include "core/model/AppPresetService.h"

namespace tarnwell {

DriveRule DriveRule::defaultRule(QList<AppTrigger> appTriggers) {
    DriveRule rule;
    rule.id = QUuid::createUuid();
    rule.appTriggers = appTriggers.isEmpty() ? AppPresetService::defaultPresets() : std::move(appTriggers);
    return rule;
}

} // namespace tarnwell
