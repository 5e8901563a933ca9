#include "diskutil/BlockDeviceTable.h"

#include "core/support/DecodingError.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <vector>

namespace tarnwell {

const QStringList BlockDeviceTable::lsblkColumns = {
    QStringLiteral("NAME"), QStringLiteral("KNAME"),    QStringLiteral("PATH"),   QStringLiteral("MAJ:MIN"),
    QStringLiteral("TYPE"), QStringLiteral("FSTYPE"),   QStringLiteral("FSVER"),  QStringLiteral("LABEL"),
    QStringLiteral("UUID"), QStringLiteral("TRAN"),     QStringLiteral("RM"),     QStringLiteral("HOTPLUG"),
    QStringLiteral("SIZE"), QStringLiteral("PARTTYPE"), QStringLiteral("PTTYPE"),
};

namespace {

std::optional<QString> optionalText(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString() || value.toString().isEmpty()) {
        return std::nullopt;
    }
    return value.toString();
}

QString text(const QJsonObject& object, const char* key) {
    return optionalText(object, key).value_or(QString());
}

// Older lsblk versions print flags and sizes as texts ("1", "4096"); newer ones as JSON values.
bool flag(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isBool()) {
        return value.toBool();
    }
    return value.isString() && value.toString() == QLatin1String("1");
}

qint64 number(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isDouble()) {
        return static_cast<qint64>(value.toDouble());
    }
    return value.isString() ? value.toString().toLongLong() : 0;
}

} // namespace

BlockDeviceTable BlockDeviceTable::fromLsblkJson(const QByteArray& json) {
    QJsonParseError error;
    // Labels are bytes that lsblk passes on as they are; text that is not UTF-8 must not cost the
    // whole table, so it is read with replacement characters.
    const QJsonDocument document = QJsonDocument::fromJson(QString::fromUtf8(json).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        throw DecodingError(QStringLiteral("lsblk printed malformed JSON: %1").arg(error.errorString()),
                            QStringLiteral("offset %1").arg(error.offset));
    }
    const QJsonValue devices = document.object().value(QLatin1String("blockdevices"));
    if (!document.isObject() || !devices.isArray()) {
        throw DecodingError(QStringLiteral("lsblk printed no block device list"));
    }
    BlockDeviceTable table;
    for (const QJsonValue& entry : devices.toArray()) {
        if (entry.isObject()) {
            table.add(entry.toObject(), QString());
        }
    }
    return table;
}

void BlockDeviceTable::add(const QJsonObject& object, const QString& parent) {
    BlockDevice device;
    device.name = text(object, "kname");
    if (device.name.isEmpty()) {
        device.name = text(object, "name");
    }
    // A kernel name never holds a slash; one that does could never be named as a target, and it
    // would reach paths such as /dev/NAME.
    if (device.name.isEmpty() || device.name.contains(u'/') || this->device(device.name) != nullptr) {
        return;
    }
    device.path = text(object, "path");
    if (device.path.isEmpty()) {
        device.path = QStringLiteral("/dev/") + device.name;
    }
    device.majorMinor = text(object, "maj:min");
    device.type = text(object, "type");
    device.fileSystemType = optionalText(object, "fstype");
    device.fileSystemVersion = optionalText(object, "fsver");
    device.label = optionalText(object, "label");
    device.uuid = optionalText(object, "uuid");
    device.transport = text(object, "tran");
    device.removable = flag(object, "rm");
    device.hotplug = flag(object, "hotplug");
    device.size = number(object, "size");
    device.partitionType = text(object, "parttype");
    device.partitionTableType = text(object, "pttype");
    device.parent = parent;
    const QString name = device.name;
    m_devices.append(device);
    if (!parent.isEmpty()) {
        for (BlockDevice& candidate : m_devices) {
            if (candidate.name == parent) {
                candidate.children.append(name);
                break;
            }
        }
    }
    for (const QJsonValue& child : object.value(QLatin1String("children")).toArray()) {
        if (child.isObject()) {
            add(child.toObject(), name);
        }
    }
}

