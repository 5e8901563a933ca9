#include "support/ScriptedApplicationEventSource.h"

namespace tarnwell::testing {

void ScriptedApplicationEventSource::launch(std::optional<QString> bundleIdentifier) {
    const RunningApplication application{std::move(bundleIdentifier)};
    running.append(application);
    if (startCount > 0) {
        Q_EMIT applicationLaunched(application);
    }
}

void ScriptedApplicationEventSource::terminate(std::optional<QString> bundleIdentifier) {
    const RunningApplication application{std::move(bundleIdentifier)};
    running.removeOne(application);
    if (startCount > 0) {
        Q_EMIT applicationTerminated(application);
    }
}

} // namespace tarnwell::testing
