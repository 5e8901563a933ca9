#pragma once

#include "core/automation/TarnwellLogging.h"
#include "core/automation/TarnwellNotifying.h"
#include "core/disk/StorageTargetServicing.h"
#include "core/model/StorageTargetState.h"
#include "core/model/TarnwellConfiguration.h"
#include "core/model/TarnwellStatus.h"

#include <QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

namespace tarnwell {

// The automation core: turns application launches and terminations into mounts, reminders and
// safe unmounts, keeps one runtime state per rule plus the aggregate status, and admits one disk
// operation at a time through its gate. Every operation runs on the GUI thread and interleaves
// with the others only where it suspends; an operation that resumes after a configuration update
// notices it through the rule revision and drops its result.
class TarnwellController : public QObject {
    Q_OBJECT
    Q_PROPERTY(tarnwell::TarnwellStatus status READ status NOTIFY statusChanged)
    Q_PROPERTY(QList<tarnwell::StorageTargetState> targetStates READ targetStates NOTIFY targetStatesChanged)
    Q_PROPERTY(QSet<QString> runningBundleIdentifiers READ runningBundleIdentifiers NOTIFY
                   runningBundleIdentifiersChanged)
    Q_PROPERTY(QDateTime statusCheckedAt READ statusCheckedAt NOTIFY statusCheckedAtChanged)
    Q_PROPERTY(bool autoUnmountPending READ autoUnmountPending NOTIFY autoUnmountPendingChanged)

public:
    using RunningBundleIdentifiers = std::function<QSet<QString>()>;
    // Suspends for whole seconds; returns early, without throwing, once a stop is requested.
    using Delay = std::function<QCoro::Task<>(qint64 seconds, std::stop_token stop)>;

    TarnwellController(TarnwellConfiguration configuration,
                       std::shared_ptr<StorageTargetServicing> storageTargetService,
                       std::shared_ptr<TarnwellNotifying> notifier, std::shared_ptr<TarnwellLogging> logger,
                       RunningBundleIdentifiers currentRunningBundleIdentifiers, Delay delay = timerDelay,
                       QObject* parent = nullptr);
    ~TarnwellController() override;

    // The real delay: a timer on the event loop. Even zero seconds waits for one pass of the loop.
    static QCoro::Task<> timerDelay(qint64 seconds, std::stop_token stop);

    // Published state.
    const TarnwellStatus& status() const { return m_status; }
    const QList<StorageTargetState>& targetStates() const { return m_targetStates; }
    const QSet<QString>& runningBundleIdentifiers() const { return m_runningBundleIdentifiers; }
    // When every enabled rule's target was last read; invalid before the first reading.
    const QDateTime& statusCheckedAt() const { return m_statusCheckedAt; }

    const TarnwellConfiguration& configuration() const { return m_configuration; }
    qint64 ruleRevision() const { return m_ruleRevision; }

    std::optional<StorageTargetState> state(const QUuid& ruleID) const;
    QList<AppTrigger> enabledAppTriggers() const;
    // Identifiers of the enabled triggers the rule is bound to.
    QSet<QString> bundleIdentifiers(const StorageTargetRule& rule) const;
    // Enabled rules bound to the identifier through an enabled trigger, in configuration order.
    QList<StorageTargetRule> rulesBoundTo(const QString& bundleIdentifier) const;
    QSet<QString> boundBundleIdentifiers() const;
    // Identifiers of the enabled triggers bound to the enabled rules of a configuration.
    static QSet<QString> boundBundleIdentifiers(const TarnwellConfiguration& configuration);
    // False once the rule was removed or changed in what it does (see actsTheSame()) by an update
    // after the revision was taken; other edits, such as a new name, do not count.
    bool isCurrentStorageRule(const StorageTargetRule& rule, qint64 expectedRuleRevision) const;
    static QString errorMessage(std::exception_ptr error);

    QCoro::Task<> handleAppLaunched(QString bundleIdentifier);
    QCoro::Task<> mountMissingTargets();
    QCoro::Task<> mountRule(QUuid id);

    QCoro::Task<> handleAppTerminated(QString bundleIdentifier);
    QCoro::Task<> unmountRuleSafely(QUuid id);
    QCoro::Task<> unmountReadyTargets();

