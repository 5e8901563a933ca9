#include "core/automation/TarnwellController.h"

#include "core/model/TarnwellError.h"
#include "core/support/Localization.h"

#include <QCoreApplication>
#include <QCoroTimer>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace tarnwell {

namespace {

using Kind = StorageTargetRuntimeStatus::Kind;

QString statusText(const TarnwellStatus& status) {
    switch (status.kind()) {
    case TarnwellStatus::Kind::NotConfigured:
        return QStringLiteral("not configured");
    case TarnwellStatus::Kind::Mounted:
        return QStringLiteral("mounted");
    case TarnwellStatus::Kind::NotMounted:
        return QStringLiteral("not mounted");
    case TarnwellStatus::Kind::Mounting:
        return QStringLiteral("mounting");
    case TarnwellStatus::Kind::Unmounting:
        return QStringLiteral("unmounting");
    case TarnwellStatus::Kind::ReadyToUnmount:
        return QStringLiteral("ready to unmount");
    case TarnwellStatus::Kind::DriveNotFound:
        return QStringLiteral("drive not found");
    case TarnwellStatus::Kind::MountFailed:
        return QStringLiteral("mount failed: ") + status.message();
    case TarnwellStatus::Kind::UnmountFailed:
        return QStringLiteral("unmount failed: ") + status.message();
    }
    Q_UNREACHABLE();
}

bool isNetworkShare(const StorageTargetRule& rule) {
    return rule.target.asSMBShare() != nullptr;
}

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

bool TarnwellController::isSameRule(const StorageTargetRule& rule, const TarnwellConfiguration& before,
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
    if (!old || !now || !(*old == *now)) {
        return false;
    }
    const auto boundTriggers = [now](const TarnwellConfiguration& configuration) {
        QList<AppTrigger> triggers;
        for (const auto& trigger : configuration.appTriggers) {
            if (now->isBound(trigger)) {
                triggers.append(trigger);
            }
        }
        return triggers;
    };
    return boundTriggers(before) == boundTriggers(after);
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

QString TarnwellController::text(DiskOperation operation) {
    switch (operation) {
    case DiskOperation::Mounting:
        return QStringLiteral("mounting");
    case DiskOperation::Unmounting:
        return QStringLiteral("unmounting");
    }
    Q_UNREACHABLE();
}

void TarnwellController::takeGate(DiskOperation operation) {
    m_diskOperation = operation;
    ++m_diskOperationsBegun;
}

bool TarnwellController::beginDiskOperation(DiskOperation operation, const QString& reason) {
    if (!m_diskOperation) {
        takeGate(operation);
        return true;
    }
    record(reason + QStringLiteral(" skipped because ") + text(*m_diskOperation) +
           QStringLiteral(" is already in progress."));
    return false;
}

QCoro::Task<> TarnwellController::waitForDiskOperationAvailability() {
    if (!m_diskOperation) {
        co_return;
    }
    co_await GateWaiter{this};
}

QCoro::Task<> TarnwellController::finishDiskOperation() {
    QPointer<TarnwellController> self(this);
    m_diskOperation.reset();
    std::exception_ptr failure;
    try {
        co_await processPendingRuleReconciliationIfNeeded();
    } catch (...) {
        failure = std::current_exception();
    }
    if (self) {
        resumeLater(std::exchange(m_diskOperationWaiters, {}));
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

QCoro::Task<> TarnwellController::releasingGate(QCoro::Task<> body) {
    QPointer<TarnwellController> self(this);
    std::exception_ptr failure;
    try {
        co_await std::move(body);
    } catch (...) {
        failure = std::current_exception();
    }
    if (self) {
        co_await finishDiskOperation();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// Waiters resume from the event loop, as tasks of their own: the operation that released the gate
// carries on first, and each waiter then checks the gate again.
void TarnwellController::resumeLater(std::vector<std::coroutine_handle<>> waiters) {
    for (const auto waiter : waiters) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [waiter] { waiter.resume(); }, Qt::QueuedConnection);
    }
}

QCoro::Task<> TarnwellController::waitForGate(QString reason) {
    QPointer<TarnwellController> self(this);
    while (m_diskOperation) {
        record(reason + QStringLiteral(" waiting because another disk operation is in progress."));
        co_await waitForDiskOperationAvailability();
        if (!self) {
            co_return;
        }
    }
    takeGate(DiskOperation::Unmounting);
}

QCoro::Task<StorageTargetRuntimeStatus> TarnwellController::targetStatus(StorageTarget target) {
    // The service is kept alive by this frame in case the controller goes away meanwhile.
    const auto service = m_storageTargetService;
    try {
        co_return co_await service->status(std::move(target));
    } catch (...) {
        // Status queries fold every failure into "not found"; a service that throws anyway is
        // treated the same way.
        co_return StorageTargetRuntimeStatus::targetNotFound();
    }
}

QCoro::Task<> TarnwellController::notify(QString title, QString body, bool enabled) {
    QPointer<TarnwellController> self(this);
    const auto notifier = m_notifier;
    std::exception_ptr failure;
    try {
        co_await notifier->notify(std::move(title), std::move(body), enabled);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure && self) {
        record(QStringLiteral("Notification failed: ") + errorMessage(failure));
    }
}

QCoro::Task<> TarnwellController::handleAppLaunched(QString bundleIdentifier) {
    const auto rules = rulesBoundTo(bundleIdentifier);
    if (rules.isEmpty()) {
        record(QStringLiteral("Ignored launch for unconfigured app: ") + bundleIdentifier);
        co_return;
    }
    auto running = m_runningBundleIdentifiers;
    running.insert(bundleIdentifier);
    setRunningBundleIdentifiers(std::move(running));
    record(QStringLiteral("App launched: ") + bundleIdentifier);
    for (const auto& rule : rules) {
        cancelPendingAutoUnmounts(rule);
    }
    QList<StorageTargetRule> mountRules;
    std::copy_if(rules.cbegin(), rules.cend(), std::back_inserter(mountRules),
                 [](const StorageTargetRule& rule) { return rule.mountOnAppLaunch; });
    co_await mountRulesIfNeeded(std::move(mountRules), QStringLiteral("App launch: ") + bundleIdentifier,
                                true);
}

QCoro::Task<> TarnwellController::mountMissingTargets() {
    QList<StorageTargetRule> rules;
    for (const auto& state : m_targetStates) {
        if (state.rule.isEnabled && state.status.canRequestManualMount()) {
            rules.append(state.rule);
        }
    }
    co_await mountRulesIfNeeded(std::move(rules), QStringLiteral("Manual mount missing targets"), false);
}

QCoro::Task<> TarnwellController::mountRule(QUuid id) {
    const auto& rules = m_configuration.storageRules;
    const auto found = std::find_if(rules.cbegin(), rules.cend(),
                                    [&id](const StorageTargetRule& rule) { return rule.id == id; });
    if (found == rules.cend() || !found->isEnabled) {
        record(
            QStringLiteral("Manual rule mount skipped because the storage rule was not found or disabled."));
        co_return;
    }
    QList<StorageTargetRule> rule{*found};
    co_await mountRulesIfNeeded(std::move(rule), QStringLiteral("Manual rule mount"), false);
}

QCoro::Task<> TarnwellController::mountRulesIfNeeded(QList<StorageTargetRule> rules, QString reason,
                                                     bool queueReconciliationWhenBusy) {
    QPointer<TarnwellController> self(this);
    const qint64 operationRuleRevision = m_ruleRevision;
    QSet<QUuid> handled;
    for (const auto& rule : rules) {
        if (handled.contains(rule.id)) {
            continue;
        }
        handled.insert(rule.id);
        if (!isCurrentStorageRule(rule, operationRuleRevision)) {
            record(reason + QStringLiteral(" stopped because the storage rules changed."));
            co_return;
        }
        if (!beginDiskOperation(DiskOperation::Mounting, reason)) {
            if (queueReconciliationWhenBusy) {
                if (!m_pendingRuleReconciliation) {
                    record(QStringLiteral(
                        "Rule reconciliation queued until the current disk operation completes."));
                }
                m_pendingRuleReconciliation = true;
            }
            co_return;
        }
        co_await releasingGate(runMountRuleIfNeeded(rule, reason, operationRuleRevision));
        if (!self) {
            co_return;
        }
    }
}

QCoro::Task<> TarnwellController::runMountRuleIfNeeded(StorageTargetRule rule, QString reason,
                                                       qint64 operationRuleRevision) {
    QPointer<TarnwellController> self(this);
    const QString name = rule.target.displayName();
    if (isNetworkShare(rule)) {
        updateState(rule.id, StorageTargetRuntimeStatus::targetNotFound(), std::nullopt);
        record(reason + QStringLiteral(" skipped unsupported target ") + name + QStringLiteral("."));
        co_return;
    }

    const auto status = co_await targetStatus(rule.target);
    if (!self) {
        co_return;
    }
    if (!isCurrentStorageRule(rule, operationRuleRevision)) {
        record(reason + QStringLiteral(" cancelled because the storage rule changed during target checks."));
        co_return;
    }
    if (status.kind() == Kind::Mounted) {
        updateState(rule.id, StorageTargetRuntimeStatus::mounted(), std::nullopt);
        record(reason + QStringLiteral(" found ") + name + QStringLiteral(" already mounted."));
        co_return;
    }

    co_await runDiskCommand(std::move(rule), operationRuleRevision, std::move(reason),
                            DiskOperation::Mounting);
}

QCoro::Task<> TarnwellController::handleAppTerminated(QString bundleIdentifier) {
    QPointer<TarnwellController> self(this);
    const auto rules = rulesBoundTo(bundleIdentifier);
    if (rules.isEmpty() && !m_runningBundleIdentifiers.contains(bundleIdentifier)) {
        record(QStringLiteral("Ignored termination for unconfigured app: ") + bundleIdentifier);
        co_return;
    }
    auto running = m_runningBundleIdentifiers;
    running.remove(bundleIdentifier);
    setRunningBundleIdentifiers(std::move(running));
    reconcileRunningBundleIdentifiers();
    record(QStringLiteral("App terminated: ") + bundleIdentifier);
    if (rules.isEmpty()) {
        co_return;
    }

    const qint64 terminationRuleRevision = m_ruleRevision;
    QList<StorageTargetRule> delayedRules;
    for (const auto& rule : rules) {
        if (rule.postQuitAction == PostQuitAction::AutoUnmount && rule.unmountDelaySeconds >= 1) {
            delayedRules.append(rule);
            continue;
        }
        co_await applyPostQuitAction(rule, terminationRuleRevision);
        if (!self) {
            co_return;
        }
    }

    // Delayed unmounts wait side by side, each in its own task, after every immediate action.
    std::vector<QCoro::Task<>> delayedActions;
    delayedActions.reserve(delayedRules.size());
    for (const auto& rule : delayedRules) {
        delayedActions.push_back(applyPostQuitAction(rule, terminationRuleRevision));
    }
    for (auto& action : delayedActions) {
        co_await action;
    }
}

bool TarnwellController::hasRunningEnabledTriggersAfterReconcile(const StorageTargetRule& rule) {
    reconcileRunningBundleIdentifiers();
    return m_runningBundleIdentifiers.intersects(bundleIdentifiers(rule));
}

QCoro::Task<> TarnwellController::applyPostQuitAction(StorageTargetRule rule, qint64 expectedRuleRevision) {
    const QString name = rule.target.displayName();
    if (m_rulesAfterQuit.contains(rule.id)) {
        // Another bound application's quit, reported with this one, already acted for the rule.
        co_return;
    }
    if (hasRunningEnabledTriggersAfterReconcile(rule)) {
        record(QStringLiteral("Post-quit action skipped for ") + name +
               QStringLiteral(" because a bound app is still running."));
        co_return;
    }
    m_rulesAfterQuit.insert(rule.id);
    switch (rule.postQuitAction) {
    case PostQuitAction::Off:
        record(QStringLiteral("Post-quit action is off for ") + name + QStringLiteral("."));
        break;
    case PostQuitAction::Remind:
        co_await markReadyToUnmount(rule, expectedRuleRevision);
        break;
    case PostQuitAction::AutoUnmount:
        co_await autoUnmount(rule, expectedRuleRevision);
        break;
    }
}

QCoro::Task<> TarnwellController::markReadyToUnmount(StorageTargetRule rule, qint64 expectedRuleRevision) {
    QPointer<TarnwellController> self(this);
    const QString name = rule.target.displayName();
    const auto status = co_await targetStatus(rule.target);
    if (!self) {
        co_return;
    }
    if (!isCurrentStorageRule(rule, expectedRuleRevision)) {
        record(QStringLiteral(
            "Post-quit action cancelled because the storage rule changed during target checks."));
        co_return;
    }
    if (status.kind() != Kind::Mounted) {
        updateState(rule.id, status, std::nullopt);
        record(QStringLiteral("Post-quit action skipped because ") + name +
               QStringLiteral(" is not mounted."));
        co_return;
    }
    updateState(rule.id, StorageTargetRuntimeStatus::readyToUnmount(), std::nullopt);
    record(name + QStringLiteral(" is ready to unmount."));
    const QString body = localizedFormat("%@ can be safely unmounted.", {name});
    co_await notify(localized("Drive Ready to Unmount"), body, rule.showNotifications);
}

void TarnwellController::cancelPendingAutoUnmounts(const StorageTargetRule& rule) {
    for (const auto& pending : std::as_const(m_pendingAutoUnmounts)) {
        if (pending->ruleID == rule.id && !pending->stop.stop_requested()) {
            pending->stop.request_stop();
            record(QStringLiteral("Auto-unmount cancelled because a bound app is running again."));
        }
    }
}

QCoro::Task<> TarnwellController::autoUnmount(StorageTargetRule rule, qint64 expectedRuleRevision) {
    QPointer<TarnwellController> self(this);
    const auto delay = m_delay;
    const auto pending = std::make_shared<PendingAutoUnmount>(PendingAutoUnmount{rule.id, {}});
    m_pendingAutoUnmounts.append(pending);
    std::exception_ptr delayFailure;
    try {
        co_await delay(std::max<qint64>(0, rule.unmountDelaySeconds), pending->stop.get_token());
    } catch (...) {
        delayFailure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    m_pendingAutoUnmounts.removeOne(pending);
    if (pending->stop.stop_requested()) {
        // A bound application came back; the launch has said so and the next quit waits afresh.
        co_return;
    }
    if (delayFailure) {
        // Without a completed delay the user never got the promised time; nothing is unmounted.
        record(QStringLiteral("Auto-unmount cancelled because the delay failed: ") +
               errorMessage(delayFailure));
        co_return;
    }
    if (!isCurrentStorageRule(rule, expectedRuleRevision)) {
        record(QStringLiteral("Auto-unmount cancelled because the storage rule changed during the delay."));
        co_return;
    }
    if (hasRunningEnabledTriggersAfterReconcile(rule)) {
        record(QStringLiteral("Auto-unmount cancelled because a bound app is running again."));
        co_return;
    }
    const QString reason = QStringLiteral("Auto-unmount");
    co_await waitForGate(reason);
    if (!self) {
        co_return;
    }
    co_await releasingGate(runUnmountStorageRule(rule, expectedRuleRevision, reason, true));
}

QCoro::Task<> TarnwellController::unmountRuleSafely(QUuid id) {
    QPointer<TarnwellController> self(this);
    const auto& rules = m_configuration.storageRules;
    const auto found = std::find_if(rules.cbegin(), rules.cend(),
                                    [&id](const StorageTargetRule& rule) { return rule.id == id; });
    if (found == rules.cend() || !found->isEnabled) {
        record(QStringLiteral(
            "Manual rule unmount skipped because the storage rule was not found or disabled."));
        co_return;
    }
    const StorageTargetRule rule = *found;
    const qint64 ruleRevision = m_ruleRevision;
    const QString reason = QStringLiteral("Manual rule unmount");
    co_await waitForGate(reason);
    if (!self) {
        co_return;
    }
    co_await releasingGate(runUnmountStorageRule(rule, ruleRevision, reason, false));
}

QCoro::Task<> TarnwellController::unmountReadyTargets() {
    QPointer<TarnwellController> self(this);
    QList<StorageTargetRule> rules;
    for (const auto& state : m_targetStates) {
        const auto kind = state.status.kind();
        if (state.rule.isEnabled && (kind == Kind::Mounted || kind == Kind::ReadyToUnmount)) {
            rules.append(state.rule);
        }
    }
    if (rules.isEmpty()) {
        co_return;
    }
    const qint64 ruleRevision = m_ruleRevision;
    const QString reason = QStringLiteral("Manual target unmount");
    for (const auto& rule : rules) {
        co_await waitForGate(reason);
        if (!self) {
            co_return;
        }
        co_await releasingGate(runUnmountStorageRule(rule, ruleRevision, reason, false));
        if (!self) {
            co_return;
        }
    }
}

QCoro::Task<> TarnwellController::runUnmountStorageRule(StorageTargetRule rule, qint64 expectedRuleRevision,
                                                        QString reason, bool requiresNoRunningBoundApps) {
    QPointer<TarnwellController> self(this);
    const QString name = rule.target.displayName();
    if (isNetworkShare(rule)) {
        // The caller may have waited for the gate since it took the rule, so the state is written
        // only while the rule still stands; a rule changed meanwhile belongs to the update.
        if (isCurrentStorageRule(rule, expectedRuleRevision)) {
            updateState(rule.id, StorageTargetRuntimeStatus::targetNotFound(), std::nullopt);
        }
        record(reason + QStringLiteral(" skipped unsupported target ") + name + QStringLiteral("."));
        co_return;
    }
    if (!isCurrentStorageRule(rule, expectedRuleRevision)) {
        record(reason + QStringLiteral(" cancelled because the storage rule changed."));
        co_return;
    }
    if (requiresNoRunningBoundApps && hasRunningEnabledTriggersAfterReconcile(rule)) {
        record(reason + QStringLiteral(" cancelled because bound apps are still running."));
        co_return;
    }

    const auto status = co_await targetStatus(rule.target);
    if (!self) {
        co_return;
    }
    if (!isCurrentStorageRule(rule, expectedRuleRevision)) {
        record(reason + QStringLiteral(" cancelled because the storage rule changed during target checks."));
        co_return;
    }
    if (status.kind() != Kind::Mounted) {
        updateState(rule.id, status, std::nullopt);
        record(reason + QStringLiteral(" skipped because ") + name + QStringLiteral(" is not mounted."));
        co_return;
    }
    if (requiresNoRunningBoundApps && hasRunningEnabledTriggersAfterReconcile(rule)) {
        record(reason + QStringLiteral(" cancelled because bound apps are still running."));
        co_return;
    }

    co_await runDiskCommand(std::move(rule), expectedRuleRevision, std::move(reason),
                            DiskOperation::Unmounting);
}

TarnwellController::DiskCommandTexts TarnwellController::texts(DiskOperation operation) {
    if (operation == DiskOperation::Mounting) {
        return {StorageTargetRuntimeStatus::mounting(),
                StorageTargetRuntimeStatus::mounted(),
                QStringLiteral(" mount result ignored because the storage rule changed."),
                QStringLiteral(" mount failure ignored because the storage rule changed."),
                QStringLiteral(" mounted "),
                QStringLiteral(" failed to mount "),
                localized("Drive Mounted"),
                localized("%@ was mounted."),
                localized("Mount Failed")};
    }
    return {StorageTargetRuntimeStatus::unmounting(),
            StorageTargetRuntimeStatus::notMounted(),
            QStringLiteral(" result ignored because the storage rule changed."),
            QStringLiteral(" failure ignored because the storage rule changed."),
            QStringLiteral(" unmounted "),
            QStringLiteral(" failed to unmount "),
            localized("Drive Unmounted"),
            localized("%@ was unmounted."),
            localized("Unmount Failed")};
}

QCoro::Task<> TarnwellController::runDiskCommand(StorageTargetRule rule, qint64 expectedRuleRevision,
                                                 QString reason, DiskOperation operation) {
    QPointer<TarnwellController> self(this);
    const DiskCommandTexts text = texts(operation);
    const QString name = rule.target.displayName();
    updateState(rule.id, text.inProgress, std::nullopt);
    std::exception_ptr failure;
    try {
        const auto service = m_storageTargetService;
        if (operation == DiskOperation::Mounting) {
            co_await service->mount(rule.target);
        } else {
            co_await service->unmount(rule.target);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }

    if (!isCurrentStorageRule(rule, expectedRuleRevision)) {
        record(reason + (failure ? text.failureIgnored : text.resultIgnored));
        co_return;
    }
    if (!failure) {
        updateState(rule.id, text.succeeded, std::nullopt);
        record(reason + text.succeededVerb + name + u'.');
        // g++ 12 mishandles a braced list inside a co_await expression, so the body is built first.
        const QString body = formatted(text.successBody, {name});
        co_await notify(text.successTitle, body, rule.showNotifications);
        co_return;
    }
    const QString message = errorMessage(failure);
    const auto failedStatus = operation == DiskOperation::Mounting
                                  ? StorageTargetRuntimeStatus::mountFailed(message)
                                  : StorageTargetRuntimeStatus::unmountFailed(message);
    updateState(rule.id, failedStatus, message);
    record(reason + text.failedVerb + name + QLatin1String(": ") + message);
    co_await notify(text.failureTitle, message, rule.showNotifications);
}

QCoro::Task<> TarnwellController::updateConfiguration(TarnwellConfiguration configuration) {
    const TarnwellConfiguration previous = std::exchange(m_configuration, std::move(configuration));
    ++m_ruleRevision;
    // A rule the update left as it was keeps its state and its pending work; the others start over.
    QList<StorageTargetState> states = initialTargetStates(m_configuration);
    QHash<QUuid, qint64> changedAt;
    for (auto& state : states) {
        if (isSameRule(state.rule, previous, m_configuration)) {
            changedAt.insert(state.rule.id, m_ruleChangedAt.value(state.rule.id, 0));
            state = this->state(state.rule.id).value_or(state);
        } else {
            changedAt.insert(state.rule.id, m_ruleRevision);
        }
    }
    m_ruleChangedAt = std::move(changedAt);
    setTargetStates(std::move(states));
    record(QStringLiteral("Drive configuration updated."));
    reconcileRunningBundleIdentifiers();
    if (m_diskOperation) {
        if (!m_pendingRuleReconciliation) {
            record(QStringLiteral("Rule reconciliation queued until the current disk operation completes."));
        }
        m_pendingRuleReconciliation = true;
        co_return;
    }
    co_await continueRuleReconciliation(QStringLiteral("Configuration update"));
}

QCoro::Task<> TarnwellController::continueRuleReconciliation(QString reason) {
    if (m_runningBundleIdentifiers.isEmpty()) {
        co_await refreshDriveStatus();
        co_return;
    }
    QList<StorageTargetRule> rules;
    for (const auto& identifier : m_runningBundleIdentifiers) {
        for (const auto& rule : rulesBoundTo(identifier)) {
            if (rule.mountOnAppLaunch) {
                rules.append(rule);
            }
        }
    }
    co_await mountRulesIfNeeded(std::move(rules), std::move(reason), true);
}

QCoro::Task<> TarnwellController::processPendingRuleReconciliationIfNeeded() {
    if (!m_pendingRuleReconciliation) {
        co_return;
    }
    m_pendingRuleReconciliation = false;
    record(QStringLiteral("Reconciling pending rule update."));
    reconcileRunningBundleIdentifiers();
    co_await continueRuleReconciliation(QStringLiteral("Pending rule update"));
}

QCoro::Task<> TarnwellController::refreshDriveStatus() {
    QPointer<TarnwellController> self(this);
    if (m_configuration.storageRules.isEmpty()) {
        setStatus(TarnwellStatus::notConfigured());
        record(QStringLiteral("Drive status: not configured."));
        co_return;
    }
    const qint64 refreshRuleRevision = m_ruleRevision;
    QList<StorageTargetRule> rules;
    for (const auto& rule : m_configuration.storageRules) {
        if (rule.isEnabled) {
            rules.append(rule);
        }
    }
    if (rules.isEmpty()) {
        updateAggregateStatusFromTargetStates();
        record(QStringLiteral("Drive status: not configured."));
        co_return;
    }
    for (const auto& rule : rules) {
        const bool operationBefore = m_diskOperation.has_value();
        const quint64 operationsBefore = m_diskOperationsBegun;
        const auto status = co_await targetStatus(rule.target);
        if (!self) {
            co_return;
        }
        if (!isCurrentStorageRule(rule, refreshRuleRevision)) {
            record(QStringLiteral("Drive status ignored because the storage rule changed."));
            co_return;
        }
        // An answer read before or during a mount or unmount may predate it; that operation writes
        // the rule's state itself, and a stale answer would show the volume as it was.
        if (operationBefore || m_diskOperationsBegun != operationsBefore) {
            record(QStringLiteral("Drive status for ") + rule.target.displayName() +
                   QStringLiteral(" ignored because a disk operation ran meanwhile."));
            continue;
        }
        // A reminder stands while its target is still mounted.
        const bool stillReady = status.kind() == Kind::Mounted && state(rule.id) &&
                                state(rule.id)->status.kind() == Kind::ReadyToUnmount;
        updateState(rule.id, stillReady ? StorageTargetRuntimeStatus::readyToUnmount() : status,
                    std::nullopt);
        record(QStringLiteral("Drive status for ") + rule.target.displayName() + QStringLiteral(": ") +
               statusText(m_status) + QStringLiteral("."));
    }
}

} // namespace tarnwell
