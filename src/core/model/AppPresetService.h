#pragma once

#include "core/model/AppTrigger.h"
#include "core/model/DriveRule.h"
#include "core/model/PresetDiscovering.h"

#include <QHash>
#include <QSet>
#include <memory>

namespace tarnwell {

// The editing applications offered out of the box, and the merge of what is installed on this
// machine into the stored triggers, so that a local variant with its own identifier is recognised.
class AppPresetService {
public:
    // Discovery runs every source in order; the default looks for application bundles in the
    // usual application folders.
    explicit AppPresetService(
        QList<std::shared_ptr<const PresetDiscovering>> discoverers = defaultDiscoverers());

    static QList<std::shared_ptr<const PresetDiscovering>> defaultDiscoverers();
    static const QList<PresetCandidate>& presetCandidates();

    // One trigger per preset, with fresh ids on every call.
    static QList<AppTrigger> defaultPresets();

    QList<AppTrigger> presetsWithDiscoveredBundleIdentifiers() const;

    // The identifiers of the presets' applications that are installed on this machine.
    QSet<QString> installedPresetIdentifiers() const;
    // A built-in preset whose application is not on this machine can never launch here; the
    // user's own applications count as installed, since the user picked them.
    static bool isInstalled(const AppTrigger& trigger, const QSet<QString>& installedPresetIdentifiers);

    // Returns the rule with its triggers merged with the presets: stored presets (matched by name
    // among built-in entries) gain discovered identifiers, missing presets are appended, and
    // user-added triggers are left alone.
    DriveRule mergeDiscoveredPresets(DriveRule rule) const;

private:
    // Preset name -> discovered identifiers, in discovery order and without duplicates.
    QHash<QString, QList<QString>> discoverIdentifiers() const;

    QList<std::shared_ptr<const PresetDiscovering>> m_discoverers;
};

} // namespace tarnwell
