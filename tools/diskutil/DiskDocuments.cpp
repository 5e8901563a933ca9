#include "diskutil/DiskDocuments.h"

namespace tarnwell {

namespace {

const QString apfsPartitionType = QStringLiteral("7C3457EF-0000-11AA-AA11-00306543ECAC");

struct Naming {
    QString code;
    QString content;
};

// Partition types as the macOS tool names them; GUIDs for GPT, type codes for MBR.
const QList<Naming> partitionTypes = {
    {apfsPartitionType, QStringLiteral("Apple_APFS")},
    {QStringLiteral("48465300-0000-11AA-AA11-00306543ECAC"), QStringLiteral("Apple_HFS")},
    {QStringLiteral("C12A7328-F81F-11D2-BA4B-00A0C93EC93B"), QStringLiteral("EFI")},
    {QStringLiteral("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"), QStringLiteral("Microsoft Basic Data")},
    {QStringLiteral("0FC63DAF-8483-4772-8E79-3D69D8477DE4"), QStringLiteral("Linux Filesystem")},
    {QStringLiteral("0x7"), QStringLiteral("Windows_NTFS")},
    {QStringLiteral("0xb"), QStringLiteral("DOS_FAT_32")},
    {QStringLiteral("0xc"), QStringLiteral("Windows_FAT_32")},
    {QStringLiteral("0xe"), QStringLiteral("Windows_FAT_16")},
    {QStringLiteral("0x83"), QStringLiteral("Linux")},
    {QStringLiteral("0xaf"), QStringLiteral("Apple_HFS")},
    {QStringLiteral("0xef"), QStringLiteral("EFI")},
};

void insert(PropertyList::Dictionary& dictionary, const char* key, PropertyList value) {
    dictionary.emplace_back(QString::fromLatin1(key), std::move(value));
}

PropertyList listEntry(const BlockDeviceTable& table, const BlockDevice& device, QStringList& allDisks,
                       QStringList& volumes) {
    allDisks.append(device.name);
    PropertyList::Dictionary entry;
    insert(entry, "Content", DiskDocuments::content(device));
    insert(entry, "DeviceIdentifier", device.name);
    if (const auto mountPoint = device.mountPoint()) {
        insert(entry, "MountPoint", *mountPoint);
    }
    insert(entry, "OSInternal", false);
    PropertyList::Array partitions;
    for (const QString& childName : device.children) {
        if (const BlockDevice* child = table.device(childName)) {
            partitions.push_back(listEntry(table, *child, allDisks, volumes));
        }
    }
    if (device.isWholeDisk() || !partitions.empty()) {
        insert(entry, "Partitions", std::move(partitions));
    }
    insert(entry, "Size", device.size);
    if (device.fileSystemType) {
        const QString name = DiskDocuments::volumeName(device);
        insert(entry, "VolumeName", name);
        volumes.append(name);
    }
    if (device.uuid) {
        insert(entry, "VolumeUUID", *device.uuid);
    }
    return PropertyList(std::move(entry));
}

PropertyList textArray(const QStringList& texts) {
    PropertyList::Array array;
    for (const QString& text : texts) {
        array.emplace_back(text);
    }
    return PropertyList(std::move(array));
}

} // namespace

PropertyList DiskDocuments::info(const BlockDeviceTable& table, const BlockDevice& device) {
    const BlockDevice& disk = table.wholeDisk(device);
    PropertyList::Dictionary document;
    // Keys in the macOS tool's alphabetical order.
    insert(document, "BusProtocol", table.busProtocol(device));
    insert(document, "Content", content(device));
    insert(document, "DeviceIdentifier", device.name);
    insert(document, "DeviceNode", device.path);
    if (device.fileSystemType) {
        insert(document, "FilesystemName", filesystemName(*device.fileSystemType, device.fileSystemVersion));
        insert(document, "FilesystemType", filesystemType(*device.fileSystemType));
    }
    insert(document, "Internal", !table.isExternal(device));
    insert(document, "MountPoint", device.mountPoint().value_or(QString()));
    insert(document, "ParentWholeDisk", disk.name);
    insert(document, "Removable", disk.removable || device.removable);
    insert(document, "Size", device.size);
    insert(document, "VirtualOrPhysical",
           table.isPhysical(device) ? QStringLiteral("Physical") : QStringLiteral("Virtual"));
    insert(document, "VolumeName", volumeName(device));
    if (device.uuid) {
        insert(document, "VolumeUUID", *device.uuid);
    }
    insert(document, "WholeDisk", device.isWholeDisk());
    return PropertyList(std::move(document));
}

PropertyList DiskDocuments::externalPhysicalList(const BlockDeviceTable& table) {
    QStringList allDisks;
    QStringList volumes;
    QStringList wholeDisks;
    PropertyList::Array entries;
    for (const BlockDevice& device : table.devices()) {
        if (device.isWholeDisk() && table.isPhysical(device) && table.isExternal(device)) {
            wholeDisks.append(device.name);
            entries.push_back(listEntry(table, device, allDisks, volumes));
        }
    }
    PropertyList::Dictionary document;
    insert(document, "AllDisks", textArray(allDisks));
    insert(document, "AllDisksAndPartitions", PropertyList(std::move(entries)));
    insert(document, "VolumesFromDisks", textArray(volumes));
    insert(document, "WholeDisks", textArray(wholeDisks));
    return PropertyList(std::move(document));
}

PropertyList DiskDocuments::emptyApfsList() {
    PropertyList::Dictionary document;
    insert(document, "Containers", PropertyList(PropertyList::Array{}));
    return PropertyList(std::move(document));
}

QString DiskDocuments::volumeName(const BlockDevice& device) {
    if (!device.fileSystemType) {
        return QString();
    }
    return device.label ? *device.label : QStringLiteral("Untitled");
}

QString DiskDocuments::filesystemName(const QString& type, const std::optional<QString>& version) {
    if (type == QLatin1String("vfat")) {
        // libblkid reports the FAT width as the version: FAT12, FAT16 or FAT32.
        return version && version->startsWith(QLatin1String("FAT")) ? QStringLiteral("MS-DOS ") + *version
                                                                    : QStringLiteral("MS-DOS");
    }
    static const QList<std::pair<QString, QString>> names = {
        {QStringLiteral("exfat"), QStringLiteral("ExFAT")},
        {QStringLiteral("ntfs"), QStringLiteral("NTFS")},
        {QStringLiteral("ntfs3"), QStringLiteral("NTFS")},
        {QStringLiteral("apfs"), QStringLiteral("APFS")},
        {QStringLiteral("hfsplus"), QStringLiteral("Mac OS Extended")},
        {QStringLiteral("hfs"), QStringLiteral("Mac OS Standard")},
        {QStringLiteral("iso9660"), QStringLiteral("ISO 9660")},
        {QStringLiteral("udf"), QStringLiteral("UDF")},
    };
    for (const auto& [candidate, name] : names) {
        if (candidate == type) {
            return name;
        }
    }
    return type;
}

QString DiskDocuments::filesystemType(const QString& type) {
    static const QList<std::pair<QString, QString>> types = {
        {QStringLiteral("vfat"), QStringLiteral("msdos")},
        {QStringLiteral("ntfs3"), QStringLiteral("ntfs")},
        {QStringLiteral("hfsplus"), QStringLiteral("hfs")},
        {QStringLiteral("iso9660"), QStringLiteral("cd9660")},
    };
    for (const auto& [candidate, word] : types) {
        if (candidate == type) {
            return word;
        }
    }
    return type;
}

QString DiskDocuments::content(const BlockDevice& device) {
    if (device.fileSystemType == QLatin1String("apfs")) {
        return QStringLiteral("Apple_APFS");
    }
    if (!device.partitionType.isEmpty()) {
        for (const Naming& naming : partitionTypes) {
            if (naming.code.compare(device.partitionType, Qt::CaseInsensitive) == 0) {
                return naming.content;
            }
        }
        return device.partitionType.toUpper();
    }
    if (device.partitionTableType == QLatin1String("gpt")) {
        return QStringLiteral("GUID_partition_scheme");
    }
    if (device.partitionTableType == QLatin1String("dos")) {
        return QStringLiteral("FDisk_partition_scheme");
    }
    return device.partitionTableType;
}

} // namespace tarnwell
