#pragma once

#include "diskutil/BlockDeviceTable.h"
#include "diskutil/PlistValue.h"

namespace tarnwell {

// The property-list documents the disk tool prints, built from the block-device table with the
// keys and value words the macOS tool uses, so one parser reads both.
class DiskDocuments {
public:
    // `info -plist TARGET`.
    static PlistValue info(const BlockDeviceTable& table, const BlockDevice& device);
    // `list -plist external physical`: the external hardware disks with their partitions.
    static PlistValue externalPhysicalList(const BlockDeviceTable& table);
    // `apfs list CONTAINER -plist`: Linux has no APFS containers to enumerate.
    static PlistValue emptyApfsList();

    // The label, "Untitled" for a file system without one, "" for a device without a file system.
    static std::string volumeName(const BlockDevice& device);
    // "ext4", "MS-DOS FAT32", "ExFAT", ...: the name shown to users.
    static std::string filesystemName(const std::string& type, const std::optional<std::string>& version);
    // "ext4", "msdos", "exfat", ...: the short type word.
    static std::string filesystemType(const std::string& type);
    // The partition scheme of a disk or the type of a partition; "Apple_APFS" for an APFS store.
    static std::string content(const BlockDevice& device);
};

} // namespace tarnwell
