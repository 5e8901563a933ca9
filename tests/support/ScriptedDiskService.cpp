#include "support/ScriptedDiskService.h"

#include "core/model/TarnwellError.h"

namespace tarnwell::testing {

QCoro::Task<QList<DriveInfo>> ScriptedDiskService::listMountedVolumes(bool showAll) {
    listings.append(showAll);
    if (listAtOnce) {
        // A copy, since the promise moves from what it is given.
        co_return QList<DriveInfo>(*listAtOnce);
    }
    m_pending.append(std::make_shared<ParkedCall<QList<DriveInfo>>>());
    co_return co_await park(m_pending.last());
}

void ScriptedDiskService::answer(QList<DriveInfo> volumes, qsizetype index) {
    const auto pending = m_pending.takeAt(index);
    pending->value = std::move(volumes);
    pending->resume();
}

QCoro::Task<DriveInfo> ScriptedDiskService::info(QString) {
    throw TarnwellError::driveNotFound();
    co_return DriveInfo{};
}

QCoro::Task<bool> ScriptedDiskService::isMounted(QString) {
    co_return false;
}

QCoro::Task<> ScriptedDiskService::mount(QString) {
    throw TarnwellError::permissionDenied();
    co_return;
}

QCoro::Task<> ScriptedDiskService::unmountDisk(QString) {
    throw TarnwellError::permissionDenied();
    co_return;
}

QCoro::Task<> ScriptedDiskService::unmountMountPoint(QString) {
    throw TarnwellError::permissionDenied();
    co_return;
}

} // namespace tarnwell::testing
