#pragma once

#include "core/disk/StorageTargetServicing.h"
#include "core/model/TarnwellError.h"

#include <QList>
#include <QStringList>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>

namespace tarnwell::testing {

// A storage-target service whose calls stay suspended until the test answers them, so that a test
// decides exactly where other work interleaves. Answering a call resumes its caller at once, inside
// the answering function.
class SuspendedStorageTargetService : public StorageTargetServicing {
public:
    ~SuspendedStorageTargetService() override;

    QCoro::Task<StorageTargetRuntimeStatus> status(StorageTarget target) override;
    QCoro::Task<> mount(StorageTarget target) override;
    QCoro::Task<> unmount(StorageTarget target) override;

    // "status NAME", "mount NAME" or "unmount NAME" for every call made so far.
    const QStringList& callLog() const { return m_callLog; }
    // The same for the calls still suspended, oldest first.
    QStringList pendingLog() const;
    qsizetype pendingCount() const { return m_pending.size(); }

    // Each answers the pending call at the index (oldest first). Asking for a call that is missing
    // or of another kind throws std::logic_error and resumes nothing.
    void answerStatus(const StorageTargetRuntimeStatus& status, qsizetype index = 0);
    void succeed(qsizetype index = 0);
    void fail(const TarnwellError& error, qsizetype index = 0);

    // Resumes every pending call: status queries answer targetNotFound and commands fail.
    void abandonPending();

private:
    struct Pending {
        QString call;
        bool isStatus = false;
        std::coroutine_handle<> caller;
        std::optional<StorageTargetRuntimeStatus> status;
        std::exception_ptr error;
    };

    // Suspends the awaiting coroutine and leaves its handle with the pending entry.
    struct Suspension {
        Pending* pending;

        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { pending->caller = handle; }
        void await_resume() const noexcept {}
    };

    std::shared_ptr<Pending> enqueue(const QString& operation, const StorageTarget& target);
    std::shared_ptr<Pending> take(qsizetype index, bool wantsStatus);
    static QCoro::Task<StorageTargetRuntimeStatus> awaitStatus(std::shared_ptr<Pending> pending);
    static QCoro::Task<> awaitCommand(std::shared_ptr<Pending> pending);

    QStringList m_callLog;
    QList<std::shared_ptr<Pending>> m_pending;
};

} // namespace tarnwell::testing
