#pragma once

#include "core/model/PresetDiscovering.h"
#include "platform/linux/DesktopEntryCatalog.h"

#include <QList>
#include <QString>
#include <memory>

namespace tarnwell {

// Finds installed applications by their desktop entries: an entry matches a preset when its ID is
// one of the preset's identifiers, its snap is one of the preset's (snapd names entries
// "<snap>_<app>"), or its Name matches one of the preset's bundle-name hints without the ".app"
// ending.
//
// It matches against the catalog's latest reading, which follows the application folders in the
// background; only the first pass at start-up waits for the catalog's first reading.
class DesktopEntryPresetDiscovery : public PresetDiscovering {
public:
    explicit DesktopEntryPresetDiscovery(
        std::shared_ptr<DesktopEntryCatalog> catalog = std::make_shared<DesktopEntryCatalog>());

    // The desktop-entry IDs of matching entries, in number-aware order of their file paths.
    QList<QString> discoverIdentifiers(const PresetCandidate& candidate) const override;

private:
    std::shared_ptr<DesktopEntryCatalog> m_catalog;
};

} // namespace tarnwell
