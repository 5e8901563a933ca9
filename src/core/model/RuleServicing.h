#pragma once

#include "core/model/DriveRule.h"
#include "core/model/TarnwellConfiguration.h"

namespace tarnwell {

// The configuration store. A store that keeps only the single-rule form may implement just
// loadRule() and saveRule(); the configuration pair is then derived from them.
class RuleServicing {
public:
    virtual ~RuleServicing() = default;

    virtual TarnwellConfiguration loadConfiguration();
    virtual void saveConfiguration(const TarnwellConfiguration& configuration);
    virtual DriveRule loadRule() = 0;
    virtual void saveRule(const DriveRule& rule) = 0;
};

} // namespace tarnwell