    QCoro::Task<> updateConfiguration(TarnwellConfiguration configuration);
    QCoro::Task<> refreshDriveStatus();
    // Reads every rule's target again after the drives changed, and acts on what changed: a drive
    // that appears while a bound application runs is mounted, one that goes away ends its pending
    // unmount, and one the user unmounted is left alone until a bound application launches again.
    QCoro::Task<> handleDrivesChanged();

    // Whether an auto-unmount is waiting for its delay or running: the time in which the system
    // going to sleep would leave a drive mounted that was about to be released.
    bool autoUnmountPending() const { return !m_pendingAutoUnmounts.isEmpty(); }
    // Ends the delay of every waiting auto-unmount, so that each goes on at once to its safe unmount
    // with all its usual checks, and resolves once every auto-unmount has ended. Nothing else is
    // unmounted: only what was going to be released anyway goes before the system sleeps.
    QCoro::Task<> advancePendingAutoUnmounts();

Q_SIGNALS:
    void statusChanged();
    void targetStatesChanged();
    void runningBundleIdentifiersChanged();
    void statusCheckedAtChanged();
    void autoUnmountPendingChanged();

private:
    enum class DiskOperation { Mounting, Unmounting };

    // Suspends the awaiting operation until the list it joined is resumed: the gate's waiters when
    // finishDiskOperation() releases the gate, those of advancePendingAutoUnmounts() when the last
    // auto-unmount ends.
    struct Waiter {
        std::vector<std::coroutine_handle<>>* waiters;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiter) { waiters->push_back(waiter); }
        void await_resume() const noexcept {}
    };

    static QList<StorageTargetState> initialTargetStates(const TarnwellConfiguration& configuration);
    // Network shares have no mount path here yet, so the automation leaves them alone.
    static bool isNetworkShare(const StorageTargetRule& rule);
    static QString text(DiskOperation operation);

    // What a mount or an unmount writes to the state, the log and the notifications.
    struct DiskCommandTexts {
        StorageTargetRuntimeStatus inProgress;
        StorageTargetRuntimeStatus succeeded;
        QString resultIgnored;
        QString failureIgnored;
        QString succeededVerb;
        QString failedVerb;
        QString successTitle;
        QString successBody;
        QString failureTitle;
    };
    static DiskCommandTexts texts(DiskOperation operation);

    void record(const QString& line);
    void setStatus(TarnwellStatus status);
    void setTargetStates(QList<StorageTargetState> states);
    void setRunningBundleIdentifiers(QSet<QString> identifiers);
    void reconcileRunningBundleIdentifiers();
    // Whether an update left what the rule does as it was: its target, whether it is enabled, mounts
    // on launch, its post-quit action and delay, and every identifier bound to it (adding one does
    // not count). Its name, notifications, order and the apps' display names do not matter here.
    static bool actsTheSame(const StorageTargetRule& rule, const TarnwellConfiguration& before,
                            const TarnwellConfiguration& after);

    void updateState(const QUuid& ruleID, const StorageTargetRuntimeStatus& status,
                     const std::optional<QString>& lastErrorMessage);
    void updateAggregateStatusFromTargetStates();
    bool beginDiskOperation(DiskOperation operation, const QString& reason);
    void takeGate(DiskOperation operation);
    QCoro::Task<> finishDiskOperation();
    // Awaits the body of an operation that holds the gate, then releases the gate whatever the
    // body's outcome; a failure is passed on once the gate is free again.
    QCoro::Task<> releasingGate(QCoro::Task<> body);
    QCoro::Task<> waitForDiskOperationAvailability();
    void resumeLater(std::vector<std::coroutine_handle<>> waiters);

    QCoro::Task<StorageTargetRuntimeStatus> targetStatus(StorageTarget target);
    // Counts the mounts and unmounts of a target, so that a status read can tell whether one of
    // them overlapped it.
    quint64 commandsOn(const StorageTarget& target) const;
    QCoro::Task<> readTargets(bool drivesChanged);
    void markStatusChecked();
    QCoro::Task<> notify(QString title, QString body, bool enabled);

