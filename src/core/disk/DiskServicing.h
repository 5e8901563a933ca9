#pragma once

#include "core/model/DriveInfo.h"

#include <QCoroTask>
#include <QList>
#include <QString>

namespace tarnwell {

// Lists, inspects, mounts and unmounts volumes through the disk tool.
class DiskServicing {
public:
    virtual ~DiskServicing() = default;

    // The volumes a user can bind to rules; internal volumes too when `showAll`. Inner failures
    // only drop the items they concern.
    virtual QCoro::Task<QList<DriveInfo>> listMountedVolumes(bool showAll) = 0;
    virtual QCoro::Task<DriveInfo> info(QString volumeUUID) = 0;
    // Never throws: false when the volume cannot be inspected.
    virtual QCoro::Task<bool> isMounted(QString volumeUUID) = 0;
    virtual QCoro::Task<> mount(QString volumeUUID) = 0;
    // The ordinary unmount of one volume, never forced and never of a whole disk.
    virtual QCoro::Task<> unmountDisk(QString diskIdentifier) = 0;
    virtual QCoro::Task<> unmountMountPoint(QString mountPoint) = 0;

    // Ends every command in flight (the termination signal, then the kill signal) and refuses new
    // ones; the application calls it when it quits. Services without commands of their own ignore it.
    virtual void stop() {}
    // Whether a command is still running, including one that stop() is ending.
    virtual bool hasCommandsInFlight() const { return false; }
};

} // namespace tarnwell
