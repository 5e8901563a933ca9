#pragma once

#include <QList>
#include <QString>

namespace tarnwell {

// One built-in editing application: its name, its known identifiers and the file names its
// application bundle may have (one "*" wildcard allowed).
struct PresetCandidate {
    QString displayName;
    QList<QString> bundleIdentifiers;
    QList<QString> appNameHints;

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
