#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tarnwell {

// One block device as the system reports it: topology from lsblk, file-system identity from the
// udev database or, when that has none, from probing the device itself.
struct BlockDevice {
    QString name;       // kernel name, "sdb1"
    QString path;       // device node, "/dev/sdb1"
    QString majorMinor; // "8:17"
    QString type;       // lsblk's TYPE: disk, part, loop, rom, crypt, lvm, ...
    std::optional<QString> fileSystemType;
    std::optional<QString> fileSystemVersion;
    std::optional<QString> label;
    std::optional<QString> uuid;
    QStringList mountPoints;
    QString transport; // lsblk's TRAN: usb, sata, nvme, mmc, ...; empty when the kernel names none
    bool removable = false;
    bool hotplug = false;
    qint64 size = 0;
    QString partitionType;      // GUID or MBR type code of a partition
    QString partitionTableType; // "gpt", "dos", ... on a disk that carries a partition table
    QString parent;             // name of the device this one sits on; empty for a whole disk
    QStringList children;       // names, in lsblk order

    bool isWholeDisk() const { return parent.isEmpty(); }
    std::optional<QString> mountPoint() const {
        return mountPoints.isEmpty() ? std::nullopt : std::optional<QString>(mountPoints.first());
    }

    bool operator==(const BlockDevice&) const = default;
};

} // namespace tarnwell
