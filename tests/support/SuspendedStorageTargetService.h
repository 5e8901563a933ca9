#pragma once

#include "core/disk/StorageTargetServicing.h"
#include "core/model/TarnwellError.h"

#include <QList>
#include <QStringList>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>

namespace tarnwell::testing {

// A storage-target service whose calls stay suspended until the test answers them, so that a test
// decides exactly where other work interleaves. Answering a call resumes its caller at once, inside
// the answering function.
class SuspendedStorageTargetService : public StorageTargetServicing {
public:
    ~SuspendedStorageTargetService() override { abandonPending(); }

    QCoro::Task<StorageTargetRuntimeStatus> status(StorageTarget target) override;
    QCoro::Task<> mount(StorageTarget target) override;
    QCoro::Task<> unmount(StorageTarget target) override;

    // "status NAME", "mount NAME" or "unmount NAME" for every call made so far, and for the calls
    // still suspended, oldest first.
    QStringList callLog;
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
        std::coroutine_handle<> caller;
        StorageTargetRuntimeStatus status = StorageTargetRuntimeStatus::targetNotFound();
        std::exception_ptr error;

        bool isStatus() const { return call.startsWith(QStringLiteral("status ")); }
    };
    // Awaiting leaves the caller's handle with the entry (QCoro may copy the awaiter itself).
    struct Suspension {
        Pending* pending;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { pending->caller = handle; }
        void await_resume() const noexcept {}
    };

    std::shared_ptr<Pending> enqueue(const char* operation, const StorageTarget& target);
    void resume(qsizetype index, bool wantsStatus, const std::function<void(Pending&)>& answer);
    static QCoro::Task<StorageTargetRuntimeStatus> awaitStatus(std::shared_ptr<Pending> pending);
    static QCoro::Task<> awaitCommand(std::shared_ptr<Pending> pending);

    QList<std::shared_ptr<Pending>> m_pending;
};

} // namespace tarnwell::testing
