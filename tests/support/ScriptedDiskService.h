#pragma once

#include "core/disk/DiskServicing.h"
#include "support/ParkedCall.h"

#include <QList>
#include <optional>

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
    void fail(std::exception_ptr error, qsizetype index = 0) {
        m_pending.takeAt(index)->fail(std::move(error));
    }

    // Listings answer with these volumes at once, for tests that do not look at them.
    std::optional<QList<DriveInfo>> listAtOnce;
    // The showAll flag of every listing asked for, in order.
    QList<bool> listings;

private:
    QList<std::shared_ptr<ParkedCall<QList<DriveInfo>>>> m_pending;
};

} // namespace tarnwell::testing
