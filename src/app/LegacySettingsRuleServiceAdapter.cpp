#include "app/LegacySettingsRuleServiceAdapter.h"

#include "core/model/RuleService.h"

namespace tarnwell {

namespace {

void copyPolicy(StorageTargetRule& rule, const DriveRule& source) {
    rule.mountOnAppLaunch = source.mountOnAppLaunch;
    rule.postQuitAction = source.postQuitAction;
    rule.unmountDelaySeconds = source.unmountDelaySeconds;
    rule.showNotifications = source.showNotifications;
}

} // namespace

LegacySettingsRuleServiceAdapter::LegacySettingsRuleServiceAdapter(
    std::shared_ptr<RuleServicing> ruleService, std::function<TarnwellConfiguration()> currentConfiguration,
    std::function<void(const TarnwellConfiguration&)> didSaveConfiguration)
    : m_ruleService(std::move(ruleService))
    , m_currentConfiguration(std::move(currentConfiguration))
    , m_didSaveConfiguration(std::move(didSaveConfiguration)) {
}

TarnwellConfiguration LegacySettingsRuleServiceAdapter::loadConfiguration() {
    return m_currentConfiguration();
}

void LegacySettingsRuleServiceAdapter::saveConfiguration(const TarnwellConfiguration& configuration) {
    m_ruleService->saveConfiguration(configuration);
    m_didSaveConfiguration(configuration);
}

DriveRule LegacySettingsRuleServiceAdapter::loadRule() {
    return RuleService::rule(m_currentConfiguration());
}

void LegacySettingsRuleServiceAdapter::saveRule(const DriveRule& rule) {
    m_ruleService->saveConfiguration(mergedConfiguration(rule, m_currentConfiguration()));
}

TarnwellConfiguration
LegacySettingsRuleServiceAdapter::mergedConfiguration(const DriveRule& rule,
                                                      const TarnwellConfiguration& current) {
    const TarnwellConfiguration converted = RuleService::configuration(rule);
    TarnwellConfiguration result = current;
    QList<StorageTargetRule>& rules = result.storageRules;

    if (converted.storageRules.isEmpty()) {
        if (!rules.isEmpty()) {
            if (rules.first().target.asSMBShare()) {
                copyPolicy(rules.first(), rule);
            } else {
                rules.removeFirst();
            }
        }
    } else if (rules.isEmpty()) {
        rules = converted.storageRules;
    } else {
        const StorageTargetRule& convertedRule = converted.storageRules.first();
        StorageTargetRule& first = rules.first();
        const QString oldTargetName = first.target.displayName();
        const QString currentName = first.name.trimmed();
        first.target = convertedRule.target;
        if (currentName.isEmpty() || currentName == oldTargetName) {
            first.name = convertedRule.name;
        }
        copyPolicy(first, rule);
    }

    result.appTriggers = rule.appTriggers;
    result.showAllVolumes = rule.showAllVolumes;
    result.launchAtLogin = rule.launchAtLogin;
    result.schemaVersion = TarnwellConfiguration::currentSchemaVersion;
    return result;
}

} // namespace tarnwell
