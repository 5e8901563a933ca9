#include "core/model/RuleServicing.h"

#include "core/model/RuleService.h"

namespace tarnwell {

TarnwellConfiguration RuleServicing::loadConfiguration() {
    return RuleService::configuration(loadRule());
}

void RuleServicing::saveConfiguration(const TarnwellConfiguration& configuration) {
    saveRule(RuleService::rule(configuration));
}

} // namespace tarnwell