    QCoro::Task<> mountRulesIfNeeded(QList<StorageTargetRule> rules, QString reason,
                                     bool queueReconciliationWhenBusy);
    QCoro::Task<> runMountRuleIfNeeded(StorageTargetRule rule, QString reason, qint64 operationRuleRevision);

    QCoro::Task<> applyPostQuitAction(StorageTargetRule rule, qint64 expectedRuleRevision);
    // Ends the rule's waiting auto-unmounts, logging why for each.
    void cancelPendingAutoUnmounts(const StorageTargetRule& rule, const QString& why);
    bool hasRunningEnabledTriggersAfterReconcile(const StorageTargetRule& rule);
    QCoro::Task<> markReadyToUnmount(StorageTargetRule rule, qint64 expectedRuleRevision);
    QCoro::Task<> autoUnmount(StorageTargetRule rule, qint64 expectedRuleRevision);
    struct PendingAutoUnmount;
    QCoro::Task<> autoUnmountAfterDelay(StorageTargetRule rule, qint64 expectedRuleRevision,
                                        std::shared_ptr<PendingAutoUnmount> pending);
    void endPendingAutoUnmount(const std::shared_ptr<PendingAutoUnmount>& pending);
    QCoro::Task<> waitForGate(QString reason);
    // Runs the mount or unmount of a rule that holds the gate, and records its outcome unless the
    // rule changed meanwhile.
    QCoro::Task<> runDiskCommand(StorageTargetRule rule, qint64 expectedRuleRevision, QString reason,
                                 DiskOperation operation);
    QCoro::Task<> runUnmountStorageRule(StorageTargetRule rule, qint64 expectedRuleRevision, QString reason,
                                        bool requiresNoRunningBoundApps);

    QCoro::Task<> continueRuleReconciliation(QString reason);
    QCoro::Task<> processPendingRuleReconciliationIfNeeded();

    TarnwellStatus m_status = TarnwellStatus::notConfigured();
    QList<StorageTargetState> m_targetStates;
    QSet<QString> m_runningBundleIdentifiers;
    TarnwellConfiguration m_configuration;
    qint64 m_ruleRevision = 0;
    // The revision at which each rule last changed; rules absent here have not changed since start.
    QHash<QUuid, qint64> m_ruleChangedAt;
    std::optional<DiskOperation> m_diskOperation;
    // Mounts and unmounts begun and running, by target id.
    QHash<QString, quint64> m_commandsBegun;
    QSet<QString> m_commandsRunning;
    // Targets whose last reading found them missing, by target id.
    QSet<QString> m_missingTargets;
    // Rules whose volume the user unmounted while a bound application ran; nothing mounts them
    // behind the user's back until a bound application launches again or the user asks.
    QSet<QUuid> m_unmountedByUser;
    QDateTime m_statusCheckedAt;
    bool m_pendingRuleReconciliation = false;
    std::vector<std::coroutine_handle<>> m_diskOperationWaiters;
    const std::shared_ptr<StorageTargetServicing> m_storageTargetService;
    const std::shared_ptr<TarnwellNotifying> m_notifier;
    const std::shared_ptr<TarnwellLogging> m_logger;
    const RunningBundleIdentifiers m_currentRunningBundleIdentifiers;
    const Delay m_delay;
    // Delays of auto-unmounts still waiting: a launch of a bound application ends its rule's delays,
    // and the controller's end ends them all.
    struct PendingAutoUnmount {
        QUuid ruleID;
        std::stop_source stop;
        // Past its delay: a launch no longer cancels it, the unmount step's own checks decide.
        bool delayOver = false;
        // Its delay was cut short because the system is going to sleep.
        bool advanced = false;
    };
    QList<std::shared_ptr<PendingAutoUnmount>> m_pendingAutoUnmounts;
    // Callers of advancePendingAutoUnmounts() waiting for the last auto-unmount to end.
    std::vector<std::coroutine_handle<>> m_autoUnmountWaiters;
    // Rules whose post-quit action already ran since a bound application last ran, so that several
    // bound applications quitting together act once.
    QSet<QUuid> m_rulesAfterQuit;
};

} // namespace tarnwell
