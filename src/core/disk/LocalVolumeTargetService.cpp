#include "core/disk/LocalVolumeTargetService.h"

#include "core/disk/DiskService.h"
#include "core/model/TarnwellError.h"

namespace tarnwell {

namespace {

QCoro::Task<StorageTargetRuntimeStatus> readStatus(std::shared_ptr<DiskServicing> diskService,
                                                   QString volumeUUID) {
    try {
        const DriveInfo drive = co_await diskService->info(volumeUUID);
        co_return drive.isMounted ? StorageTargetRuntimeStatus::mounted()
                                  : StorageTargetRuntimeStatus::notMounted();
    } catch (...) {
        co_return StorageTargetRuntimeStatus::targetNotFound();
    }
}

QCoro::Task<> mountVolume(std::shared_ptr<DiskServicing> diskService, QString volumeUUID) {
    co_await diskService->mount(volumeUUID);
}

// The live identifiers are used, so a disk re-attached under another device number still unmounts.
QCoro::Task<> unmountVolume(std::shared_ptr<DiskServicing> diskService, QString volumeUUID) {
    const DriveInfo drive = co_await diskService->info(volumeUUID);
    if (!drive.isMounted || !drive.mountPoint || drive.mountPoint->isEmpty()) {
        throw TarnwellError::driveNotMounted();
    }
    if (drive.diskIdentifier && !drive.diskIdentifier->isEmpty()) {
        co_await diskService->unmountDisk(*drive.diskIdentifier);
    } else {
        co_await diskService->unmountMountPoint(*drive.mountPoint);
    }
}

} // namespace

LocalVolumeTargetService::LocalVolumeTargetService(std::shared_ptr<DiskServicing> diskService)
    : m_diskService(diskService ? std::move(diskService) : std::make_shared<DiskService>()) {
}

QCoro::Task<StorageTargetRuntimeStatus> LocalVolumeTargetService::status(LocalVolumeTarget target) {
    return readStatus(m_diskService, target.volumeUUID);
}

QCoro::Task<> LocalVolumeTargetService::mount(LocalVolumeTarget target) {
    return mountVolume(m_diskService, target.volumeUUID);
}

QCoro::Task<> LocalVolumeTargetService::unmount(LocalVolumeTarget target) {
    return unmountVolume(m_diskService, target.volumeUUID);
}

} // namespace tarnwell
