#include "diskutil/DiskDocuments.h"

#include <algorithm>
#include <utility>

namespace tarnwell {

namespace {

using Naming = std::pair<const char*, const char*>;

// Partition types as the macOS tool names them; GUIDs for GPT, type codes for MBR.
const Naming partitionTypes[] = {
    {"7C3457EF-0000-11AA-AA11-00306543ECAC", "Apple_APFS"},
    {"48465300-0000-11AA-AA11-00306543ECAC", "Apple_HFS"},
    {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI"},
    {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Microsoft Basic Data"},
    {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux Filesystem"},
    {"0x7", "Windows_NTFS"},
    {"0xb", "DOS_FAT_32"},
    {"0xc", "Windows_FAT_32"},
    {"0xe", "Windows_FAT_16"},
    {"0x83", "Linux"},
    {"0xaf", "Apple_HFS"},
    {"0xef", "EFI"},
};

char upper(char character) {
    return character >= 'a' && character <= 'z' ? static_cast<char>(character - 'a' + 'A') : character;
}

std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), upper);
    return text;
}

void insert(PlistValue::Dictionary& dictionary, const char* key, PlistValue value) {
    dictionary.emplace_back(key, std::move(value));
}

PlistValue listEntry(const BlockDeviceTable& table, const BlockDevice& device, PlistValue::Array& allDisks,
                     PlistValue::Array& volumes) {
    allDisks.emplace_back(device.name);
    PlistValue::Dictionary entry;
    insert(entry, "Content", DiskDocuments::content(device));
    insert(entry, "DeviceIdentifier", device.name);
    if (const auto mountPoint = device.mountPoint()) {
        insert(entry, "MountPoint", *mountPoint);
    }
    insert(entry, "OSInternal", false);
    PlistValue::Array partitions;
    for (const std::string& childName : device.children) {
        if (const BlockDevice* child = table.device(childName)) {
            partitions.push_back(listEntry(table, *child, allDisks, volumes));
        }
    }
    if (device.isWholeDisk() || !partitions.empty()) {
        insert(entry, "Partitions", std::move(partitions));
    }
    insert(entry, "Size", device.size);
    if (device.fileSystemType) {
        const std::string name = DiskDocuments::volumeName(device);
        insert(entry, "VolumeName", name);
        volumes.emplace_back(name);
    }
    if (device.uuid) {
        insert(entry, "VolumeUUID", *device.uuid);
    }
    return PlistValue(std::move(entry));
}

} // namespace

PlistValue DiskDocuments::info(const BlockDeviceTable& table, const BlockDevice& device) {
    const BlockDevice& disk = table.wholeDisk(device);
    PlistValue::Dictionary document;
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
    insert(document, "MountPoint", device.mountPoint().value_or(std::string()));
    insert(document, "ParentWholeDisk", disk.name);
    insert(document, "Removable", disk.removable || device.removable);
    insert(document, "Size", device.size);
    insert(document, "VirtualOrPhysical", table.isPhysical(device) ? "Physical" : "Virtual");
    insert(document, "VolumeName", volumeName(device));
    if (device.uuid) {
        insert(document, "VolumeUUID", *device.uuid);
    }
    insert(document, "WholeDisk", device.isWholeDisk());
    return PlistValue(std::move(document));
}

PlistValue DiskDocuments::externalPhysicalList(const BlockDeviceTable& table) {
    PlistValue::Array allDisks;
    PlistValue::Array volumes;
    PlistValue::Array wholeDisks;
    PlistValue::Array entries;
    for (const BlockDevice& device : table.devices()) {
        if (device.isWholeDisk() && table.isPhysical(device) && table.isExternal(device)) {
            wholeDisks.emplace_back(device.name);
            entries.push_back(listEntry(table, device, allDisks, volumes));
        }
    }
    return PlistValue(PlistValue::Dictionary{{"AllDisks", std::move(allDisks)},
                                             {"AllDisksAndPartitions", std::move(entries)},
                                             {"VolumesFromDisks", std::move(volumes)},
                                             {"WholeDisks", std::move(wholeDisks)}});
}

PlistValue DiskDocuments::emptyApfsList() {
    return PlistValue(PlistValue::Dictionary{{"Containers", PlistValue::Array{}}});
}

std::string DiskDocuments::volumeName(const BlockDevice& device) {
    if (!device.fileSystemType) {
        return std::string();
    }
    return device.label ? *device.label : "Untitled";
}

std::string DiskDocuments::filesystemName(const std::string& type,
                                          const std::optional<std::string>& version) {
    if (type == "vfat") {
        // libblkid reports the FAT width as the version: FAT12, FAT16 or FAT32.
        return version && version->starts_with("FAT") ? "MS-DOS " + *version : "MS-DOS";
    }
    static const Naming names[] = {
        {"exfat", "ExFAT"},
        {"ntfs", "NTFS"},
        {"ntfs3", "NTFS"},
        {"apfs", "APFS"},
        {"hfsplus", "Mac OS Extended"},
        {"hfs", "Mac OS Standard"},
        {"iso9660", "ISO 9660"},
        {"udf", "UDF"},
    };
    for (const auto& [candidate, name] : names) {
        if (type == candidate) {
            return name;
        }
    }
    return type;
}

std::string DiskDocuments::filesystemType(const std::string& type) {
    static const Naming types[] = {
        {"vfat", "msdos"}, {"ntfs3", "ntfs"}, {"hfsplus", "hfs"}, {"iso9660", "cd9660"}};
    for (const auto& [candidate, word] : types) {
        if (type == candidate) {
            return word;
        }
    }
    return type;
}

std::string DiskDocuments::content(const BlockDevice& device) {
    if (device.fileSystemType == "apfs") {
        return "Apple_APFS";
    }
    if (!device.partitionType.empty()) {
        for (const auto& [code, content] : partitionTypes) {
            if (upperCase(code) == upperCase(device.partitionType)) {
                return content;
            }
        }
        return upperCase(device.partitionType);
    }
    if (device.partitionTableType == "gpt") {
        return "GUID_partition_scheme";
    }
    if (device.partitionTableType == "dos") {
        return "FDisk_partition_scheme";
    }
    return device.partitionTableType;
}

} // namespace tarnwell
