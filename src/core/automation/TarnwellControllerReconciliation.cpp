// Configuration updates, and the reconciliation that mounts what newly bound running applications
// need.

#include "core/automation/TarnwellController.h"

#include <QPointer>

namespace tarnwell {

QCoro::Task<> TarnwellController::updateConfiguration(TarnwellConfiguration configuration) {
    const TarnwellConfiguration previous = std::exchange(m_configuration, std::move(configuration));
    ++m_ruleRevision;
    // A rule the update left acting as it did keeps its state and its pending work, under its new
    // name and settings; the others start over.
    QList<StorageTargetState> states = initialTargetStates(m_configuration);
    QHash<QUuid, qint64> changedAt;
    for (auto& state : states) {
        const auto kept = this->state(state.rule.id);
        if (kept && actsTheSame(state.rule, previous, m_configuration)) {
            changedAt.insert(state.rule.id, m_ruleChangedAt.value(state.rule.id, 0));
            state.status = kept->status;
            state.lastErrorMessage = kept->lastErrorMessage;
        } else {
            changedAt.insert(state.rule.id, m_ruleRevision);
            m_unmountedByUser.remove(state.rule.id);
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
            if (rule.mountOnAppLaunch && !m_unmountedByUser.contains(rule.id)) {
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

} // namespace tarnwell
