#pragma once

#include <QJsonDocument>
#include <QJsonObject>

namespace tarnwell::testing {

// A machine as the fake disk tool sees it: an internal start-up disk, an external USB disk with
// one APFS container (a mounted volume, unmounted user volumes, a role-bearing volume and a
// simulator runtimes), an external card, an internal data disk, a mounted disk image and a Time
// Machine snapshot mount.
inline QJsonObject mixedMachine() {
    return QJsonDocument::fromJson(R"({
      "disks": [
        {"deviceIdentifier": "disk0", "internal": true, "busProtocol": "PCI-Express", "content": "GUID_partition_scheme",
         "partitions": [
           {"deviceIdentifier": "disk0s1", "content": "Apple_HFS", "volumeName": "Macintosh HD",
            "volumeUUID": "00000000-0000-0000-0000-0000000000A0", "filesystemName": "Mac OS Extended", "mountPoint": "/"}]},
        {"deviceIdentifier": "disk2", "internal": false, "busProtocol": "USB", "content": "GUID_partition_scheme",
         "partitions": [
           {"deviceIdentifier": "disk2s1", "content": "EFI", "volumeName": "EFI", "volumeUUID": "00000000-0000-0000-0000-0000000000E1"},
           {"deviceIdentifier": "disk2s2", "content": "Apple_APFS", "apfsContainer": "disk3"}]},
        {"deviceIdentifier": "disk4", "internal": false, "busProtocol": "Secure Digital", "content": "FDisk_partition_scheme",
         "partitions": [
           {"deviceIdentifier": "disk4s1", "content": "Windows_NTFS", "volumeName": "CARD & <Co> \"A\" 'B'",
            "volumeUUID": "00000000-0000-0000-0000-0000000000C1", "filesystemName": "ExFAT",
            "mountPoint": "/Volumes/CARD & Co\nsecond line"}]},
        {"deviceIdentifier": "disk5", "internal": true, "busProtocol": "SATA", "content": "GUID_partition_scheme",
         "partitions": [
           {"deviceIdentifier": "disk5s1", "content": "Apple_HFS", "volumeName": "Internal Projects",
            "volumeUUID": "00000000-0000-0000-0000-0000000000D5", "filesystemName": "Mac OS Extended", "mountPoint": "/Volumes/Internal Projects"}]},
        {"deviceIdentifier": "disk6", "internal": false, "busProtocol": "Disk Image", "virtual": true, "content": "GUID_partition_scheme",
         "partitions": [
           {"deviceIdentifier": "disk6s1", "content": "Apple_HFS", "volumeName": "Installer",
            "volumeUUID": "00000000-0000-0000-0000-0000000000F6", "filesystemName": "Mac OS Extended", "mountPoint": "/Volumes/Installer"}]},
        {"deviceIdentifier": "disk7", "internal": false, "busProtocol": "USB", "content": "GUID_partition_scheme",
         "partitions": [
           {"deviceIdentifier": "disk7s1", "content": "Apple_HFS", "volumeName": "Backups",
            "volumeUUID": "00000000-0000-0000-0000-0000000000B7", "filesystemName": "Mac OS Extended",
            "mountPoint": "/Volumes/.timemachine/backup.local/2026-12-06-101010.backup"}]}
      ],
      "containers": [
        {"containerReference": "disk3", "physicalStore": "disk2s2", "volumes": [
          {"deviceIdentifier": "disk3s1", "name": "Media", "uuid": "00000000-0000-0000-0000-000000000031", "mountPoint": "/Volumes/Media"},
          {"deviceIdentifier": "disk3s2", "name": "Archive — Été", "uuid": "00000000-0000-0000-0000-000000000032"},
          {"deviceIdentifier": "disk3s3", "name": "Data", "uuid": "00000000-0000-0000-0000-000000000033", "roles": ["Data"]},
          {"deviceIdentifier": "disk3s4", "name": "iOS 17.2 Simulator", "uuid": "00000000-0000-0000-0000-000000000034"},
          {"deviceIdentifier": "disk3s5", "name": "iOS Footage", "uuid": "00000000-0000-0000-0000-000000000035"},
          {"deviceIdentifier": "disk3s6", "name": "WatchOS 10.2 SIMULATOR", "uuid": "00000000-0000-0000-0000-000000000036"},
          {"deviceIdentifier": "disk3s7", "name": "tvOS Simulator Notes", "uuid": "00000000-0000-0000-0000-000000000037"}]}
      ]
    })")
        .object();
}

} // namespace tarnwell::testing
