#pragma once

#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

namespace tarnwell {

// One editing application that can trigger storage rules.
struct AppTrigger {
    QUuid id;
    QString displayName;
    // Identifiers that count as this application, in order and without duplicates.
    QList<QString> bundleIdentifiers;
    bool isEnabled = true;
    // Preset merging matches stored triggers by name only among entries with this flag.
    bool isBuiltInPreset = false;
    // Where the user picked a hand-added application.
    std::optional<QString> appPath;

    bool operator==(const AppTrigger&) const = default;
};

} // namespace tarnwell
