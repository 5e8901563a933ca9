#include "core/disk/DiskutilParser.h"

#include "core/model/TarnwellError.h"
#include "core/support/PropertyListReader.h"

#include <algorithm>

namespace tarnwell {

namespace {

PropertyList readDictionary(const QByteArray& data, const char* invalidMessage) {
    PropertyList document = PropertyListReader::read(data);
    if (document.kind() != PropertyList::Kind::Dictionary) {
        throw TarnwellError::unknown(QString::fromLatin1(invalidMessage));
    }
    return document;
}

// An array whose every element is a dictionary; anything else counts as absent.
const PropertyList::Array* dictionaryArray(const PropertyList& node, const QString& key) {
    const PropertyList::Array* array = node.array(key);
    if (!array) {
        return nullptr;
    }
    const bool allDictionaries = std::all_of(array->begin(), array->end(), [](const PropertyList& element) {
        return element.kind() == PropertyList::Kind::Dictionary;
    });
    return allDictionaries ? array : nullptr;
}

bool hasRoles(const PropertyList& volume) {
    const PropertyList::Array* roles = volume.array(QStringLiteral("Roles"));
    if (!roles || roles->empty()) {
        return false;
    }
    return std::all_of(roles->begin(), roles->end(),
                       [](const PropertyList& role) { return role.kind() == PropertyList::Kind::String; });
}

// A disk image is never external, whatever else the tool says about it.
bool isExternalDevice(const PropertyList& document) {
    const std::optional<bool> internal = document.boolean(QStringLiteral("Internal"));
    return internal == false &&
           document.string(QStringLiteral("BusProtocol")) != QStringLiteral("Disk Image");
}

void collectPhysicalStores(const PropertyList& entry, QStringList& identifiers) {
    if (entry.string(QStringLiteral("Content")) == QStringLiteral("Apple_APFS")) {
        if (const auto identifier = entry.string(QStringLiteral("DeviceIdentifier"));
            identifier && !identifiers.contains(*identifier)) {
            identifiers.append(*identifier);
        }
    }
    if (const PropertyList::Array* partitions = dictionaryArray(entry, QStringLiteral("Partitions"))) {
        for (const PropertyList& partition : *partitions) {
            collectPhysicalStores(partition, identifiers);
        }
    }
}

} // namespace

DriveInfo DiskutilParser::parseInfoPlist(const QByteArray& data) {
    const PropertyList document = readDictionary(data, "Invalid diskutil plist");
    const auto volumeName = document.string(QStringLiteral("VolumeName"));
    const auto volumeUUID = document.string(QStringLiteral("VolumeUUID"));
    if (!volumeName || !volumeUUID) {
        throw TarnwellError::unknown(QStringLiteral("Missing required diskutil plist fields"));
    }
    DriveInfo info;
    info.volumeName = *volumeName;
    info.volumeUUID = *volumeUUID;
    info.diskIdentifier = document.string(QStringLiteral("DeviceIdentifier"));
    info.fileSystem = document.string(QStringLiteral("FilesystemName"));
    info.mountPoint = document.string(QStringLiteral("MountPoint"));
    if (info.mountPoint && info.mountPoint->isEmpty()) {
        info.mountPoint.reset();
    }
    info.busProtocol = document.string(QStringLiteral("BusProtocol"));
    info.isExternal = isExternalDevice(document);
    info.isMounted = info.mountPoint.has_value();
    return info;
}

DiskIdentity DiskutilParser::parseDiskIdentityPlist(const QByteArray& data) {
    const PropertyList document = readDictionary(data, "Invalid diskutil identity plist");
    DiskIdentity identity;
    identity.diskIdentifier = document.string(QStringLiteral("DeviceIdentifier"));
    identity.apfsContainerIdentifier = document.string(QStringLiteral("APFSContainerReference"));
    identity.busProtocol = document.string(QStringLiteral("BusProtocol"));
    identity.isExternal = isExternalDevice(document);
    return identity;
}

QStringList DiskutilParser::parseExternalAPFSPhysicalStoreIdentifiers(const QByteArray& data) {
    const PropertyList document = readDictionary(data, "Invalid diskutil external physical list plist");
    const PropertyList::Array* disks = dictionaryArray(document, QStringLiteral("AllDisksAndPartitions"));
    if (!disks) {
        throw TarnwellError::unknown(QStringLiteral("Missing diskutil external physical partitions"));
    }
    QStringList identifiers;
    for (const PropertyList& disk : *disks) {
        collectPhysicalStores(disk, identifiers);
    }
    return identifiers;
}

QList<APFSVolumeRecord> DiskutilParser::parseAPFSVolumes(const QByteArray& data) {
    const PropertyList document = readDictionary(data, "Invalid diskutil apfs plist");
    const PropertyList::Array* containers = dictionaryArray(document, QStringLiteral("Containers"));
    if (!containers) {
        throw TarnwellError::unknown(QStringLiteral("Missing diskutil apfs containers"));
    }
    QList<APFSVolumeRecord> records;
    for (const PropertyList& container : *containers) {
        const auto containerIdentifier = container.string(QStringLiteral("ContainerReference"));
        const PropertyList::Array* volumes = dictionaryArray(container, QStringLiteral("Volumes"));
        if (!volumes) {
            continue;
        }
        for (const PropertyList& volume : *volumes) {
            const auto deviceIdentifier = volume.string(QStringLiteral("DeviceIdentifier"));
            const auto name = volume.string(QStringLiteral("Name"));
            const auto uuid = volume.string(QStringLiteral("APFSVolumeUUID"));
            if (!deviceIdentifier || !name || !uuid || hasRoles(volume)) {
                continue;
            }
            records.append(APFSVolumeRecord{*deviceIdentifier, *name, *uuid, containerIdentifier});
        }
    }
    return records;
}

} // namespace tarnwell
