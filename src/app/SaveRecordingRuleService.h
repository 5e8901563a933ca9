#pragma once

#include "core/diagnostics/HealthProbing.h"
#include "core/model/RuleServicing.h"

#include <memory>

namespace tarnwell {

// Passes every load and save to the configuration store and remembers how the last save went, so
// that the diagnostics can tell it without the view models having to report it.
class SaveRecordingRuleService : public RuleServicing {
public:
    explicit SaveRecordingRuleService(std::shared_ptr<RuleServicing> store);

    TarnwellConfiguration loadConfiguration() override;
    void saveConfiguration(const TarnwellConfiguration& configuration) override;
    DriveRule loadRule() override;
    void saveRule(const DriveRule& rule) override;

    const std::optional<SaveOutcome>& lastSave() const { return m_lastSave; }

private:
    template <typename Save> void recordSave(Save save);

    std::shared_ptr<RuleServicing> m_store;
    std::optional<SaveOutcome> m_lastSave;
};

} // namespace tarnwell
