#include "ScriptedDiskService.h"

#include "core/model/TarnwellError.h"

#include <stdexcept>

namespace tarnwell::testing {

QCoro::Task<QList<DriveInfo>> ScriptedDiskService::listMountedVolumes(bool showAll) {
    listings.append(showAll);
    auto pending = std::make_shared<Pending>();
    m_pending.append(pending);
    return awaitListing(std::move(pending));
}

QCoro::Task<QList<DriveInfo>> ScriptedDiskService::awaitListing(std::shared_ptr<Pending> pending) {
    Suspension suspension{pending.get()};
    co_await suspension;
    if (pending->error) {
        std::rethrow_exception(pending->error);
    }
    co_return pending->volumes;
}

std::shared_ptr<ScriptedDiskService::Pending> ScriptedDiskService::take(qsizetype index) {
    if (index < 0 || index >= m_pending.size()) {
        throw std::logic_error("no such pending listing");
    }
    return m_pending.takeAt(index);
}

void ScriptedDiskService::answer(QList<DriveInfo> volumes, qsizetype index) {
    const auto pending = take(index);
    pending->volumes = std::move(volumes);
    pending->caller.resume();
}

void ScriptedDiskService::fail(std::exception_ptr error, qsizetype index) {
    const auto pending = take(index);
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
