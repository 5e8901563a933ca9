#pragma once

#include "diskutil/BlockDevice.h"

#include <string>
#include <vector>

namespace tarnwell {

// Reads the machine's block devices from sysfs, with what the udev database knows of each.
class SysfsBlockDevices {
public:
    // The devices in tree order: each whole disk (in device-number order) followed by its
    // partitions and the devices built on them (mapper targets, RAID arrays). A device built on
    // several others is listed once, under the first. Loop devices without a backing file and RAM
    // disks are left out, as they hold nothing. Throws ToolError when ROOT/block cannot be read.
    static std::vector<BlockDevice> read(const std::string& sysRoot, const std::string& udevDataRoot);

    // "sata", "usb", "nvme", ... for the whole disk whose device folder (below ROOT/devices) is
    // DIRECTORY; "" when the kernel names no transport.
    static std::string transport(const std::string& directory, const std::string& name);
};

} // namespace tarnwell
