#pragma once

#include "core/support/PropertyList.h"
#include "diskutil/BlockDeviceTable.h"

namespace tarnwell {

// The property-list documents the disk tool prints, built from the block-device table with the
// keys and value words the macOS tool uses, so one parser reads both.
class DiskDocuments {
public:
    // `info -plist TARGET`.
    static PropertyList info(const BlockDeviceTable& table, const BlockDevice& device);
    // `list -plist external physical`: the external hardware disks with their partitions.
    static PropertyList externalPhysicalList(const BlockDeviceTable& table);
    // `apfs list CONTAINER -plist`: Linux has no APFS containers to enumerate.
    static PropertyList emptyApfsList();

    // The label, "Untitled" for a file system without one, "" for a device without a file system.
    static QString volumeName(const BlockDevice& device);
    // "ext4", "MS-DOS FAT32", "ExFAT", ...: the name shown to users.
    static QString filesystemName(const QString& type, const std::optional<QString>& version);
    // "ext4", "msdos", "exfat", ...: the short type word.
    static QString filesystemType(const QString& type);
    // The partition scheme of a disk or the type of a partition; "Apple_APFS" for an APFS store.
    static QString content(const BlockDevice& device);
};

} // namespace tarnwell
