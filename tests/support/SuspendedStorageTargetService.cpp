#include "support/SuspendedStorageTargetService.h"

#include <stdexcept>

namespace tarnwell::testing {

void SuspendedStorageTargetService::Suspension::await_suspend(std::coroutine_handle<> handle) const noexcept {
    pending->caller = handle;
}

SuspendedStorageTargetService::~SuspendedStorageTargetService() {
    abandonPending();
}

QCoro::Task<StorageTargetRuntimeStatus> SuspendedStorageTargetService::status(StorageTarget target) {
    return awaitStatus(enqueue(Operation::Status, std::move(target)));
}

QCoro::Task<> SuspendedStorageTargetService::mount(StorageTarget target) {
    return awaitCommand(enqueue(Operation::Mount, std::move(target)));
}

QCoro::Task<> SuspendedStorageTargetService::unmount(StorageTarget target) {
    return awaitCommand(enqueue(Operation::Unmount, std::move(target)));
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
SuspendedStorageTargetService::enqueue(Operation operation, StorageTarget target) {
    auto pending = std::make_shared<Pending>();
    pending->call = Call{operation, std::move(target)};
    m_calls.append(pending->call);
    m_pending.append(pending);
    return pending;
}

std::shared_ptr<SuspendedStorageTargetService::Pending>
SuspendedStorageTargetService::take(qsizetype index, bool wantsStatus) {
    if (index < 0 || index >= m_pending.size()) {
        throw std::logic_error("No storage-target call is pending at that index.");
    }
    if ((m_pending[index]->call.operation == Operation::Status) != wantsStatus) {
        throw std::logic_error("The pending storage-target call is of another kind: " +
                               describe(m_pending[index]->call).toStdString());
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
    fail(std::make_exception_ptr(error), index);
}

void SuspendedStorageTargetService::fail(std::exception_ptr error, qsizetype index) {
    const auto pending = take(index, false);
    pending->error = std::move(error);
    pending->caller.resume();
}

void SuspendedStorageTargetService::abandonPending() {
    while (!m_pending.isEmpty()) {
        const auto pending = m_pending.takeFirst();
        if (pending->call.operation != Operation::Status) {
            pending->error = std::make_exception_ptr(
                TarnwellError::unknown(QStringLiteral("The storage service was shut down.")));
        }
        pending->caller.resume();
    }
}

QString SuspendedStorageTargetService::describe(const Call& call) {
    switch (call.operation) {
    case Operation::Status:
        return QStringLiteral("status ") + call.target.displayName();
    case Operation::Mount:
        return QStringLiteral("mount ") + call.target.displayName();
    case Operation::Unmount:
        return QStringLiteral("unmount ") + call.target.displayName();
    }
    Q_UNREACHABLE();
}

QStringList SuspendedStorageTargetService::callLog() const {
    QStringList log;
    for (const auto& call : m_calls) {
        log.append(describe(call));
    }
    return log;
}

QStringList SuspendedStorageTargetService::pendingLog() const {
    QStringList log;
    for (const auto& pending : m_pending) {
        log.append(describe(pending->call));
    }
    return log;
}

} // namespace tarnwell::testing
