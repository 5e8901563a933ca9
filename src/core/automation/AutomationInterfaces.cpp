#include "core/automation/ApplicationEventSource.h"
#include "core/automation/TarnwellLogging.h"
#include "core/automation/TarnwellNotifying.h"

namespace tarnwell {

// The interfaces' destructors are defined here once, so their vtables live in this library.
ApplicationEventSource::~ApplicationEventSource() = default;
void ApplicationEventSource::watchApplications(const QSet<QString>&) {
}
QList<ApplicationWatch> ApplicationEventSource::applicationWatches() const {
    return {};
}
TarnwellLogging::~TarnwellLogging() = default;
TarnwellNotifying::~TarnwellNotifying() = default;

} // namespace tarnwell
