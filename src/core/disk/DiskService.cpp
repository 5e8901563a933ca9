#include "core/disk/DiskService.h"

#include "core/disk/DiskutilParser.h"
#include "core/disk/MountTable.h"
#include "core/disk/ShellRunner.h"
#include "core/model/TarnwellError.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>

namespace tarnwell {

namespace {

using Settings = DiskService::Settings;
using SettingsPointer = std::shared_ptr<const Settings>;

enum class CommandKind { Reading, Mount, Unmount };

const QString diskImageBus = QStringLiteral("Disk Image");

// Everything the tool said, so that the user can see why it refused.
QString failureMessage(const QString& diskutilPath, const QStringList& arguments, const ShellResult& result) {
    return QStringLiteral("Command failed: ") + diskutilPath + QLatin1Char(' ') +
           arguments.join(QLatin1Char(' ')) + QStringLiteral("\nExit code: ") +
           QString::number(result.exitCode) + QStringLiteral("\nStdout: ") + result.output +
           QStringLiteral("\nStderr: ") + result.error;
}

[[noreturn]] void throwFailure(const QString& diskutilPath, const QStringList& arguments,
                               const ShellResult& result, CommandKind kind) {
    const QString message = failureMessage(diskutilPath, arguments, result);
    switch (kind) {
    case CommandKind::Reading:
        throw TarnwellError::commandFailed(result.exitCode, message);
    case CommandKind::Mount:
        throw TarnwellError::mountFailed(message);
    case CommandKind::Unmount:
        throw TarnwellError::unmountFailed(message);
    }
    throw TarnwellError::unknown(message);
}

QStringList infoArguments(const QString& target) {
    return {QStringLiteral("info"), QStringLiteral("-plist"), target};
}

QStringList externalPhysicalListArguments() {
    return {QStringLiteral("list"), QStringLiteral("-plist"), QStringLiteral("external"),
            QStringLiteral("physical")};
}

QStringList apfsListArguments(const QString& container) {
    return {QStringLiteral("apfs"), QStringLiteral("list"), container, QStringLiteral("-plist")};
}

// Runs the disk tool and turns a non-zero exit into the error of the command's kind. (String
// literals stay out of the coroutines below: g++ 12 miscompiles them inside coroutine bodies.)
// Counts a command as running for as long as its frame lives, whatever way it ends.
class CommandInFlight {
public:
    explicit CommandInFlight(std::shared_ptr<DiskService::Commands> commands)
        : m_commands(std::move(commands)) {
        ++m_commands->inFlight;
    }
    ~CommandInFlight() { --m_commands->inFlight; }
    CommandInFlight(const CommandInFlight&) = delete;
    CommandInFlight& operator=(const CommandInFlight&) = delete;

private:
    std::shared_ptr<DiskService::Commands> m_commands;
};

QCoro::Task<QByteArray> runDiskutil(SettingsPointer settings, QStringList arguments, CommandKind kind) {
    const CommandInFlight inFlight(settings->commands);
    const ShellResult result = co_await settings->shell->run(settings->diskutilPath, arguments,
                                                             settings->commands->stop.get_token());
    if (result.exitCode != 0) {
        throwFailure(settings->diskutilPath, arguments, result, kind);
    }
    co_return result.output.toUtf8();
}

QCoro::Task<DriveInfo> readInfo(SettingsPointer settings, QString target) {
    const QByteArray output = co_await runDiskutil(settings, infoArguments(target), CommandKind::Reading);
    co_return DiskutilParser::parseInfoPlist(output);
}

QCoro::Task<DiskIdentity> readIdentity(SettingsPointer settings, QString target) {
    const QByteArray output = co_await runDiskutil(settings, infoArguments(target), CommandKind::Reading);
    co_return DiskutilParser::parseDiskIdentityPlist(output);
}

// The user volumes of every external APFS container; a failure of one store or container only
// drops that store's or container's volumes.
QCoro::Task<QList<APFSVolumeRecord>> readExternalAPFSVolumes(SettingsPointer settings) {
    const QByteArray listing =
        co_await runDiskutil(settings, externalPhysicalListArguments(), CommandKind::Reading);
    const QStringList stores = DiskutilParser::parseExternalAPFSPhysicalStoreIdentifiers(listing);
    QList<APFSVolumeRecord> records;
    for (const QString& store : stores) {
        DiskIdentity identity;
        try {
            identity = co_await readIdentity(settings, store);
        } catch (...) {
            continue;
        }
        if (!identity.isExternal || !identity.apfsContainerIdentifier) {
            continue;
        }
        try {
            const QByteArray volumes = co_await runDiskutil(
                settings, apfsListArguments(*identity.apfsContainerIdentifier), CommandKind::Reading);
            records.append(DiskutilParser::parseAPFSVolumes(volumes));
        } catch (...) {
            continue;
        }
    }
    co_return records;
}

bool isRemovableVolumeLocation(const QString& path, const QStringList& roots) {
    return std::any_of(roots.begin(), roots.end(), [&path](const QString& root) {
        return path.startsWith(root) && path.size() > root.size() &&
               !path.startsWith(root + QStringLiteral(".timemachine/"));
    });
}

// The runtime volumes that development tools install for their device simulators.
bool isSimulatorVolume(const QString& name) {
    static const QStringList prefixes = {QStringLiteral("ios "), QStringLiteral("watchos "),
                                         QStringLiteral("tvos "), QStringLiteral("appletvos "),
                                         QStringLiteral("visionos ")};
    const QString lowered = name.toLower();
    return lowered.endsWith(QStringLiteral(" simulator")) &&
           std::any_of(prefixes.begin(), prefixes.end(),
                       [&lowered](const QString& prefix) { return lowered.startsWith(prefix); });
}

// An unmounted APFS volume described from its container, without asking the tool about the volume.
DriveInfo unmountedAPFSVolume(const APFSVolumeRecord& record, const DiskIdentity& container) {
    return DriveInfo{
        record.volumeName, record.volumeUUID,     record.deviceIdentifier, QStringLiteral("APFS"),
        std::nullopt,      container.busProtocol, container.isExternal,    false};
}

QCoro::Task<QList<DriveInfo>> listVolumes(SettingsPointer settings, bool showAll) {
    QList<APFSVolumeRecord> apfsVolumes;
    try {
        apfsVolumes = co_await readExternalAPFSVolumes(settings);
    } catch (...) {
        // Without the APFS listing the mounted volumes are still worth showing.
        apfsVolumes.clear();
    }

    QStringList mountedTargets;
    for (const QString& location : settings->mountedVolumeLocations()) {
        if (isRemovableVolumeLocation(location, settings->removableVolumeRoots)) {
            mountedTargets.append(location);
        }
    }

    QList<DriveInfo> drives;
    QSet<QString> seenMounted;
    for (const QString& target : mountedTargets) {
        DriveInfo drive;
        try {
            drive = co_await readInfo(settings, target);
        } catch (...) {
            continue;
        }
        if (seenMounted.contains(drive.volumeUUID)) {
            continue;
        }
        seenMounted.insert(drive.volumeUUID);
        if ((!showAll && !drive.isExternal) || drive.busProtocol == diskImageBus) {
            continue;
        }
        drives.append(drive);
    }

    QSet<QString> seen;
    for (const DriveInfo& drive : drives) {
        seen.insert(drive.volumeUUID);
    }
    for (const APFSVolumeRecord& record : apfsVolumes) {
        if (seen.contains(record.volumeUUID) || isSimulatorVolume(record.volumeName)) {
            continue;
        }
        std::optional<DriveInfo> drive;
        if (record.containerIdentifier) {
            try {
                const DiskIdentity container = co_await readIdentity(settings, *record.containerIdentifier);
                drive = unmountedAPFSVolume(record, container);
            } catch (...) {
                drive.reset();
            }
        }
        if (!drive) {
            try {
                drive = co_await readInfo(settings, record.deviceIdentifier);
            } catch (...) {
                continue;
            }
        }
        if (seen.contains(drive->volumeUUID)) {
            continue;
        }
        seen.insert(drive->volumeUUID);
        if ((showAll || drive->isExternal) && drive->busProtocol != diskImageBus) {
            drives.append(*drive);
        }
    }
    co_return drives;
}

QCoro::Task<bool> readIsMounted(SettingsPointer settings, QString volumeUUID) {
    try {
        const DriveInfo drive = co_await readInfo(settings, volumeUUID);
        co_return drive.isMounted;
    } catch (...) {
        co_return false;
    }
}

QCoro::Task<> runAction(SettingsPointer settings, QStringList arguments, CommandKind kind) {
    co_await runDiskutil(settings, arguments, kind);
}

} // namespace

QString DiskService::defaultDiskutilPath() {
#ifdef Q_OS_MACOS
    return QStringLiteral("/usr/sbin/diskutil");
#else
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tarnwell-diskutil"));
#endif
}

DiskService::MountedVolumeLocations DiskService::defaultMountedVolumeLocations() {
    return [] { return MountTable::mountPoints(); };
}

QStringList DiskService::defaultRemovableVolumeRoots() {
#ifdef Q_OS_MACOS
    return {QStringLiteral("/Volumes/")};
#else
    return {QStringLiteral("/media/"), QStringLiteral("/run/media/"), QStringLiteral("/mnt/")};
#endif
}

DiskService::DiskService(QString diskutilPath, std::shared_ptr<ShellRunning> shell,
                         MountedVolumeLocations mountedVolumeLocations, QStringList removableVolumeRoots)
    : m_settings(std::make_shared<const Settings>(Settings{
          std::move(diskutilPath), shell ? std::move(shell) : std::make_shared<ShellRunner>(),
          mountedVolumeLocations ? std::move(mountedVolumeLocations) : defaultMountedVolumeLocations(),
          std::move(removableVolumeRoots), std::make_shared<Commands>()})) {
}

void DiskService::stop() {
    m_settings->commands->stop.request_stop();
}

bool DiskService::hasCommandsInFlight() const {
    return m_settings->commands->inFlight > 0;
}

const QString& DiskService::diskutilPath() const {
    return m_settings->diskutilPath;
}

QCoro::Task<QList<DriveInfo>> DiskService::listMountedVolumes(bool showAll) {
    return listVolumes(m_settings, showAll);
}

QCoro::Task<DriveInfo> DiskService::info(QString volumeUUID) {
    return readInfo(m_settings, std::move(volumeUUID));
}

QCoro::Task<bool> DiskService::isMounted(QString volumeUUID) {
    return readIsMounted(m_settings, std::move(volumeUUID));
}

QCoro::Task<> DiskService::mount(QString volumeUUID) {
    return runAction(m_settings, {QStringLiteral("mount"), volumeUUID}, CommandKind::Mount);
}

QCoro::Task<> DiskService::unmountDisk(QString diskIdentifier) {
    return runAction(m_settings, {QStringLiteral("unmount"), diskIdentifier}, CommandKind::Unmount);
}

QCoro::Task<> DiskService::unmountMountPoint(QString mountPoint) {
    return runAction(m_settings, {QStringLiteral("unmount"), mountPoint}, CommandKind::Unmount);
}

} // namespace tarnwell
