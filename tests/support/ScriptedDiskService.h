#pragma once

#include "core/disk/DiskServicing.h"

#include <QList>
#include <coroutine>
#include <exception>
#include <memory>

namespace tarnwell::testing {

// A disk service whose volume listings stay suspended until the test answers them, in any order.
// The view models use nothing else, so the other operations fail.
class ScriptedDiskService : public DiskServicing {
public:
    QCoro::Task<QList<DriveInfo>> listMountedVolumes(bool showAll) override;
    QCoro::Task<DriveInfo> info(QString volumeUUID) override;
    QCoro::Task<bool> isMounted(QString volumeUUID) override;
    QCoro::Task<> mount(QString volumeUUID) override;
    QCoro::Task<> unmountDisk(QString diskIdentifier) override;
    QCoro::Task<> unmountMountPoint(QString mountPoint) override;

    qsizetype pendingCount() const { return m_pending.size(); }
    // Answers the pending listing at the index (oldest first) and resumes its caller at once.
    void answer(QList<DriveInfo> volumes, qsizetype index = 0);
    void fail(std::exception_ptr error, qsizetype index = 0);

    // The showAll flag of every listing asked for, in order.
    QList<bool> listings;

private:
    struct Pending {
        std::coroutine_handle<> caller;
        QList<DriveInfo> volumes;
        std::exception_ptr error;
    };
    // Awaiting leaves the caller's handle with the entry (QCoro may copy the awaiter itself).
    struct Suspension {
        Pending* pending;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { pending->caller = handle; }
        void await_resume() const noexcept {}
    };

    static QCoro::Task<QList<DriveInfo>> awaitListing(std::shared_ptr<Pending> pending);

    QList<std::shared_ptr<Pending>> m_pending;
};

} // namespace tarnwell::testing
