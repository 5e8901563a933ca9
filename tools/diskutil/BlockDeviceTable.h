#pragma once

#include "diskutil/BlockDevice.h"
#include "diskutil/FilesystemIdentity.h"
#include "diskutil/MountInfo.h"

#include <vector>

namespace tarnwell {

// Every block device of the machine with its place in the device tree, and the lookups the disk
// tool's commands need: a target by UUID, device name or mount path, the whole disk under a
// partition, and whether a device counts as external.
class BlockDeviceTable {
public:
    BlockDeviceTable() = default;
    // Devices in tree order, as SysfsBlockDevices reads them.
    explicit BlockDeviceTable(std::vector<BlockDevice> devices);

    // Takes every device's mount points from the kernel's mount table.
    void useMounts(std::vector<MountInfo::Mount> mounts);
    // The device's mounts in the table's order.
    std::vector<MountInfo::Mount> mountsOf(const BlockDevice& device) const;

    const std::vector<BlockDevice>& devices() const { return m_devices; }
    const BlockDevice* device(const std::string& name) const;

    // Fills in the identity of the external hardware disks and what sits on them, where the udev
    // database knew nothing: the devices the external list shows. Devices that already have a
    // file-system type are not probed: the database is the cheaper and equal source.
    void probeExternalPhysicalIdentities(FilesystemProbing& probe);
    // Probes only the given device; used when the target names a device and the others do not
    // matter.
    void probeMissingIdentity(const std::string& name, FilesystemProbing& probe);
    // The first device with the file-system UUID, in any letter case, probing in table order the
    // devices the udev database knew nothing about, until one matches.
    const BlockDevice* probeForUuid(const std::string& uuid, FilesystemProbing& probe);

    // TARGET as the disk tool accepts it: "/dev/sdb1" or any link to it, "sdb1", a path on a
    // mounted file system, or a file-system UUID in any letter case. Nothing when no device matches.
    const BlockDevice* resolveDeviceTarget(const std::string& target) const;
    const BlockDevice* resolvePathTarget(const std::string& target) const;
    const BlockDevice* resolveUuidTarget(const std::string& target) const;
    static bool looksLikeDevice(const std::string& target);
    static bool looksLikePath(const std::string& target);

    const BlockDevice& wholeDisk(const BlockDevice& device) const;
    bool isExternal(const BlockDevice& device) const;
    // The bus of the device's whole disk in the disk tool's words ("USB", "Disk Image", ...).
    std::string busProtocol(const BlockDevice& device) const;
    // Disks that are hardware: not loop devices, mapper targets or RAM disks.
    bool isPhysical(const BlockDevice& device) const;

private:
    static bool needsProbe(const BlockDevice& device);
    static bool isOf(const MountInfo::Mount& mount, const BlockDevice& device);
    static void apply(BlockDevice& device, const FilesystemIdentity& identity);

    std::vector<BlockDevice> m_devices;
    std::vector<MountInfo::Mount> m_mounts;
};

} // namespace tarnwell
