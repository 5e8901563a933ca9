#pragma once

#include "core/automation/ApplicationEventSource.h"
#include "core/diagnostics/HealthCheck.h"
#include "core/model/StorageTargetState.h"
#include "core/model/TarnwellConfiguration.h"

#include <QCoroTask>
#include <QDateTime>
#include <optional>

namespace tarnwell {

// The outcome of the last save of the configuration in this run.
struct SaveOutcome {
    QDateTime moment;
    // The failure's message, or nothing when the save succeeded.
    std::optional<QString> failure;

    bool operator==(const SaveOutcome&) const = default;
};

// What the application knows of itself that a check may compare with the system.
struct HealthInputs {
    TarnwellConfiguration configuration;
    QList<StorageTargetState> targetStates;
    QList<ApplicationWatch> applicationWatches;
    // Nothing while no save was made in this run.
    std::optional<SaveOutcome> lastSave;
};

// One health check of the system around the application. A check only looks: it never changes
// anything, and it folds every failure into the check it reports.
class HealthProbing {
public:
    virtual ~HealthProbing() = default;

    // The check's title, also used when the check does not answer in time.
    virtual QString title() const = 0;
    virtual QCoro::Task<HealthCheck> check(HealthInputs inputs) = 0;
};

} // namespace tarnwell
