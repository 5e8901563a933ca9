// The drive status refresh: each enabled rule's state read again from its target.

#include "core/automation/TarnwellController.h"

#include <QPointer>

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

} // namespace

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
