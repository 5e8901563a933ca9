#pragma once

#include <QList>
#include <QString>

namespace tarnwell {

// One built-in editing application: its name, its known identifiers, the file names its
// application bundle may have (one "*" wildcard allowed) and the snaps that package it.
struct PresetCandidate {
    QString displayName;
    QList<QString> bundleIdentifiers;
    QList<QString> appNameHints;
    QList<QString> snapNames = {};

    bool operator==(const PresetCandidate&) const = default;
};

// Finds the identifiers of installed applications that match a preset. Failures contribute
// nothing; they are never reported.
class PresetDiscovering {
public:
    virtual ~PresetDiscovering() = default;

    virtual QList<QString> discoverIdentifiers(const PresetCandidate& candidate) const = 0;
};

} // namespace tarnwell
