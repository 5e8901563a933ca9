#pragma once

#include "core/model/PresetDiscovering.h"

#include <QList>
#include <QString>

namespace tarnwell {

// Finds installed applications by the Name of their desktop entries: an entry matches a preset when
// its Name matches one of the preset's bundle-name hints without the ".app" ending. Entries are
// read afresh on every call.
class DesktopEntryPresetDiscovery : public PresetDiscovering {
public:
    explicit DesktopEntryPresetDiscovery(
        QList<QString> applicationDirectories = defaultApplicationDirectories(),
        QString searchPath = qEnvironmentVariable("PATH"));

    static QList<QString> defaultApplicationDirectories();

    // The desktop-entry IDs of matching entries, in number-aware order of their file paths.
    QList<QString> discoverIdentifiers(const PresetCandidate& candidate) const override;

private:
    QList<QString> m_applicationDirectories;
    QString m_searchPath;
};

} // namespace tarnwell
