#pragma once

#include "core/model/AppTrigger.h"
#include "core/model/DriveInfo.h"
#include "core/model/PostQuitAction.h"

#include <QList>
#include <QUuid>

namespace tarnwell {

// The older single-rule record: still what the settings screen edits and what the legacy stored
// format holds.
struct DriveRule {
    QUuid id;
    std::optional<DriveInfo> targetDrive;
    QList<AppTrigger> appTriggers;
    bool mountOnAppLaunch = true;
    PostQuitAction postQuitAction = PostQuitAction::Remind;
    qint64 unmountDelaySeconds = 15;
    bool showAllVolumes = false;
    bool showNotifications = true;
    bool launchAtLogin = false;

    // A fresh rule with no drive; with no triggers given, the built-in presets are used.
    static DriveRule defaultRule(QList<AppTrigger> appTriggers = {});

    bool operator==(const DriveRule&) const = default;
};

} // namespace tarnwell
