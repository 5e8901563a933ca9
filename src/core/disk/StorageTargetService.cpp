#include "core/disk/StorageTargetService.h"

#include "core/disk/LocalVolumeTargetService.h"
#include "core/model/TarnwellError.h"

namespace tarnwell {

namespace {

TarnwellError unsupportedShare() {
    return TarnwellError::unsupportedStorageTarget(
        QStringLiteral("SMB targets are not supported in Tarnwell v1.0."));
}

QCoro::Task<StorageTargetRuntimeStatus> targetNotFound() {
    co_return StorageTargetRuntimeStatus::targetNotFound();
}

QCoro::Task<> refuseShare() {
    throw unsupportedShare();
    co_return;
}

} // namespace

StorageTargetService::StorageTargetService(std::shared_ptr<LocalVolumeTargetServicing> localVolumeService)
    : m_localVolumeService(localVolumeService ? std::move(localVolumeService)
                                              : std::make_shared<LocalVolumeTargetService>()) {
}

QCoro::Task<StorageTargetRuntimeStatus> StorageTargetService::status(StorageTarget target) {
    if (const LocalVolumeTarget* volume = target.asLocalVolume()) {
        return m_localVolumeService->status(*volume);
    }
    return targetNotFound();
}

QCoro::Task<> StorageTargetService::mount(StorageTarget target) {
    if (const LocalVolumeTarget* volume = target.asLocalVolume()) {
        return m_localVolumeService->mount(*volume);
    }
    return refuseShare();
}

QCoro::Task<> StorageTargetService::unmount(StorageTarget target) {
    if (const LocalVolumeTarget* volume = target.asLocalVolume()) {
        return m_localVolumeService->unmount(*volume);
    }
    return refuseShare();
}

} // namespace tarnwell
