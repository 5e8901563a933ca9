// Launch handling: a bound application starting mounts the volumes of its rules.

#include "core/automation/TarnwellController.h"

#include <QPointer>
#include <algorithm>

namespace tarnwell {

namespace {

using Kind = StorageTargetRuntimeStatus::Kind;

} // namespace

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
        cancelPendingAutoUnmounts(
            rule, QStringLiteral("Auto-unmount cancelled because a bound app is running again."));
        m_unmountedByUser.remove(rule.id);
        // The drive may not be unplugged while its editor runs again; it is still mounted, as a
        // reminder is only given for a mounted drive and a drive change since then replaces it.
        if (const auto current = state(rule.id); current && current->status.kind() == Kind::ReadyToUnmount) {
            updateState(rule.id, StorageTargetRuntimeStatus::mounted(), std::nullopt);
            record(QStringLiteral("Reminder cleared because a bound app is running again."));
        }
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
    for (const auto& rule : rules) {
        m_unmountedByUser.remove(rule.id);
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
    m_unmountedByUser.remove(found->id);
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

} // namespace tarnwell
