#pragma once

#include "core/automation/ApplicationEventSource.h"

namespace tarnwell::testing {

// An application event source driven by the test. Like the platform, it keeps the list of running
// applications and emits its signals only once observing has started.
class ScriptedApplicationEventSource : public ApplicationEventSource {
    Q_OBJECT

public:
    using ApplicationEventSource::ApplicationEventSource;

    QList<RunningApplication> runningApplications() const override { return running; }
    void startObserving() override { ++startCount; }

    // Adds an instance to the running list and reports its launch.
    void launch(std::optional<QString> bundleIdentifier);
    // Removes one instance from the running list and reports its termination.
    void terminate(std::optional<QString> bundleIdentifier);

    QList<RunningApplication> running;
    int startCount = 0;
};

} // namespace tarnwell::testing