void BlockDeviceTable::useMounts(const QList<MountTable::Mount>& mounts) {
    for (BlockDevice& device : m_devices) {
        device.mountPoints.clear();
        for (const MountTable::Mount& mount : mounts) {
            // Btrfs and the like give their mounts numbers of their own; the source still names
            // the device.
            if ((!device.majorMinor.isEmpty() && mount.majorMinor == device.majorMinor) ||
                mount.source == device.path) {
                device.mountPoints.append(mount.mountPoint);
            }
        }
    }
}

const BlockDevice* BlockDeviceTable::device(const QString& name) const {
    for (const BlockDevice& candidate : m_devices) {
        if (candidate.name == name) {
            return &candidate;
        }
    }
    return nullptr;
}

void BlockDeviceTable::probeMissingIdentities(FilesystemProbing& probe) {
    // Each probe mostly waits for its device, so the devices are read side by side.
    QList<qsizetype> indexes;
    for (qsizetype index = 0; index < m_devices.size(); ++index) {
        if (needsProbe(m_devices.at(index))) {
            indexes.append(index);
        }
    }
    std::vector<FilesystemIdentity> identities(static_cast<size_t>(indexes.size()));
    {
        std::vector<std::jthread> readers;
        for (size_t slot = 0; slot < identities.size(); ++slot) {
            const QString path = m_devices.at(indexes.at(static_cast<qsizetype>(slot))).path;
            readers.emplace_back([&probe, &identities, slot, path] { identities[slot] = probe.probe(path); });
        }
    }
    for (size_t slot = 0; slot < identities.size(); ++slot) {
        apply(m_devices[indexes.at(static_cast<qsizetype>(slot))], identities[slot]);
    }
}

void BlockDeviceTable::probeMissingIdentity(const QString& name, FilesystemProbing& probe) {
    for (BlockDevice& candidate : m_devices) {
        if (candidate.name == name && needsProbe(candidate)) {
            apply(candidate, probe.probe(candidate.path));
            return;
        }
    }
}

bool BlockDeviceTable::hasMissingIdentities() const {
    return std::any_of(m_devices.begin(), m_devices.end(), needsProbe);
}

bool BlockDeviceTable::needsProbe(const BlockDevice& device) {
    // A disk that carries a partition table holds no file system of its own, and a device
    // without size has no medium to read.
    return !device.fileSystemType && device.partitionTableType.isEmpty() && device.size > 0;
}

void BlockDeviceTable::apply(BlockDevice& device, const FilesystemIdentity& identity) {
    device.fileSystemType = identity.type;
    device.fileSystemVersion = identity.version;
    device.label = device.label ? device.label : identity.label;
    device.uuid = device.uuid ? device.uuid : identity.uuid;
}

bool BlockDeviceTable::looksLikeDevice(const QString& target) {
    return target.startsWith(QLatin1String("/dev/"));
}

bool BlockDeviceTable::looksLikePath(const QString& target) {
    return target.startsWith(QLatin1Char('/')) && !looksLikeDevice(target);
}

const BlockDevice* BlockDeviceTable::resolveDeviceTarget(const QString& target) const {
    if (!looksLikeDevice(target)) {
        return device(target);
    }
    // Links such as /dev/disk/by-uuid/... or /dev/mapper/name lead to the kernel's node.
    const QString canonical = QFileInfo(target).canonicalFilePath();
    for (const BlockDevice& candidate : m_devices) {
        if (candidate.path == target || QStringLiteral("/dev/") + candidate.name == canonical) {
            return &candidate;
        }
    }
    return nullptr;
}

