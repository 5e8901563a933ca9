#pragma once

#include "core/automation/ApplicationEventSource.h"
#include "core/support/PlatformError.h"

namespace tarnwell::testing {

// An application event source driven by the test. Like the platform, it keeps the list of running
// applications and emits its signals only once observing has started; the list can be made to fail.
class ScriptedApplicationEventSource : public ApplicationEventSource {
    Q_OBJECT

public:
    using ApplicationEventSource::ApplicationEventSource;

    QList<RunningApplication> runningApplications() const override {
        if (failListing) {
            throw PlatformError(QStringLiteral("/proc is not readable"));
        }
        return running;
    }
    void startObserving() override { ++startCount; }
    void watchApplications(const QSet<QString>& bundleIdentifiers) override { watched = bundleIdentifiers; }

    // Adds an instance to the running list and reports its launch.
    void launch(std::optional<QString> bundleIdentifier) {
        running.append(RunningApplication{bundleIdentifier});
        if (startCount > 0) {
            Q_EMIT applicationLaunched(RunningApplication{bundleIdentifier});
        }
    }
    // Removes one instance from the running list and reports its termination.
    void terminate(std::optional<QString> bundleIdentifier) {
        running.removeOne(RunningApplication{bundleIdentifier});
        if (startCount > 0) {
            Q_EMIT applicationTerminated(RunningApplication{bundleIdentifier});
        }
    }

    QList<RunningApplication> running;
    int startCount = 0;
    QSet<QString> watched;
    bool failListing = false;
};

} // namespace tarnwell::testing
