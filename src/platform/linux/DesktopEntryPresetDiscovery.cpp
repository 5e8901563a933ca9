#include "platform/linux/DesktopEntryPresetDiscovery.h"

#include "core/model/ApplicationBundleDiscovery.h"

#include <QCollator>
#include <QThreadPool>
#include <QtDebug>
#include <algorithm>
#include <exception>

namespace tarnwell {

DesktopEntryPresetDiscovery::DesktopEntryPresetDiscovery(QList<QString> applicationDirectories,
                                                         QString searchPath)
    : m_applicationDirectories(std::move(applicationDirectories))
    , m_searchPath(std::move(searchPath)) {
}

QList<QString> DesktopEntryPresetDiscovery::defaultApplicationDirectories() {
    return DesktopEntryIndex::defaultApplicationDirectories();
}

std::shared_ptr<const DesktopEntryIndex> DesktopEntryPresetDiscovery::latestIndex() const {
    std::unique_lock lock(m_shared->mutex);
    if (!m_shared->index) {
        // Start-up: there is nothing to match against yet, so this one pass waits for the read.
        lock.unlock();
        auto loaded = std::make_shared<const DesktopEntryIndex>(
            DesktopEntryIndex::load(m_applicationDirectories, m_searchPath));
        lock.lock();
        if (!m_shared->index) {
            m_shared->index = std::move(loaded);
        }
        return m_shared->index;
    }
    std::shared_ptr<const DesktopEntryIndex> index = m_shared->index;
    if (m_shared->reading) {
        return index;
    }
    lock.unlock();
    // Comparing folder times costs a few stat calls; only the read itself leaves the event loop.
    if (index->isCurrent()) {
        return index;
    }
    lock.lock();
    if (m_shared->reading || m_shared->index != index) {
        return m_shared->index;
    }
    m_shared->reading = true;
    lock.unlock();
    // The worker gets copies of the folders and the shared state only, never this object, so the
    // discovery may be destroyed while it reads.
    QThreadPool::globalInstance()->start([shared = m_shared, directories = m_applicationDirectories,
                                          searchPath = m_searchPath] {
        std::shared_ptr<const DesktopEntryIndex> fresh;
        try {
            fresh =
                std::make_shared<const DesktopEntryIndex>(DesktopEntryIndex::load(directories, searchPath));
        } catch (const std::exception& error) {
            qWarning() << "Reading the installed applications failed:" << error.what();
        } catch (...) {
            qWarning() << "Reading the installed applications failed.";
        }
        const std::lock_guard guard(shared->mutex);
        if (fresh) {
            shared->index = std::move(fresh);
        }
        shared->reading = false;
    });
    return index;
}

QList<QString> DesktopEntryPresetDiscovery::discoverIdentifiers(const PresetCandidate& candidate) const {
    QList<QString> hints;
    for (const QString& hint : candidate.appNameHints) {
        hints.append(hint.endsWith(QStringLiteral(".app")) ? hint.chopped(4) : hint);
    }
    const std::shared_ptr<const DesktopEntryIndex> index = latestIndex();
    QList<const DesktopEntry*> matches;
    for (const DesktopEntry& entry : index->entries()) {
        if (std::any_of(hints.begin(), hints.end(), [&](const QString& hint) {
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