const BlockDevice* BlockDeviceTable::resolvePathTarget(const QString& target) const {
    const QString canonical = QFileInfo(target).canonicalFilePath();
    if (canonical.isEmpty()) {
        return nullptr;
    }
    // The file system holding a path is the device whose number the path reports.
    struct stat status {};
    if (::stat(QFile::encodeName(canonical).constData(), &status) == 0) {
        const QString number = QStringLiteral("%1:%2").arg(major(status.st_dev)).arg(minor(status.st_dev));
        for (const BlockDevice& candidate : m_devices) {
            if (candidate.majorMinor == number && !candidate.mountPoints.isEmpty()) {
                return &candidate;
            }
        }
    }
    // Some file systems (btrfs subvolumes, for one) report a number of their own: a mount point
    // named exactly still finds its device.
    for (const BlockDevice& candidate : m_devices) {
        if (candidate.mountPoints.contains(canonical)) {
            return &candidate;
        }
    }
    return nullptr;
}

const BlockDevice* BlockDeviceTable::resolveUuidTarget(const QString& target) const {
    for (const BlockDevice& candidate : m_devices) {
        if (candidate.uuid && candidate.uuid->compare(target, Qt::CaseInsensitive) == 0) {
            return &candidate;
        }
    }
    return nullptr;
}

const BlockDevice& BlockDeviceTable::wholeDisk(const BlockDevice& device) const {
    const BlockDevice* current = &device;
    // The tree has no cycles, but a table built from a broken document must not loop forever.
    for (qsizetype step = 0; step < m_devices.size() && !current->isWholeDisk(); ++step) {
        const BlockDevice* parent = this->device(current->parent);
        if (parent == nullptr) {
            break;
        }
        current = parent;
    }
    return *current;
}

bool BlockDeviceTable::isExternal(const BlockDevice& device) const {
    const BlockDevice& disk = wholeDisk(device);
    static const QStringList externalTransports = {QStringLiteral("usb"), QStringLiteral("ieee1394"),
                                                   QStringLiteral("mmc")};
    return externalTransports.contains(disk.transport) || disk.removable || disk.hotplug ||
           device.removable || device.hotplug;
}

QString BlockDeviceTable::busProtocol(const BlockDevice& device) const {
    const BlockDevice& disk = wholeDisk(device);
    if (disk.type == QLatin1String("loop")) {
        return QStringLiteral("Disk Image");
    }
    static const QList<std::pair<QString, QString>> transports = {
        {QStringLiteral("usb"), QStringLiteral("USB")},
        {QStringLiteral("sata"), QStringLiteral("SATA")},
        {QStringLiteral("ata"), QStringLiteral("ATA")},
        {QStringLiteral("nvme"), QStringLiteral("PCI-Express")},
        {QStringLiteral("ieee1394"), QStringLiteral("FireWire")},
        {QStringLiteral("mmc"), QStringLiteral("Secure Digital")},
        {QStringLiteral("sas"), QStringLiteral("SAS")},
        {QStringLiteral("scsi"), QStringLiteral("SCSI")},
        {QStringLiteral("spi"), QStringLiteral("SCSI")},
        {QStringLiteral("fc"), QStringLiteral("Fibre Channel")},
        {QStringLiteral("iscsi"), QStringLiteral("iSCSI")},
        {QStringLiteral("virtio"), QStringLiteral("VirtIO")},
    };
    for (const auto& [transport, protocol] : transports) {
        if (disk.transport == transport) {
            return protocol;
        }
    }
    // Some kernels name no transport for these buses; the device name still tells.
    if (disk.name.startsWith(QLatin1String("nvme"))) {
        return QStringLiteral("PCI-Express");
    }
    if (disk.name.startsWith(QLatin1String("mmcblk"))) {
        return QStringLiteral("Secure Digital");
    }
    if (disk.name.startsWith(QLatin1String("vd"))) {
        return QStringLiteral("VirtIO");
    }
    return disk.transport.isEmpty() ? QStringLiteral("Unknown") : disk.transport.toUpper();
}

bool BlockDeviceTable::isPhysical(const BlockDevice& device) const {
    const BlockDevice& disk = wholeDisk(device);
    const bool hardwareType = disk.type == QLatin1String("disk") || disk.type == QLatin1String("rom");
    return hardwareType && !disk.name.startsWith(QLatin1String("zram")) &&
           !disk.name.startsWith(QLatin1String("ram"));
}

} // namespace tarnwell
