#include "support/SuspendedStorageTargetService.h"

#include <stdexcept>

namespace tarnwell::testing {

QCoro::Task<StorageTargetRuntimeStatus> SuspendedStorageTargetService::status(StorageTarget target) {
    return park(enqueue("status ", target));
}

QCoro::Task<> SuspendedStorageTargetService::mount(StorageTarget target) {
    return awaitCommand(enqueue("mount ", target));
}

QCoro::Task<> SuspendedStorageTargetService::unmount(StorageTarget target) {
    return awaitCommand(enqueue("unmount ", target));
}

QCoro::Task<> SuspendedStorageTargetService::awaitCommand(std::shared_ptr<Parked> parked) {
    co_await park(std::move(parked));
}

std::shared_ptr<SuspendedStorageTargetService::Parked>
SuspendedStorageTargetService::enqueue(const char* operation, const StorageTarget& target) {
    Pending pending{QLatin1String(operation) + target.displayName(), std::make_shared<Parked>()};
    callLog.append(pending.call);
    m_pending.append(pending);
    return pending.parked;
}

std::shared_ptr<SuspendedStorageTargetService::Parked> SuspendedStorageTargetService::take(qsizetype index,
                                                                                           bool wantsStatus) {
    if (index < 0 || index >= m_pending.size() || m_pending[index].isStatus() != wantsStatus) {
        throw std::logic_error("No storage-target call of that kind is pending at that index.");
    }
    return m_pending.takeAt(index).parked;
}

void SuspendedStorageTargetService::answerStatus(const StorageTargetRuntimeStatus& status, qsizetype index) {
    const auto parked = take(index, true);
    parked->value = status;
    parked->resume();
}

void SuspendedStorageTargetService::succeed(qsizetype index) {
    take(index, false)->resume();
}

void SuspendedStorageTargetService::fail(const TarnwellError& error, qsizetype index) {
    take(index, false)->fail(std::make_exception_ptr(error));
}

void SuspendedStorageTargetService::abandonPending() {
    while (!m_pending.isEmpty()) {
        const Pending pending = m_pending.takeFirst();
        if (pending.isStatus()) {
            pending.parked->value = StorageTargetRuntimeStatus::targetNotFound();
            pending.parked->resume();
        } else {
            pending.parked->fail(
                std::make_exception_ptr(TarnwellError::unknown(QStringLiteral("shut down"))));
        }
    }
}

QStringList SuspendedStorageTargetService::pendingLog() const {
    QStringList log;
    for (const auto& pending : m_pending) {
        log.append(pending.call);
    }
    return log;
}

} // namespace tarnwell::testing
