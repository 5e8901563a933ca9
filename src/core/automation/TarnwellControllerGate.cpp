// The gate that admits one disk operation at a time, and the mount or unmount command that runs
// while an operation holds it.

#include "core/automation/TarnwellController.h"

#include "core/support/Localization.h"

#include <QCoreApplication>
#include <QPointer>

namespace tarnwell {

namespace {

using Kind = StorageTargetRuntimeStatus::Kind;

} // namespace

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
    co_await Waiter{&m_diskOperationWaiters};
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
    QPointer<TarnwellController> self(this);
    const auto service = m_storageTargetService;
    const QString id = target.id();
    StorageTargetRuntimeStatus status = StorageTargetRuntimeStatus::targetNotFound();
    try {
        status = co_await service->status(std::move(target));
    } catch (...) {
        // Status queries fold every failure into "not found"; a service that throws anyway is
        // treated the same way.
    }
    if (self && status.kind() == Kind::TargetNotFound) {
        m_missingTargets.insert(id);
    } else if (self) {
        m_missingTargets.remove(id);
    }
    co_return status;
}

quint64 TarnwellController::commandsOn(const StorageTarget& target) const {
    return m_commandsBegun.value(target.id(), 0);
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
    const QString targetID = rule.target.id();
    ++m_commandsBegun[targetID];
    m_commandsRunning.insert(targetID);
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
    m_commandsRunning.remove(targetID);

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

} // namespace tarnwell
