#include "diskutil/BlockDeviceTable.h"

#include "diskutil/FileText.h"

#include <algorithm>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tarnwell {

namespace {

bool equalIgnoringCase(const std::string& left, const std::string& right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        const auto lower = [](char character) {
            return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                        : character;
        };
        return lower(a) == lower(b);
    });
}

} // namespace

BlockDeviceTable::BlockDeviceTable(std::vector<BlockDevice> devices)
    : m_devices(std::move(devices)) {
}

void BlockDeviceTable::useMounts(std::vector<MountInfo::Mount> mounts) {
    m_mounts = std::move(mounts);
    for (BlockDevice& device : m_devices) {
        device.mountPoints.clear();
        for (const MountInfo::Mount& mount : mountsOf(device)) {
            device.mountPoints.push_back(mount.mountPoint);
        }
    }
}

std::vector<MountInfo::Mount> BlockDeviceTable::mountsOf(const BlockDevice& device) const {
    std::vector<MountInfo::Mount> mounts;
    std::copy_if(m_mounts.begin(), m_mounts.end(), std::back_inserter(mounts),
                 [&device](const MountInfo::Mount& mount) { return isOf(mount, device); });
    return mounts;
}

bool BlockDeviceTable::isOf(const MountInfo::Mount& mount, const BlockDevice& device) {
    // Btrfs and the like give their mounts numbers of their own; the source still names the device.
    return (!device.majorMinor.empty() && mount.majorMinor == device.majorMinor) ||
           mount.source == device.path;
}

const BlockDevice* BlockDeviceTable::device(const std::string& name) const {
    for (const BlockDevice& candidate : m_devices) {
        if (candidate.name == name) {
            return &candidate;
        }
    }
    return nullptr;
}

// Devices are probed one after the other: the superblocks are mostly in the page cache, and
// opening devices side by side only makes them wait for each other in the kernel (measured several
// times slower).

void BlockDeviceTable::probeExternalPhysicalIdentities(FilesystemProbing& probe) {
    for (BlockDevice& device : m_devices) {
        if (needsProbe(device) && isPhysical(device) && isExternal(device)) {
            apply(device, probe.probe(device.path, device.type == "part"));
        }
    }
}

const BlockDevice* BlockDeviceTable::probeForUuid(const std::string& uuid, FilesystemProbing& probe) {
    if (const BlockDevice* known = resolveUuidTarget(uuid)) {
        return known;
    }
    // No device the database describes matches, so the first probed one that does is the first of all.
    for (BlockDevice& device : m_devices) {
        if (needsProbe(device)) {
            apply(device, probe.probe(device.path, device.type == "part"));
            if (device.uuid && equalIgnoringCase(*device.uuid, uuid)) {
                return &device;
            }
        }
    }
    return nullptr;
}

void BlockDeviceTable::probeMissingIdentity(const std::string& name, FilesystemProbing& probe) {
    for (BlockDevice& candidate : m_devices) {
        if (candidate.name == name && needsProbe(candidate)) {
            apply(candidate, probe.probe(candidate.path, candidate.type == "part"));
            return;
        }
    }
}

bool BlockDeviceTable::needsProbe(const BlockDevice& device) {
    // A disk that carries a partition table holds no file system of its own, and a device
    // without size has no medium to read.
    return !device.fileSystemType && device.partitionTableType.empty() && device.size > 0;
}

void BlockDeviceTable::apply(BlockDevice& device, const FilesystemIdentity& identity) {
    device.fileSystemType = identity.type;
    device.fileSystemVersion = identity.version;
    device.label = device.label ? device.label : identity.label;
    device.uuid = device.uuid ? device.uuid : identity.uuid;
    if (device.partitionType.empty()) {
        device.partitionType = identity.partitionType.value_or(std::string());
    }
    // A partition's own table would be one nested inside it, which the documents do not show.
    if (device.isWholeDisk()) {
        device.partitionTableType = identity.partitionTableType.value_or(std::string());
    }
}

bool BlockDeviceTable::looksLikeDevice(const std::string& target) {
    return target.starts_with("/dev/");
}

