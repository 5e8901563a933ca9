// Quit handling: the last bound application quitting runs its rules' post-quit actions, and the
// unmounts those actions and the user ask for.

#include "core/automation/TarnwellController.h"

#include "core/support/Localization.h"

#include <QPointer>
#include <algorithm>

namespace tarnwell {

namespace {

using Kind = StorageTargetRuntimeStatus::Kind;

} // namespace

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
        record(QStringLiteral("Post-quit action for ") + name + QStringLiteral(" already under way."));
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

void TarnwellController::cancelPendingAutoUnmounts(const StorageTargetRule& rule, const QString& why) {
    for (const auto& pending : std::as_const(m_pendingAutoUnmounts)) {
        if (pending->ruleID == rule.id && !pending->delayOver && !pending->stop.stop_requested()) {
            pending->stop.request_stop();
            record(why);
        }
    }
}

QCoro::Task<> TarnwellController::advancePendingAutoUnmounts() {
    QPointer<TarnwellController> self(this);
    for (const auto& pending : std::as_const(m_pendingAutoUnmounts)) {
        if (!pending->delayOver && !pending->stop.stop_requested()) {
            pending->advanced = true;
            pending->stop.request_stop();
        }
    }
    while (self && autoUnmountPending()) {
        co_await Waiter{&m_autoUnmountWaiters};
    }
}

void TarnwellController::endPendingAutoUnmount(const std::shared_ptr<PendingAutoUnmount>& pending) {
    m_pendingAutoUnmounts.removeOne(pending);
    if (m_pendingAutoUnmounts.isEmpty()) {
        resumeLater(std::exchange(m_autoUnmountWaiters, {}));
        Q_EMIT autoUnmountPendingChanged();
    }
}

QCoro::Task<> TarnwellController::autoUnmount(StorageTargetRule rule, qint64 expectedRuleRevision) {
    QPointer<TarnwellController> self(this);
    const auto pending = std::make_shared<PendingAutoUnmount>(PendingAutoUnmount{rule.id, {}});
    m_pendingAutoUnmounts.append(pending);
    if (m_pendingAutoUnmounts.size() == 1) {
        Q_EMIT autoUnmountPendingChanged();
    }
    std::exception_ptr failure;
    try {
        co_await autoUnmountAfterDelay(std::move(rule), expectedRuleRevision, pending);
    } catch (...) {
        failure = std::current_exception();
    }
    if (self) {
        endPendingAutoUnmount(pending);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

QCoro::Task<> TarnwellController::autoUnmountAfterDelay(StorageTargetRule rule, qint64 expectedRuleRevision,
                                                        std::shared_ptr<PendingAutoUnmount> pending) {
    QPointer<TarnwellController> self(this);
    const auto delay = m_delay;
    std::exception_ptr delayFailure;
    try {
        co_await delay(std::max<qint64>(0, rule.unmountDelaySeconds), pending->stop.get_token());
    } catch (...) {
        delayFailure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    pending->delayOver = true;
    if (pending->stop.stop_requested() && !pending->advanced) {
        // A bound application came back; the launch has said so and the next quit waits afresh.
        co_return;
    }
    if (delayFailure) {
        // Without a completed delay the user never got the promised time; nothing is unmounted.
        record(QStringLiteral("Auto-unmount cancelled because the delay failed: ") +
               errorMessage(delayFailure));
        co_return;
    }
    if (pending->advanced) {
        record(QStringLiteral("Auto-unmount of ") + rule.target.displayName() +
               QStringLiteral(" runs now because the system is going to sleep."));
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

} // namespace tarnwell
