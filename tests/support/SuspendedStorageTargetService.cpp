#include "support/SuspendedStorageTargetService.h"

#include <stdexcept>

namespace tarnwell::testing {

SuspendedStorageTargetService::~SuspendedStorageTargetService() {
    abandonPending();
}

QCoro::Task<StorageTargetRuntimeStatus> SuspendedStorageTargetService::status(StorageTarget target) {
    return awaitStatus(enqueue(QStringLiteral("status "), target));
}

QCoro::Task<> SuspendedStorageTargetService::mount(StorageTarget target) {
    return awaitCommand(enqueue(QStringLiteral("mount "), target));
}

QCoro::Task<> SuspendedStorageTargetService::unmount(StorageTarget target) {
    return awaitCommand(enqueue(QStringLiteral("unmount "), target));
}

// The suspended frames hold only their pending entry, so they may outlive the service.
QCoro::Task<StorageTargetRuntimeStatus>
SuspendedStorageTargetService::awaitStatus(std::shared_ptr<Pending> pending) {
    co_await Suspension{pending.get()};
    co_return pending->status.value_or(StorageTargetRuntimeStatus::targetNotFound());
}

QCoro::Task<> SuspendedStorageTargetService::awaitCommand(std::shared_ptr<Pending> pending) {
    co_await Suspension{pending.get()};
    if (pending->error) {
        std::rethrow_exception(pending->error);
    }
}

std::shared_ptr<SuspendedStorageTargetService::Pending>
SuspendedStorageTargetService::enqueue(const QString& operation, const StorageTarget& target) {
    auto pending = std::make_shared<Pending>();
    pending->call = operation + target.displayName();
    pending->isStatus = operation == QStringLiteral("status ");
    m_callLog.append(pending->call);
    m_pending.append(pending);
    return pending;
}

std::shared_ptr<SuspendedStorageTargetService::Pending>
SuspendedStorageTargetService::take(qsizetype index, bool wantsStatus) {
    if (index < 0 || index >= m_pending.size()) {
        throw std::logic_error("No storage-target call is pending at that index.");
    }
    if (m_pending[index]->isStatus != wantsStatus) {
        throw std::logic_error("The pending storage-target call is of another kind: " +
                               m_pending[index]->call.toStdString());
    }
    return m_pending.takeAt(index);
}

void SuspendedStorageTargetService::answerStatus(const StorageTargetRuntimeStatus& status, qsizetype index) {
    const auto pending = take(index, true);
    pending->status = status;
    pending->caller.resume();
}

void SuspendedStorageTargetService::succeed(qsizetype index) {
    take(index, false)->caller.resume();
}

void SuspendedStorageTargetService::fail(const TarnwellError& error, qsizetype index) {
    const auto pending = take(index, false);
    pending->error = std::make_exception_ptr(error);
    pending->caller.resume();
}

void SuspendedStorageTargetService::abandonPending() {
    while (!m_pending.isEmpty()) {
        const auto pending = m_pending.takeFirst();
        if (!pending->isStatus) {
            pending->error = std::make_exception_ptr(
                TarnwellError::unknown(QStringLiteral("The storage service was shut down.")));
        }
        pending->caller.resume();
    }
}

QStringList SuspendedStorageTargetService::pendingLog() const {
    QStringList log;
    for (const auto& pending : m_pending) {
        log.append(pending->call);
    }
    return log;
}

} // namespace tarnwell::testing
