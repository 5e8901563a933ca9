#pragma once

#include "core/model/PresetDiscovering.h"
#include "platform/linux/DesktopEntryIndex.h"

#include <QList>
#include <QString>
#include <memory>
#include <mutex>

namespace tarnwell {

// Finds installed applications by the Name of their desktop entries: an entry matches a preset when
// its Name matches one of the preset's bundle-name hints without the ".app" ending.
//
// Reading thousands of entries takes far longer than the event loop may be held, so only the first
// pass reads them where it runs. Later passes match against the latest complete index and, when an
// application folder changed since that index was read, start reading a fresh one on a worker
// thread; an installed application therefore shows up on a pass after that read has finished.
class DesktopEntryPresetDiscovery : public PresetDiscovering {
public:
    explicit DesktopEntryPresetDiscovery(
        QList<QString> applicationDirectories = defaultApplicationDirectories(),
        QString searchPath = qEnvironmentVariable("PATH"));

    static QList<QString> defaultApplicationDirectories();

    // The desktop-entry IDs of matching entries, in number-aware order of their file paths.
    QList<QString> discoverIdentifiers(const PresetCandidate& candidate) const override;

private:
    // Shared with the worker reading a fresh index, which may outlive the discovery.
    struct Shared {
        std::mutex mutex;
        std::shared_ptr<const DesktopEntryIndex> index;
        bool reading = false;
    };

    std::shared_ptr<const DesktopEntryIndex> latestIndex() const;

    QList<QString> m_applicationDirectories;
    QString m_searchPath;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

} // namespace tarnwell
