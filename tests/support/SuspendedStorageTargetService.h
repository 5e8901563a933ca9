#pragma once

#include "core/disk/StorageTargetServicing.h"
#include "core/model/TarnwellError.h"
#include "support/ParkedCall.h"

#include <QStringList>

namespace tarnwell::testing {

// A storage-target service whose calls stay suspended until the test answers them, so that a test
// decides exactly where other work interleaves.
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
    using Parked = ParkedCall<StorageTargetRuntimeStatus>;
    struct Pending {
        QString call;
        std::shared_ptr<Parked> parked;
        bool isStatus() const { return call.startsWith(QStringLiteral("status ")); }
    };

    std::shared_ptr<Parked> enqueue(const char* operation, const StorageTarget& target);
    std::shared_ptr<Parked> take(qsizetype index, bool wantsStatus);
    static QCoro::Task<> awaitCommand(std::shared_ptr<Parked> parked);

    QList<Pending> m_pending;
};

} // namespace tarnwell::testing
