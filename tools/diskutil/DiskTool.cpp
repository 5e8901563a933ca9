#include "diskutil/DiskTool.h"

#include "core/support/DecodingError.h"
#include "core/support/PlatformError.h"
#include "core/support/PropertyListWriter.h"
#include "diskutil/DiskDocuments.h"
#include "diskutil/MountPointNaming.h"
#include "diskutil/UDisksService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell {

namespace {

const QString usage = QStringLiteral("Usage: tarnwell-diskutil info -plist TARGET\n"
                                     "       tarnwell-diskutil list -plist external physical\n"
                                     "       tarnwell-diskutil apfs list [CONTAINER] -plist\n"
                                     "       tarnwell-diskutil mount TARGET\n"
                                     "       tarnwell-diskutil unmount TARGET\n");

QByteArray line(const QString& text) {
    return text.toUtf8() + '\n';
}

CommandResult success(const QString& message) {
    return {0, line(message), {}};
}

CommandResult failure(const QString& message) {
    return {1, {}, line(message)};
}

// "Volume NAME on DEVICE", or "Volume on DEVICE" when there is no file system to name.
QString volumeText(const BlockDevice& device) {
    const QString name = DiskDocuments::volumeName(device);
    return name.isEmpty() ? QStringLiteral("Volume on %1").arg(device.name)
                          : QStringLiteral("Volume %1 on %2").arg(name, device.name);
}

// The first line a failed program wrote, without its own name in front.
QString reason(const CommandResult& result) {
    QString text = QString::fromUtf8(result.error).trimmed();
    if (text.isEmpty()) {
        text = QString::fromUtf8(result.output).trimmed();
    }
    text = text.section(QLatin1Char('\n'), 0, 0);
    return text.isEmpty() ? QStringLiteral("exit code %1").arg(result.exitCode) : text;
}

bool isBusy(const CommandResult& result) {
    return result.error.contains("busy") || result.error.contains("DeviceBusy") ||
           result.output.contains("busy");
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

DiskTool::DiskTool(DiskToolServices services)
    : m_services(std::move(services)) {
}

CommandResult DiskTool::run(const QStringList& arguments) {
    try {
        const QString command = arguments.value(0);
        if (command == QLatin1String("info") && arguments.size() == 3 &&
            arguments.at(1) == QLatin1String("-plist")) {
            return info(arguments.at(2));
        }
        if (command == QLatin1String("list") &&
            arguments.mid(1) == QStringList{QStringLiteral("-plist"), QStringLiteral("external"),
                                            QStringLiteral("physical")}) {
            return externalPhysicalList();
        }
        if (command == QLatin1String("apfs") && arguments.value(1) == QLatin1String("list") &&
            arguments.mid(2).contains(QStringLiteral("-plist")) && arguments.size() <= 4) {
            return {0, PropertyListWriter::write(DiskDocuments::emptyApfsList()), {}};
        }
        if (command == QLatin1String("mount") && arguments.size() == 2) {
            return mount(arguments.at(1));
        }
        if (command == QLatin1String("unmount") && arguments.size() == 2) {
            return unmount(arguments.at(1));
        }
        return {1, {}, usage.toUtf8()};
    } catch (const PlatformError& error) {
        return failure(error.message());
    } catch (const DecodingError& error) {
        return failure(error.userMessage());
    }
}

BlockDeviceTable DiskTool::loadTable() {
    const CommandResult result = m_services.commands->run(
        QStringLiteral("lsblk"),
        {QStringLiteral("--json"), QStringLiteral("--bytes"), QStringLiteral("--output"),
         BlockDeviceTable::lsblkColumns.join(QLatin1Char(','))});
    if (result.exitCode != 0) {
        throw PlatformError(QStringLiteral("lsblk failed: %1").arg(reason(result)));
    }
    BlockDeviceTable table = BlockDeviceTable::fromLsblkJson(result.output);
    table.useMounts(MountTable::parse(m_services.mountInfo()));
    return table;
}

std::optional<BlockDevice> DiskTool::resolve(BlockDeviceTable& table, const QString& target) {
    const BlockDevice* found = nullptr;
    if (BlockDeviceTable::looksLikePath(target)) {
        found = table.resolvePathTarget(target);
    } else {
        found = table.resolveDeviceTarget(target);
    }
    if (found == nullptr) {
        found = table.resolveUuidTarget(target);
    }
    if (found == nullptr && !BlockDeviceTable::looksLikePath(target) && table.hasMissingIdentities()) {
        // The udev database does not know every device: read the superblocks themselves.
        table.probeMissingIdentities(*m_services.probe);
        found = table.resolveUuidTarget(target);
    }
    if (found == nullptr) {
        return std::nullopt;
    }
    const QString name = found->name;
    table.probeMissingIdentity(name, *m_services.probe);
    return *table.device(name);
}

CommandResult DiskTool::info(const QString& target) {
    BlockDeviceTable table = loadTable();
    const auto device = resolve(table, target);
    if (!device) {
        return failure(QStringLiteral("Could not find disk: %1").arg(target));
    }
    return {0, PropertyListWriter::write(DiskDocuments::info(table, *device)), {}};
}

CommandResult DiskTool::externalPhysicalList() {
    BlockDeviceTable table = loadTable();
    table.probeMissingIdentities(*m_services.probe);
    return {0, PropertyListWriter::write(DiskDocuments::externalPhysicalList(table)), {}};
}

CommandResult DiskTool::mount(const QString& target) {
    BlockDeviceTable table = loadTable();
    const auto device = resolve(table, target);
    if (!device) {
        return failure(QStringLiteral("Could not find disk: %1").arg(target));
    }
    const QString volume = volumeText(*device);
    if (const auto mountPoint = device->mountPoint()) {
        return success(QStringLiteral("%1 is already mounted at %2").arg(volume, *mountPoint));
    }
    if (!device->fileSystemType) {
        return failure(QStringLiteral("%1 failed to mount: no file system was found on it").arg(volume));
    }
    if (m_services.udisksAnswers && m_services.udisksAnswers()) {
        const CommandResult result = m_services.commands->run(
            QStringLiteral("udisksctl"), {QStringLiteral("mount"), QStringLiteral("--block-device"),
                                          device->path, QStringLiteral("--no-user-interaction")});
        if (result.exitCode != 0) {
            return failure(QStringLiteral("%1 failed to mount: %2")
                               .arg(volume, UDisksService::failureReason(result, QStringLiteral("mount"))
                                                .value_or(reason(result))));
        }
        return success(QStringLiteral("%1 mounted").arg(volume));
    }
    if (!m_services.isRoot) {
        return failure(
            QStringLiteral("%1 failed to mount: mounting needs the UDisks2 service or root privileges")
                .arg(volume));
    }
    const QString directory =
        MountPointNaming::createDirectory(m_services.mediaRoot, DiskDocuments::volumeName(*device));
    // Devices that users plug in must not bring set-user-ID programs or device nodes with them.
    const CommandResult result = m_services.commands->run(
        QStringLiteral("mount"),
        {QStringLiteral("-o"), QStringLiteral("nosuid,nodev"), device->path, directory});
    if (result.exitCode != 0) {
        ::rmdir(QFile::encodeName(directory).constData());
        return failure(QStringLiteral("%1 failed to mount: %2").arg(volume, reason(result)));
    }
    CommandResult mounted = success(QStringLiteral("%1 mounted").arg(volume));
    try {
        m_services.registry.add(directory);
    } catch (const PlatformError& error) {
        // The volume is mounted all the same; only the directory will outlive its unmount.
        mounted.error = line(error.message());
    }
    return mounted;
}

CommandResult DiskTool::unmount(const QString& target) {
    BlockDeviceTable table = loadTable();
    const auto device = resolve(table, target);
    if (!device) {
        return failure(QStringLiteral("Could not find disk: %1").arg(target));
    }
    const QString volume = volumeText(*device);
    if (device->mountPoints.isEmpty()) {
        return failure(QStringLiteral("%1 failed to unmount: not mounted").arg(volume));
    }
    // A mount path names one mount of the device; any other target names all of them.
    QStringList mountPoints = device->mountPoints;
    if (BlockDeviceTable::looksLikePath(target)) {
        const QString canonical = QDir(target).canonicalPath();
        if (mountPoints.contains(canonical)) {
            mountPoints = {canonical};
        }
    }
    if (m_services.udisksAnswers && m_services.udisksAnswers()) {
        const CommandResult result = m_services.commands->run(
            QStringLiteral("udisksctl"), {QStringLiteral("unmount"), QStringLiteral("--block-device"),
                                          device->path, QStringLiteral("--no-user-interaction")});
        if (result.exitCode != 0) {
            return isBusy(result)
                       ? busyFailure(volume, mountPoints)
                       : failure(
                             QStringLiteral("%1 failed to unmount: %2")
                                 .arg(volume, UDisksService::failureReason(result, QStringLiteral("unmount"))
                                                  .value_or(reason(result))));
        }
    } else if (m_services.isRoot) {
        for (const QString& mountPoint : mountPoints) {
            // A mount path that is not valid UTF-8 cannot be named through text; the device node
            // reaches the device's most recent mount instead.
            const QString argument = QFileInfo::exists(mountPoint) ? mountPoint : device->path;
            const CommandResult result = m_services.commands->run(QStringLiteral("umount"), {argument});
            if (result.exitCode != 0) {
                return isBusy(result)
                           ? busyFailure(volume, {mountPoint})
                           : failure(QStringLiteral("%1 failed to unmount: %2").arg(volume, reason(result)));
            }
        }
    } else {
        return failure(
            QStringLiteral("%1 failed to unmount: unmounting needs the UDisks2 service or root privileges")
                .arg(volume));
    }
    QByteArray warnings;
    // Only root mounts in folders of its own making, and only root may read their record: an
    // ordinary user's unmount through UDisks2 is complete here.
    for (const QString& mountPoint : m_services.isRoot ? mountPoints : QStringList()) {
        if (m_services.registry.take(mountPoint) && ::rmdir(QFile::encodeName(mountPoint).constData()) != 0) {
            warnings += line(QStringLiteral("Could not remove %1: %2").arg(mountPoint, systemError()));
        }
    }
    return {0, line(QStringLiteral("%1 unmounted").arg(volume)), warnings};
}

CommandResult DiskTool::busyFailure(const QString& volume, const QStringList& mountPoints) {
    QString message = QStringLiteral("%1 failed to unmount: target is busy").arg(volume);
    QList<qint64> reported;
    for (const QString& mountPoint : mountPoints) {
        struct stat status {};
        if (::stat(QFile::encodeName(mountPoint).constData(), &status) != 0) {
            continue;
        }
        for (const MountHolder& holder : m_services.findHolders(status.st_dev)) {
            if (!reported.contains(holder.pid)) {
                reported.append(holder.pid);
                message += QStringLiteral("\ndissented by PID %1 (%2)").arg(holder.pid).arg(holder.command);
            }
        }
    }
    return failure(message);
}

} // namespace tarnwell
