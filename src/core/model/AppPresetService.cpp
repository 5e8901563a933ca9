#include "core/model/AppPresetService.h"

#include "core/model/ApplicationBundleDiscovery.h"

#include <algorithm>

namespace tarnwell {

namespace {

void appendMissing(QList<QString>& identifiers, const QList<QString>& discovered) {
    for (const QString& identifier : discovered) {
        if (!identifiers.contains(identifier)) {
            identifiers.append(identifier);
        }
    }
}

AppTrigger presetTrigger(const PresetCandidate& candidate) {
    AppTrigger trigger;
    trigger.id = QUuid::createUuid();
    trigger.displayName = candidate.displayName;
    trigger.bundleIdentifiers = candidate.bundleIdentifiers;
    trigger.isEnabled = true;
    trigger.isBuiltInPreset = true;
    return trigger;
}

} // namespace

AppPresetService::AppPresetService(QList<std::shared_ptr<const PresetDiscovering>> discoverers)
    : m_discoverers(std::move(discoverers)) {
}

QList<std::shared_ptr<const PresetDiscovering>> AppPresetService::defaultDiscoverers() {
    return {std::make_shared<ApplicationBundleDiscovery>()};
}

const QList<PresetCandidate>& AppPresetService::presetCandidates() {
    // The names and identifiers of other parties' products, used as they are.
    static const QList<PresetCandidate> candidates{
        {QStringLiteral("Final Cut Pro"),
         {QStringLiteral("com.apple.FinalCut"), QStringLiteral("com.apple.FinalCutApp")},
         {QStringLiteral("Final Cut Pro.app")}},
        {QStringLiteral("DaVinci Resolve"),
         {QStringLiteral("com.blackmagic-design.DaVinciResolve"),
          QStringLiteral("com.blackmagicdesign.resolve")},
         {QStringLiteral("DaVinci Resolve.app")}},
        {QStringLiteral("Adobe Premiere Pro"),
         {QStringLiteral("com.adobe.PremierePro"), QStringLiteral("com.adobe.PremierePro.23"),
          QStringLiteral("com.adobe.PremierePro.24"), QStringLiteral("com.adobe.PremierePro.25")},
         {QStringLiteral("Adobe Premiere Pro*.app")}},
        {QStringLiteral("CapCut"), {QStringLiteral("com.lemon.lvoverseas")}, {QStringLiteral("CapCut.app")}},
        {QStringLiteral("Jianying"),
         {QStringLiteral("com.lemon.lvpro")},
         {QStringLiteral("Jianying.app"), QStringLiteral("VideoFusion-macOS.app"),
          QString::fromUtf8("\xE5\x89\xAA\xE6\x98\xA0\xE4\xB8\x93\xE4\xB8\x9A\xE7\x89\x88.app")}},
        // The editors of Linux desktops, by their desktop-entry and Flatpak IDs.
        {QStringLiteral("Kdenlive"),
         {QStringLiteral("org.kde.kdenlive")},
         {QStringLiteral("Kdenlive.app")},
         {QStringLiteral("kdenlive")}},
        {QStringLiteral("Shotcut"),
         {QStringLiteral("org.shotcut.Shotcut")},
         {QStringLiteral("Shotcut.app")},
         {QStringLiteral("shotcut")}},
        {QStringLiteral("Blender"),
         {QStringLiteral("blender"), QStringLiteral("org.blender.Blender")},
         {QStringLiteral("Blender.app")},
         {QStringLiteral("blender")}},
        {QStringLiteral("Lightworks"), {QStringLiteral("lightworks")}, {QStringLiteral("Lightworks.app")}},
        {QStringLiteral("OpenShot"),
         {QStringLiteral("org.openshot.OpenShot")},
         {QStringLiteral("OpenShot Video Editor.app"), QStringLiteral("OpenShot.app")}},
        {QStringLiteral("Olive"),
         {QStringLiteral("org.olivevideoeditor.Olive")},
         {QStringLiteral("Olive.app"), QStringLiteral("Olive Video Editor.app")}},
        {QStringLiteral("Flowblade"),
         {QStringLiteral("io.github.jliljebl.Flowblade")},
         {QStringLiteral("Flowblade.app")}},
        {QStringLiteral("Natron"), {QStringLiteral("fr.natron.Natron")}, {QStringLiteral("Natron.app")}},
        {QStringLiteral("Cinelerra"), {QStringLiteral("cin")}, {QStringLiteral("Cinelerra*.app")}},
        {QStringLiteral("Avidemux"),
         {QStringLiteral("org.avidemux.Avidemux")},
         {QStringLiteral("Avidemux*.app")}},
        {QStringLiteral("Pitivi"), {QStringLiteral("org.pitivi.Pitivi")}, {QStringLiteral("Pitivi.app")}},
    };
    return candidates;
}

QList<AppTrigger> AppPresetService::defaultPresets() {
    QList<AppTrigger> presets;
    for (const PresetCandidate& candidate : presetCandidates()) {
        presets.append(presetTrigger(candidate));
    }
    return presets;
}

QHash<QString, QList<QString>> AppPresetService::discoverIdentifiers() const {
    QHash<QString, QList<QString>> discovered;
    for (const PresetCandidate& candidate : presetCandidates()) {
        QList<QString> identifiers;
        for (const auto& discoverer : m_discoverers) {
            appendMissing(identifiers, discoverer->discoverIdentifiers(candidate));
        }
        if (!identifiers.isEmpty()) {
            discovered.insert(candidate.displayName, identifiers);
        }
    }
    return discovered;
}

QList<AppTrigger> AppPresetService::presetsWithDiscoveredBundleIdentifiers() const {
    const auto discovered = discoverIdentifiers();
    QList<AppTrigger> presets = defaultPresets();
    for (AppTrigger& preset : presets) {
        appendMissing(preset.bundleIdentifiers, discovered.value(preset.displayName));
    }
    return presets;
}

QSet<QString> AppPresetService::installedPresetIdentifiers() const {
    QSet<QString> installed;
    for (const QList<QString>& identifiers : discoverIdentifiers()) {
        installed.unite(QSet<QString>(identifiers.begin(), identifiers.end()));
    }
    return installed;
}

bool AppPresetService::isInstalled(const AppTrigger& trigger,
                                   const QSet<QString>& installedPresetIdentifiers) {
    return !trigger.isBuiltInPreset ||
           std::any_of(
               trigger.bundleIdentifiers.begin(), trigger.bundleIdentifiers.end(),
               [&](const QString& identifier) { return installedPresetIdentifiers.contains(identifier); });
}

DriveRule AppPresetService::mergeDiscoveredPresets(DriveRule rule) const {
    const auto discovered = discoverIdentifiers();
    for (const AppTrigger& preset : defaultPresets()) {
        const QList<QString> identifiers = discovered.value(preset.displayName);
        const auto stored =
            std::find_if(rule.appTriggers.begin(), rule.appTriggers.end(), [&](const AppTrigger& trigger) {
                return trigger.isBuiltInPreset && trigger.displayName == preset.displayName;
            });
        if (stored != rule.appTriggers.end()) {
            appendMissing(stored->bundleIdentifiers, identifiers);
        } else {
            AppTrigger added = preset;
            appendMissing(added.bundleIdentifiers, identifiers);
            rule.appTriggers.append(added);
        }
    }
    return rule;
}

} // namespace tarnwell
