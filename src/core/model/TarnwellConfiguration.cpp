#include "core/model/TarnwellConfiguration.h"

namespace tarnwell {

TarnwellConfiguration TarnwellConfiguration::defaultConfiguration(QList<AppTrigger> appTriggers) {
    TarnwellConfiguration configuration;
    configuration.appTriggers = std::move(appTriggers);
    return configuration;
}

} // namespace tarnwell
