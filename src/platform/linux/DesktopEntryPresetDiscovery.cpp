#include "platform/linux/DesktopEntryPresetDiscovery.h"

#include "core/model/ApplicationBundleDiscovery.h"

#include <QCollator>
#include <algorithm>

namespace tarnwell {

DesktopEntryPresetDiscovery::DesktopEntryPresetDiscovery(std::shared_ptr<DesktopEntryCatalog> catalog)
    : m_catalog(std::move(catalog)) {
}

QList<QString> DesktopEntryPresetDiscovery::discoverIdentifiers(const PresetCandidate& candidate) const {
    QList<QString> hints;
    for (const QString& hint : candidate.appNameHints) {
        hints.append(hint.endsWith(QStringLiteral(".app")) ? hint.chopped(4) : hint);
    }
    m_catalog->refreshIfChanged();
    const auto reading = m_catalog->awaitCurrent();
    if (!reading) {
        return {};
    }
    QList<const DesktopEntry*> matches;
    for (const DesktopEntry& entry : reading->index.entries()) {
        const bool known = candidate.bundleIdentifiers.contains(entry.id) ||
                           std::any_of(candidate.snapNames.begin(), candidate.snapNames.end(),
                                       [&](const QString& snap) { return entry.id.startsWith(snap + u'_'); });
        if (known || std::any_of(hints.begin(), hints.end(), [&](const QString& hint) {
                return ApplicationBundleDiscovery::matchesHint(entry.name, hint);
            })) {
            matches.append(&entry);
        }
    }
    QCollator collator;
    collator.setNumericMode(true);
    std::stable_sort(matches.begin(), matches.end(),
                     [&](const DesktopEntry* left, const DesktopEntry* right) {
                         return collator.compare(left->filePath, right->filePath) < 0;
                     });
    QList<QString> identifiers;
    for (const DesktopEntry* entry : matches) {
        if (!identifiers.contains(entry->id)) {
            identifiers.append(entry->id);
        }
    }
    return identifiers;
}

} // namespace tarnwell
