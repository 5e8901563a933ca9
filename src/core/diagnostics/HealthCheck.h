#pragma once

#include <QString>

namespace tarnwell {

// How one part of the system around Tarnwell is doing.
enum class HealthState { Fine, NeedsAttention, NotWorking };

// The outcome of one health check: what was found, in one line, and what to do when it is not fine.
struct HealthCheck {
    HealthCheck() = default;
    HealthCheck(QString title, HealthState state, QString finding = {}, QString advice = {})
        : title(std::move(title))
        , state(state)
        , finding(std::move(finding))
        , advice(std::move(advice)) {}

    QString title;
    HealthState state = HealthState::Fine;
    QString finding;
    // Empty while the state is fine.
    QString advice;
    // Further lines worth quoting, such as a rule to copy; may be empty.
    QString details;
    // The version of the service that answered, when it tells one.
    QString version;

    bool operator==(const HealthCheck&) const = default;

    // "fine", "needs attention" or "not working", for reports.
    static QString stateText(HealthState state);
    // The check as plain text: the title and state, then the finding, the advice and the details.
    QString reportText() const;
};

} // namespace tarnwell
