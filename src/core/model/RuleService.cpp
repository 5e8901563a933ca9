#include "core/model/RuleService.h"

#include "core/model/JsonCoding.h"
#include "core/model/StoredDriveRule.h"

namespace tarnwell {

RuleService::RuleService(std::shared_ptr<PreferencesStoring> userDefaults,
                         std::shared_ptr<const AppPresetService> appPresetService)
    : m_userDefaults(std::move(userDefaults))
    , m_appPresetService(std::move(appPresetService)) {
}

TarnwellConfiguration RuleService::loadConfiguration() {
    const auto stored = m_userDefaults->data(configurationKey);
    if (!stored) {
        return loadLegacyConfiguration();
    }
    TarnwellConfiguration configuration = JsonCoding::decodeDocument<TarnwellConfiguration>(*stored);
    configuration.schemaVersion = TarnwellConfiguration::currentSchemaVersion;
    configuration.appTriggers = mergedTriggers(std::move(configuration.appTriggers));
    return configuration;
}

TarnwellConfiguration RuleService::loadLegacyConfiguration() {
    const auto stored = m_userDefaults->data(legacyRuleKey);
    std::optional<StoredDriveRule> legacy;
    if (stored) {
        try {
            legacy = JsonCoding::decodeDocument<StoredDriveRule>(*stored);
        } catch (const std::exception&) {
            // An unreadable legacy value counts as absent; it is never rewritten.
        }
    }
    if (!legacy) {
        return TarnwellConfiguration::defaultConfiguration(
            m_appPresetService->presetsWithDiscoveredBundleIdentifiers());
    }
    TarnwellConfiguration configuration = RuleService::configuration(legacy->rule);
    configuration.appTriggers = mergedTriggers(std::move(configuration.appTriggers));
    saveConfiguration(configuration);
    return configuration;
}

QList<AppTrigger> RuleService::mergedTriggers(QList<AppTrigger> triggers) const {
    return m_appPresetService->mergeDiscoveredPresets(DriveRule::defaultRule(std::move(triggers)))
        .appTriggers;
}

void RuleService::saveConfiguration(const TarnwellConfiguration& configuration) {
    TarnwellConfiguration current = configuration;
    current.schemaVersion = TarnwellConfiguration::currentSchemaVersion;
    m_userDefaults->setData(configurationKey, JsonCoding::encodeDocument(current));
}

DriveRule RuleService::loadRule() {
    return rule(loadConfiguration());
}

void RuleService::saveRule(const DriveRule& rule) {
    saveConfiguration(configuration(rule));
    m_userDefaults->setData(
        legacyRuleKey, JsonCoding::encodeDocument(StoredDriveRule{StoredDriveRule::currentVersion, rule}));
}

TarnwellConfiguration RuleService::configuration(const DriveRule& rule) {
    TarnwellConfiguration configuration;
    configuration.schemaVersion = TarnwellConfiguration::currentSchemaVersion;
    configuration.appTriggers = rule.appTriggers;
    configuration.showAllVolumes = rule.showAllVolumes;
    configuration.launchAtLogin = rule.launchAtLogin;
    if (const auto& drive = rule.targetDrive) {
        StorageTargetRule storageRule;
        storageRule.id = rule.id;
        storageRule.name = drive->volumeName;
        storageRule.target =
            LocalVolumeTarget{drive->volumeName, drive->volumeUUID,  drive->diskIdentifier, drive->fileSystem,
                              drive->mountPoint, drive->busProtocol, drive->isExternal};
        for (const AppTrigger& trigger : rule.appTriggers) {
            storageRule.appTriggerIDs.append(trigger.id);
        }
        storageRule.mountOnAppLaunch = rule.mountOnAppLaunch;
        storageRule.postQuitAction = rule.postQuitAction;
        storageRule.unmountDelaySeconds = rule.unmountDelaySeconds;
        storageRule.showNotifications = rule.showNotifications;
        storageRule.isEnabled = true;
        storageRule.sortOrder = 0;
        configuration.storageRules.append(storageRule);
    }
    return configuration;
}

DriveRule RuleService::rule(const TarnwellConfiguration& configuration) {
    DriveRule result;
    if (configuration.storageRules.isEmpty()) {
        result = DriveRule::defaultRule(configuration.appTriggers);
    } else {
        // The first rule as stored, whatever its order or enabled state.
        const StorageTargetRule& first = configuration.storageRules.first();
        result.id = first.id;
        if (const auto* volume = first.target.asLocalVolume()) {
            result.targetDrive = DriveInfo{volume->volumeName,     volume->volumeUUID,
                                           volume->diskIdentifier, volume->fileSystem,
                                           volume->mountPoint,     volume->busProtocol,
                                           volume->isExternal,     volume->mountPoint.has_value()};
        }
        result.appTriggers = configuration.appTriggers;
        result.mountOnAppLaunch = first.mountOnAppLaunch;
        result.postQuitAction = first.postQuitAction;
        result.unmountDelaySeconds = first.unmountDelaySeconds;
        result.showNotifications = first.showNotifications;
    }
    result.showAllVolumes = configuration.showAllVolumes;
    result.launchAtLogin = configuration.launchAtLogin;
    return result;
}

// The configuration pair of a store that keeps only the single-rule form.
TarnwellConfiguration RuleServicing::loadConfiguration() {
    return RuleService::configuration(loadRule());
}

void RuleServicing::saveConfiguration(const TarnwellConfiguration& configuration) {
    saveRule(RuleService::rule(configuration));
}

} // namespace tarnwell
