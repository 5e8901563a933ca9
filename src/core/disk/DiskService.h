#pragma once

#include "core/disk/DiskServicing.h"
#include "core/disk/ShellRunning.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <stop_token>

namespace tarnwell {

// The front end to the disk tool. Every command runs through the shell runner and every output is
// read by DiskutilParser; it never forces an unmount. Operations keep their own reference to the
// service's settings, so one still in flight is unaffected when the service goes away.
class DiskService : public DiskServicing {
public:
    // The mount paths of all mounted file systems, in a stable order.
    using MountedVolumeLocations = std::function<QStringList()>;

    // The disk tool, or on Linux its stand-in beside the running executable.
    static QString defaultDiskutilPath();
    static MountedVolumeLocations defaultMountedVolumeLocations();
    // Where removable volumes are mounted; only volumes below one of these are listed.
    static QStringList defaultRemovableVolumeRoots();

    explicit DiskService(QString diskutilPath = defaultDiskutilPath(),
                         std::shared_ptr<ShellRunning> shell = nullptr,
                         MountedVolumeLocations mountedVolumeLocations = defaultMountedVolumeLocations(),
                         QStringList removableVolumeRoots = defaultRemovableVolumeRoots());

    const QString& diskutilPath() const;

    QCoro::Task<QList<DriveInfo>> listMountedVolumes(bool showAll) override;
    QCoro::Task<DriveInfo> info(QString volumeUUID) override;
    QCoro::Task<bool> isMounted(QString volumeUUID) override;
    QCoro::Task<> mount(QString volumeUUID) override;
    QCoro::Task<> unmountDisk(QString diskIdentifier) override;
    QCoro::Task<> unmountMountPoint(QString mountPoint) override;
    void stop() override;
    bool hasCommandsInFlight() const override;

    // The stop that every command honours and the number of commands running; used on the GUI thread.
    struct Commands {
        std::stop_source stop;
        int inFlight = 0;
    };

    struct Settings {
        QString diskutilPath;
        std::shared_ptr<ShellRunning> shell;
        MountedVolumeLocations mountedVolumeLocations;
        QStringList removableVolumeRoots;
        std::shared_ptr<Commands> commands;
    };

private:
    std::shared_ptr<const Settings> m_settings;
};

} // namespace tarnwell
