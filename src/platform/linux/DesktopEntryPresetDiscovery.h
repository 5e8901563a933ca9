#pragma once

#include "core/model/PresetDiscovering.h"
#include "platform/linux/DesktopEntryIndex.h"

#include <QList>
#include <QString>

namespace tarnwell {

// Finds installed applications by the Name of their desktop entries: an entry matches a preset when
// its Name matches one of the preset's bundle-name hints without the ".app" ending. A discovery
// pass asks once per preset; the entries are read again only when an application folder changed
// since they were last read, so a pass reads them at most once.
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
    mutable DesktopEntryIndex m_index;
};

} // namespace tarnwell
