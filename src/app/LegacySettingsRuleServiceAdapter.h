#pragma once

#include "core/model/RuleServicing.h"

#include <functional>
#include <memory>

namespace tarnwell {

// Lets the settings pages, which edit one DriveRule, work on the container's multi-rule
// configuration: loads read the container's current configuration, and a saved rule is merged
// into the first storage rule. The other rules are never touched.
class LegacySettingsRuleServiceAdapter : public RuleServicing {
public:
    LegacySettingsRuleServiceAdapter(std::shared_ptr<RuleServicing> ruleService,
                                     std::function<TarnwellConfiguration()> currentConfiguration,
                                     std::function<void(const TarnwellConfiguration&)> didSaveConfiguration);

    TarnwellConfiguration loadConfiguration() override;
    void saveConfiguration(const TarnwellConfiguration& configuration) override;
    DriveRule loadRule() override;
    // Saves the merged configuration; the container learns of it through the settings view model.
    void saveRule(const DriveRule& rule) override;

    // The configuration with the rule merged into its first storage rule. A cleared drive removes
    // a first local-volume rule but only updates the policy of a first network-share rule.
    static TarnwellConfiguration mergedConfiguration(const DriveRule& rule,
                                                     const TarnwellConfiguration& current);

private:
    std::shared_ptr<RuleServicing> m_ruleService;
    std::function<TarnwellConfiguration()> m_currentConfiguration;
    std::function<void(const TarnwellConfiguration&)> m_didSaveConfiguration;
};

} // namespace tarnwell