bool BlockDeviceTable::looksLikePath(const std::string& target) {
    return target.starts_with("/") && !looksLikeDevice(target);
}

const BlockDevice* BlockDeviceTable::resolveDeviceTarget(const std::string& target) const {
    if (!looksLikeDevice(target)) {
        return device(target);
    }
    // Links such as /dev/disk/by-uuid/... or /dev/mapper/name lead to the kernel's node.
    const std::string canonical = FileText::canonicalPath(target);
    for (const BlockDevice& candidate : m_devices) {
        if (candidate.path == target || "/dev/" + candidate.name == canonical) {
            return &candidate;
        }
    }
    return nullptr;
}

const BlockDevice* BlockDeviceTable::resolvePathTarget(const std::string& target) const {
    const std::string canonical = FileText::canonicalPath(target);
    if (canonical.empty()) {
        return nullptr;
    }
    // The file system holding a path is the device whose number the path reports.
    struct stat status {};
    if (::stat(canonical.c_str(), &status) == 0) {
        const std::string number =
            std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
        for (const BlockDevice& candidate : m_devices) {
            if (candidate.majorMinor == number && !candidate.mountPoints.empty()) {
                return &candidate;
            }
        }
    }
    // Some file systems (btrfs subvolumes, for one) report a number of their own: a mount point
    // named exactly, byte for byte, still finds its device.
    for (const MountInfo::Mount& mount : m_mounts) {
        for (const BlockDevice& candidate : m_devices) {
            if (mount.path == canonical && isOf(mount, candidate)) {
                return &candidate;
            }
        }
    }
    return nullptr;
}

const BlockDevice* BlockDeviceTable::resolveUuidTarget(const std::string& target) const {
    for (const BlockDevice& candidate : m_devices) {
        if (candidate.uuid && equalIgnoringCase(*candidate.uuid, target)) {
            return &candidate;
        }
    }
    return nullptr;
}

const BlockDevice& BlockDeviceTable::wholeDisk(const BlockDevice& device) const {
    const BlockDevice* current = &device;
    // The tree has no cycles, but a broken table must not loop forever.
    for (size_t step = 0; step < m_devices.size() && !current->isWholeDisk(); ++step) {
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
    const bool externalTransport =
        disk.transport == "usb" || disk.transport == "ieee1394" || disk.transport == "mmc";
    return externalTransport || disk.removable || disk.hotplug || device.removable || device.hotplug;
}

std::string BlockDeviceTable::busProtocol(const BlockDevice& device) const {
    const BlockDevice& disk = wholeDisk(device);
    if (disk.type == "loop") {
        return "Disk Image";
    }
    static const std::pair<const char*, const char*> transports[] = {
        {"usb", "USB"},           {"sata", "SATA"},          {"ata", "ATA"},     {"nvme", "PCI-Express"},
        {"ieee1394", "FireWire"}, {"mmc", "Secure Digital"}, {"sas", "SAS"},     {"scsi", "SCSI"},
        {"spi", "SCSI"},          {"fc", "Fibre Channel"},   {"iscsi", "iSCSI"}, {"virtio", "VirtIO"},
    };
    for (const auto& [transport, protocol] : transports) {
        if (disk.transport == transport) {
            return protocol;
        }
    }
    // Some kernels name no transport for these buses; the device name still tells.
    if (disk.name.starts_with("nvme")) {
        return "PCI-Express";
    }
    if (disk.name.starts_with("mmcblk")) {
        return "Secure Digital";
    }
    if (disk.name.starts_with("vd")) {
        return "VirtIO";
    }
    if (disk.transport.empty()) {
        return "Unknown";
    }
    std::string upper = disk.transport;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char character) {
        return character >= 'a' && character <= 'z' ? character - 'a' + 'A' : character;
    });
    return upper;
}

bool BlockDeviceTable::isPhysical(const BlockDevice& device) const {
    const BlockDevice& disk = wholeDisk(device);
    const bool hardwareType = disk.type == "disk" || disk.type == "rom";
    return hardwareType && !disk.name.starts_with("zram") && !disk.name.starts_with("ram");
}

} // namespace tarnwell
