// Construction, the lookups over the configuration and the published state.

#include "core/automation/TarnwellController.h"

#include "core/model/TarnwellError.h"

#include <QCoroTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <tuple>

namespace tarnwell {

namespace {

using Kind = StorageTargetRuntimeStatus::Kind;

} // namespace

TarnwellController::TarnwellController(TarnwellConfiguration configuration,
                                       std::shared_ptr<StorageTargetServicing> storageTargetService,
                                       std::shared_ptr<TarnwellNotifying> notifier,
                                       std::shared_ptr<TarnwellLogging> logger,
                                       RunningBundleIdentifiers currentRunningBundleIdentifiers, Delay delay,
                                       QObject* parent)
    : QObject(parent)
    , m_configuration(std::move(configuration))
    , m_storageTargetService(std::move(storageTargetService))
    , m_notifier(std::move(notifier))
    , m_logger(std::move(logger))
    , m_currentRunningBundleIdentifiers(std::move(currentRunningBundleIdentifiers))
    , m_delay(std::move(delay)) {
    m_targetStates = initialTargetStates(m_configuration);
}

TarnwellController::~TarnwellController() {
    // Waiters and delays resume from the event loop, after this object is gone, and then find
    // their controller missing and end.
    for (const auto& pending : std::as_const(m_pendingAutoUnmounts)) {
        pending->stop.request_stop();
    }
    resumeLater(std::exchange(m_diskOperationWaiters, {}));
    resumeLater(std::exchange(m_autoUnmountWaiters, {}));
}

QCoro::Task<> TarnwellController::timerDelay(qint64 seconds, std::stop_token stop) {
    // A timer's interval is an int of milliseconds, so long delays are waited in slices of a day.
    constexpr qint64 sliceSeconds = 24 * 60 * 60;
    qint64 remaining = std::max<qint64>(0, seconds);
    do {
        if (stop.stop_requested()) {
            co_return;
        }
        const qint64 slice = std::min(remaining, sliceSeconds);
        remaining -= slice;
        QTimer timer;
        timer.setSingleShot(true);
        // A coarse timer may fire up to 5 % early, which a promised delay must not.
        timer.setTimerType(Qt::PreciseTimer);
        timer.start(std::chrono::seconds(slice));
        // The stop is requested from a destructor, so the wake-up must not run inline.
        std::stop_callback wakeUp(stop, [&timer] {
            QMetaObject::invokeMethod(
                &timer, [&timer] { timer.start(0); }, Qt::QueuedConnection);
        });
        co_await timer;
    } while (remaining > 0);
}

QList<StorageTargetState>
TarnwellController::initialTargetStates(const TarnwellConfiguration& configuration) {
    QList<StorageTargetState> states;
    states.reserve(configuration.storageRules.size());
    for (const auto& rule : configuration.storageRules) {
        states.append(StorageTargetState{rule, StorageTargetRuntimeStatus::notConfigured(), std::nullopt});
    }
    return states;
}

std::optional<StorageTargetState> TarnwellController::state(const QUuid& ruleID) const {
    for (const auto& state : m_targetStates) {
        if (state.rule.id == ruleID) {
            return state;
        }
    }
    return std::nullopt;
}

QList<AppTrigger> TarnwellController::enabledAppTriggers() const {
    QList<AppTrigger> triggers;
    for (const auto& trigger : m_configuration.appTriggers) {
        if (trigger.isEnabled) {
            triggers.append(trigger);
        }
    }
    return triggers;
}

QSet<QString> TarnwellController::bundleIdentifiers(const StorageTargetRule& rule) const {
    QSet<QString> identifiers;
    for (const auto& trigger : m_configuration.appTriggers) {
        if (trigger.isEnabled && rule.isBound(trigger)) {
            for (const auto& identifier : trigger.bundleIdentifiers) {
                identifiers.insert(identifier);
            }
        }
    }
    return identifiers;
}

// Both lookups start from the triggers, so that a launch costs one pass over triggers and rules
// rather than one pass over the triggers per rule.
QList<StorageTargetRule> TarnwellController::rulesBoundTo(const QString& bundleIdentifier) const {
    QSet<QUuid> triggerIDs;
    for (const auto& trigger : m_configuration.appTriggers) {
        if (trigger.isEnabled && trigger.bundleIdentifiers.contains(bundleIdentifier)) {
            triggerIDs.insert(trigger.id);
        }
    }
    QList<StorageTargetRule> rules;
    if (triggerIDs.isEmpty()) {
        return rules;
    }
    for (const auto& rule : m_configuration.storageRules) {
        if (rule.isEnabled &&
            std::any_of(rule.appTriggerIDs.cbegin(), rule.appTriggerIDs.cend(),
                        [&triggerIDs](const QUuid& id) { return triggerIDs.contains(id); })) {
            rules.append(rule);
        }
    }
    return rules;
}

QSet<QString> TarnwellController::boundBundleIdentifiers() const {
    return boundBundleIdentifiers(m_configuration);
}

QSet<QString> TarnwellController::boundBundleIdentifiers(const TarnwellConfiguration& configuration) {
    QSet<QUuid> triggerIDs;
    for (const auto& rule : configuration.storageRules) {
        if (rule.isEnabled) {
            for (const auto& id : rule.appTriggerIDs) {
                triggerIDs.insert(id);
            }
        }
    }
    QSet<QString> identifiers;
    for (const auto& trigger : configuration.appTriggers) {
        if (trigger.isEnabled && triggerIDs.contains(trigger.id)) {
            for (const auto& identifier : trigger.bundleIdentifiers) {
                identifiers.insert(identifier);
            }
        }
    }
    return identifiers;
}

bool TarnwellController::isCurrentStorageRule(const StorageTargetRule& rule,
                                              qint64 expectedRuleRevision) const {
    const auto& rules = m_configuration.storageRules;
    const bool present = std::any_of(rules.cbegin(), rules.cend(), [&rule](const StorageTargetRule& current) {
        return current.id == rule.id;
    });
    return present && m_ruleChangedAt.value(rule.id, 0) <= expectedRuleRevision;
}

bool TarnwellController::actsTheSame(const StorageTargetRule& rule, const TarnwellConfiguration& before,
                                     const TarnwellConfiguration& after) {
    const auto find = [&rule](const TarnwellConfiguration& configuration) -> const StorageTargetRule* {
        for (const auto& candidate : configuration.storageRules) {
            if (candidate.id == rule.id) {
                return &candidate;
            }
        }
        return nullptr;
    };
    const StorageTargetRule* old = find(before);
    const StorageTargetRule* now = find(after);
    if (!old || !now) {
        return false;
    }
    const auto action = [](const StorageTargetRule& candidate) {
        return std::tie(candidate.target, candidate.isEnabled, candidate.mountOnAppLaunch,
                        candidate.postQuitAction, candidate.unmountDelaySeconds);
    };
    if (action(*old) != action(*now)) {
        return false;
    }
    const auto boundIdentifiers = [](const StorageTargetRule& candidate,
                                     const TarnwellConfiguration& configuration) {
        QSet<QString> identifiers;
        for (const auto& trigger : configuration.appTriggers) {
            if (trigger.isEnabled && candidate.isBound(trigger)) {
                for (const auto& identifier : trigger.bundleIdentifiers) {
                    identifiers.insert(identifier);
                }
            }
        }
        return identifiers;
    };
    return boundIdentifiers(*now, after).contains(boundIdentifiers(*old, before));
}

QString TarnwellController::errorMessage(std::exception_ptr error) {
    return userFacingMessage(std::move(error));
}

void TarnwellController::record(const QString& line) {
    m_logger->record(line);
}

// Every assignment is published, even when the value is unchanged, so that subscribers see each
// write in order.
void TarnwellController::setStatus(TarnwellStatus status) {
    m_status = std::move(status);
    Q_EMIT statusChanged();
}

void TarnwellController::setTargetStates(QList<StorageTargetState> states) {
    m_targetStates = std::move(states);
    Q_EMIT targetStatesChanged();
}

void TarnwellController::setRunningBundleIdentifiers(QSet<QString> identifiers) {
    m_runningBundleIdentifiers = std::move(identifiers);
    // A rule whose application runs again owes a post-quit action at the next last quit.
    for (const auto& rule : std::as_const(m_configuration.storageRules)) {
        if (m_runningBundleIdentifiers.intersects(bundleIdentifiers(rule))) {
            m_rulesAfterQuit.remove(rule.id);
        }
    }
    Q_EMIT runningBundleIdentifiersChanged();
}

void TarnwellController::reconcileRunningBundleIdentifiers() {
    setRunningBundleIdentifiers(boundBundleIdentifiers().intersect(m_currentRunningBundleIdentifiers()));
}

void TarnwellController::updateState(const QUuid& ruleID, const StorageTargetRuntimeStatus& status,
                                     const std::optional<QString>& lastErrorMessage) {
    const auto indexOf = [this, &ruleID]() -> qsizetype {
        for (qsizetype index = 0; index < m_targetStates.size(); ++index) {
            if (m_targetStates[index].rule.id == ruleID) {
                return index;
            }
        }
        return -1;
    };
    auto index = indexOf();
    if (index < 0) {
        return;
    }
    // The status and the message are two separate changes; a subscriber may act in between, so
    // the element is looked up again.
    m_targetStates[index].status = status;
    Q_EMIT targetStatesChanged();
    index = indexOf();
    if (index >= 0) {
        m_targetStates[index].lastErrorMessage = lastErrorMessage;
        Q_EMIT targetStatesChanged();
    }
    updateAggregateStatusFromTargetStates();
}

void TarnwellController::updateAggregateStatusFromTargetStates() {
    QList<StorageTargetRuntimeStatus> statuses;
    for (const auto& state : m_targetStates) {
        if (state.rule.isEnabled) {
            statuses.append(state.status);
        }
    }
    const auto first = [&statuses](Kind kind) -> const StorageTargetRuntimeStatus* {
        const auto found =
            std::find_if(statuses.cbegin(), statuses.cend(),
                         [kind](const StorageTargetRuntimeStatus& status) { return status.kind() == kind; });
        return found == statuses.cend() ? nullptr : &*found;
    };
    if (const auto* failure = first(Kind::MountFailed)) {
        setStatus(TarnwellStatus::mountFailed(failure->message()));
    } else if (const auto* unmountFailure = first(Kind::UnmountFailed)) {
        setStatus(TarnwellStatus::unmountFailed(unmountFailure->message()));
    } else if (first(Kind::Mounting)) {
        setStatus(TarnwellStatus::mounting());
    } else if (first(Kind::Unmounting)) {
        setStatus(TarnwellStatus::unmounting());
    } else if (first(Kind::ReadyToUnmount)) {
        setStatus(TarnwellStatus::readyToUnmount());
    } else if (first(Kind::TargetNotFound)) {
        setStatus(TarnwellStatus::driveNotFound());
    } else if (first(Kind::Mounted)) {
        setStatus(TarnwellStatus::mounted());
    } else if (!statuses.isEmpty() &&
               std::all_of(statuses.cbegin(), statuses.cend(), [](const StorageTargetRuntimeStatus& status) {
                   return status.kind() == Kind::NotMounted;
               })) {
        setStatus(TarnwellStatus::notMounted());
    } else {
        setStatus(TarnwellStatus::notConfigured());
    }
}

bool TarnwellController::isNetworkShare(const StorageTargetRule& rule) {
    return rule.target.asSMBShare() != nullptr;
}

} // namespace tarnwell
