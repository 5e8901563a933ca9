#pragma once

#include "core/disk/MountTable.h"
#include "diskutil/BlockDevice.h"
#include "diskutil/FilesystemIdentity.h"

#include <QByteArray>
#include <QList>

class QJsonObject;

namespace tarnwell {

// Every block device of the machine with its place in the device tree, and the lookups the disk
// tool's commands need: a target by UUID, device name or mount path, the whole disk under a
// partition, and whether a device counts as external.
class BlockDeviceTable {
public:
    // The columns asked of lsblk, in the order its JSON output is read.
    static const QStringList lsblkColumns;

    // Reads `lsblk --json --bytes --output <lsblkColumns>`. A document of another shape throws a
    // DecodingError; a device listed twice (under several parents) is kept once, where it first
    // appears.
    static BlockDeviceTable fromLsblkJson(const QByteArray& json);

    // Takes every device's mount points from the kernel's mount table. lsblk's own column cannot
    // carry a mount path with a line feed in it: it splits it into two.
    void useMounts(const QList<MountTable::Mount>& mounts);

    const QList<BlockDevice>& devices() const { return m_devices; }
    const BlockDevice* device(const QString& name) const;

    // Fills in the identity of devices the udev database knew nothing about. Devices that already
    // have a file-system type are not probed: the database is the cheaper and equal source.
    void probeMissingIdentities(FilesystemProbing& probe);
    // Probes only the given device; used when the target names a device and the others do not
    // matter.
    void probeMissingIdentity(const QString& name, FilesystemProbing& probe);
    bool hasMissingIdentities() const;

    // TARGET as the disk tool accepts it: "/dev/sdb1" or any link to it, "sdb1", a path on a
    // mounted file system, or a file-system UUID in any letter case. Nothing when no device matches.
    const BlockDevice* resolveDeviceTarget(const QString& target) const;
    const BlockDevice* resolvePathTarget(const QString& target) const;
    const BlockDevice* resolveUuidTarget(const QString& target) const;
    static bool looksLikeDevice(const QString& target);
    static bool looksLikePath(const QString& target);

    const BlockDevice& wholeDisk(const BlockDevice& device) const;
    bool isExternal(const BlockDevice& device) const;
    // The bus of the device's whole disk in the disk tool's words ("USB", "Disk Image", ...).
    QString busProtocol(const BlockDevice& device) const;
    // Disks that are hardware: not loop devices, mapper targets or RAM disks.
    bool isPhysical(const BlockDevice& device) const;

private:
    void add(const QJsonObject& object, const QString& parent);
    static bool needsProbe(const BlockDevice& device);
    static void apply(BlockDevice& device, const FilesystemIdentity& identity);

    QList<BlockDevice> m_devices;
};

} // namespace tarnwell
