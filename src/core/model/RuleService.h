#pragma once

#include "core/model/AppPresetService.h"
#include "core/model/PreferencesStoring.h"
#include "core/model/RuleServicing.h"

#include <memory>

namespace tarnwell {

// Keeps the configuration as a JSON document in the preferences store, migrates the older
// single-rule value on first load and merges the built-in presets into every loaded configuration.
// It keeps no cache: every load reads the store and every save writes it.
class RuleService : public RuleServicing {
public:
    static inline const QString configurationKey = QStringLiteral("Tarnwell.configuration.v2");
    static inline const QString legacyRuleKey = QStringLiteral("Tarnwell.rule.v1");

    explicit RuleService(
        std::shared_ptr<PreferencesStoring> userDefaults,
        std::shared_ptr<const AppPresetService> appPresetService = std::make_shared<AppPresetService>());

    // A corrupt configuration value throws its DecodingError and is left exactly as stored.
    TarnwellConfiguration loadConfiguration() override;
    void saveConfiguration(const TarnwellConfiguration& configuration) override;
    DriveRule loadRule() override;
    // Writes the configuration key and then the legacy key.
    void saveRule(const DriveRule& rule) override;

    static TarnwellConfiguration configuration(const DriveRule& rule);
    static DriveRule rule(const TarnwellConfiguration& configuration);

private:
    TarnwellConfiguration loadLegacyConfiguration();
    QList<AppTrigger> mergedTriggers(QList<AppTrigger> triggers) const;

    std::shared_ptr<PreferencesStoring> m_userDefaults;
    std::shared_ptr<const AppPresetService> m_appPresetService;
};

} // namespace tarnwell
