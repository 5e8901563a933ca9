#include "support/SuspendedStorageTargetService.h"

#include <stdexcept>

namespace tarnwell::testing {

QCoro::Task<StorageTargetRuntimeStatus> SuspendedStorageTargetService::status(StorageTarget target) {
    return awaitStatus(enqueue("status ", target));
}

QCoro::Task<> SuspendedStorageTargetService::mount(StorageTarget target) {
    return awaitCommand(enqueue("mount ", target));
}

QCoro::Task<> SuspendedStorageTargetService::unmount(StorageTarget target) {
    return awaitCommand(enqueue("unmount ", target));
}

// The suspended frames hold only their pending entry, so they may outlive the service.
QCoro::Task<StorageTargetRuntimeStatus>
SuspendedStorageTargetService::awaitStatus(std::shared_ptr<Pending> pending) {
    co_await Suspension{pending.get()};
    co_return pending->status;
}

QCoro::Task<> SuspendedStorageTargetService::awaitCommand(std::shared_ptr<Pending> pending) {
    co_await Suspension{pending.get()};
    if (pending->error) {
        std::rethrow_exception(pending->error);
    }
}

std::shared_ptr<SuspendedStorageTargetService::Pending>
SuspendedStorageTargetService::enqueue(const char* operation, const StorageTarget& target) {
    auto pending = std::make_shared<Pending>();
    pending->call = QLatin1String(operation) + target.displayName();
    callLog.append(pending->call);
    m_pending.append(pending);
    return pending;
}

void SuspendedStorageTargetService::resume(qsizetype index, bool wantsStatus,
                                           const std::function<void(Pending&)>& answer) {
    if (index < 0 || index >= m_pending.size() || m_pending[index]->isStatus() != wantsStatus) {
        throw std::logic_error("No storage-target call of that kind is pending at that index.");
    }
    const auto pending = m_pending.takeAt(index);
    answer(*pending);
    pending->caller.resume();
}

void SuspendedStorageTargetService::answerStatus(const StorageTargetRuntimeStatus& status, qsizetype index) {
    resume(index, true, [&status](Pending& pending) { pending.status = status; });
}

void SuspendedStorageTargetService::succeed(qsizetype index) {
    resume(index, false, [](Pending&) {});
}

void SuspendedStorageTargetService::fail(const TarnwellError& error, qsizetype index) {
    resume(index, false, [&error](Pending& pending) { pending.error = std::make_exception_ptr(error); });
}

void SuspendedStorageTargetService::abandonPending() {
    while (!m_pending.isEmpty()) {
        const auto pending = m_pending.takeFirst();
        if (!pending->isStatus()) {
            pending->error = std::make_exception_ptr(TarnwellError::unknown(QStringLiteral("shut down")));
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
