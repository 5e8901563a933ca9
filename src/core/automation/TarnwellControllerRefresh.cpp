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
    co_await readTargets(false);
}

QCoro::Task<> TarnwellController::handleDrivesChanged() {
    co_await readTargets(true);
}

void TarnwellController::markStatusChecked() {
    m_statusCheckedAt = QDateTime::currentDateTime();
    Q_EMIT statusCheckedAtChanged();
}

QCoro::Task<> TarnwellController::readTargets(bool drivesChanged) {
    QPointer<TarnwellController> self(this);
    if (m_configuration.storageRules.isEmpty()) {
        setStatus(TarnwellStatus::notConfigured());
        record(QStringLiteral("Drive status: not configured."));
        markStatusChecked();
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
        markStatusChecked();
        co_return;
    }
    QList<StorageTargetRule> appeared;
    for (const auto& rule : rules) {
        const QString name = rule.target.displayName();
        const bool commandRunning = m_commandsRunning.contains(rule.target.id());
        const quint64 commandsBefore = commandsOn(rule.target);
        const bool wasMissing = m_missingTargets.contains(rule.target.id());
        const auto status = co_await targetStatus(rule.target);
        if (!self) {
            co_return;
        }
        if (!isCurrentStorageRule(rule, refreshRuleRevision)) {
            record(QStringLiteral("Drive status ignored because the storage rule changed."));
            co_return;
        }
        // An answer read before or during a mount or unmount of this target may predate it; that
        // operation writes the rule's state itself, and a stale answer would show the volume as
        // it was.
        if (commandRunning || commandsOn(rule.target) != commandsBefore) {
            record(QStringLiteral("Drive status for ") + name +
                   QStringLiteral(" ignored because a disk operation ran meanwhile."));
            continue;
        }
        const auto previous = state(rule.id);
        const Kind before = previous ? previous->status.kind() : Kind::NotMounted;
        if (drivesChanged) {
            const bool boundAppRunning = m_runningBundleIdentifiers.intersects(bundleIdentifiers(rule));
            if (status.kind() == Kind::TargetNotFound) {
                // Plugging the drive in again is a new start, whatever was unmounted before.
                m_unmountedByUser.remove(rule.id);
                cancelPendingAutoUnmounts(rule, QStringLiteral("Auto-unmount cancelled because ") + name +
                                                    QStringLiteral(" was removed."));
            } else if (status.kind() == Kind::NotMounted && boundAppRunning &&
                       (before == Kind::Mounted || before == Kind::ReadyToUnmount)) {
                m_unmountedByUser.insert(rule.id);
                record(name + QStringLiteral(" was unmounted by another program; it stays unmounted until a "
                                             "bound app launches again."));
            } else if (status.kind() == Kind::NotMounted && wasMissing && boundAppRunning &&
                       rule.mountOnAppLaunch && !m_unmountedByUser.contains(rule.id)) {
                appeared.append(rule);
            }
        }
        // A reminder stands while its target is still mounted.
        const bool stillReady = status.kind() == Kind::Mounted && before == Kind::ReadyToUnmount;
        updateState(rule.id, stillReady ? StorageTargetRuntimeStatus::readyToUnmount() : status,
                    std::nullopt);
        record(QStringLiteral("Drive status for ") + name + QStringLiteral(": ") + statusText(m_status) +
               QStringLiteral("."));
    }
    markStatusChecked();
    if (!appeared.isEmpty()) {
        co_await mountRulesIfNeeded(std::move(appeared), QStringLiteral("Drive appeared"), true);
    }
}

} // namespace tarnwell
