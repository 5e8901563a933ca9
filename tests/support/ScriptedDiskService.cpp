#include "support/ScriptedDiskService.h"

#include "core/model/TarnwellError.h"

namespace tarnwell::testing {

QCoro::Task<QList<DriveInfo>> ScriptedDiskService::listMountedVolumes(bool showAll) {
    listings.append(showAll);
    m_pending.append(std::make_shared<Pending>());
    return awaitListing(m_pending.last());
}

QCoro::Task<QList<DriveInfo>> ScriptedDiskService::awaitListing(std::shared_ptr<Pending> pending) {
    co_await Suspension{pending.get()};
    if (pending->error) {
        std::rethrow_exception(pending->error);
    }
    co_return pending->volumes;
}

void ScriptedDiskService::answer(QList<DriveInfo> volumes, qsizetype index) {
    const auto pending = m_pending.takeAt(index);
    pending->volumes = std::move(volumes);
    pending->caller.resume();
}

void ScriptedDiskService::fail(std::exception_ptr error, qsizetype index) {
    const auto pending = m_pending.takeAt(index);
    pending->error = std::move(error);
    pending->caller.resume();
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
