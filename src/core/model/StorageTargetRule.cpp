#include "core/model/StorageTargetRule.h"

#include "core/support/Localization.h"

#include <algorithm>

namespace tarnwell {

bool StorageTargetRule::isBound(const AppTrigger& trigger) const {
    return appTriggerIDs.contains(trigger.id);
}

QString StorageTargetRule::policySummary() const {
    QString action;
    switch (postQuitAction) {
    case PostQuitAction::Off:
        action = localized("No post-quit action");
        break;
    case PostQuitAction::Remind:
        action = localized("Remind after quit");
        break;
    case PostQuitAction::AutoUnmount:
        action = localized("Auto-unmount after quit");
        break;
    }
    return mountOnAppLaunch ? localizedFormat("Mount on launch, %@", {action}) : action;
}

QList<StorageTargetRule> rulesInDisplayOrder(QList<StorageTargetRule> rules) {
    std::stable_sort(rules.begin(), rules.end(),
                     [](const StorageTargetRule& left, const StorageTargetRule& right) {
                         return left.sortOrder < right.sortOrder;
                     });
    return rules;
}

} // namespace tarnwell
