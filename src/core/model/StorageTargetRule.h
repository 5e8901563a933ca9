#pragma once

#include "core/model/AppTrigger.h"
#include "core/model/PostQuitAction.h"
#include "core/model/StorageTarget.h"

#include <QList>
#include <QUuid>

namespace tarnwell {

// One storage rule: which target to mount for which applications, and what to do after they quit.
struct StorageTargetRule {
    QUuid id;
    QString name;
    StorageTarget target;
    QList<QUuid> appTriggerIDs;
    bool mountOnAppLaunch = true;
    PostQuitAction postQuitAction = PostQuitAction::Remind;
    qint64 unmountDelaySeconds = 15;
    bool showNotifications = true;
    bool isEnabled = true;
    qint64 sortOrder = 0;

    // The trigger's own enabled flag is not consulted here.
    bool isBound(const AppTrigger& trigger) const;
    QString policySummary() const;

    bool operator==(const StorageTargetRule&) const = default;
};

// The rules in the order lists show them: by sortOrder, rules with equal sortOrder in stored order.
QList<StorageTargetRule> rulesInDisplayOrder(QList<StorageTargetRule> rules);

} // namespace tarnwell
