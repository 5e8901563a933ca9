#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnwell {

// One block device as the system reports it: topology from sysfs, file-system identity from the
// udev database or, when that has none, from probing the device itself. Texts are valid UTF-8.
struct BlockDevice {
    std::string name;       // kernel name, "sdb1"
    std::string path;       // device node, "/dev/sdb1"
    std::string majorMinor; // "8:17"
    std::string type;       // disk, part, loop, rom, crypt, lvm, dm, raid1, ...
    std::optional<std::string> fileSystemType;
    std::optional<std::string> fileSystemVersion;
    std::optional<std::string> label;
    std::optional<std::string> uuid;
    std::vector<std::string> mountPoints;
    std::string transport; // usb, sata, nvme, mmc, ...; empty when the kernel names none
    bool removable = false;
    bool hotplug = false;
    std::int64_t size = 0;
    std::string partitionType;         // GUID or MBR type code of a partition
    std::string partitionTableType;    // "gpt", "dos", ... on a disk that carries a partition table
    std::string parent;                // name of the device this one sits on; empty for a whole disk
    std::vector<std::string> children; // names: partitions first, then the devices built on it

    bool isWholeDisk() const { return parent.empty(); }
    std::optional<std::string> mountPoint() const {
        return mountPoints.empty() ? std::nullopt : std::optional<std::string>(mountPoints.front());
    }

    bool operator==(const BlockDevice&) const = default;
};

} // namespace tarnwell
