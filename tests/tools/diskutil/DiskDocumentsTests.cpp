#include "DiskutilTestSupport.h"
#include "core/support/PropertyListReader.h"
#include "core/support/PropertyListWriter.h"
#include "diskutil/DiskDocuments.h"

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using testing::diskutilFixture;

BlockDeviceTable constructedTable() {
    return BlockDeviceTable::fromLsblkJson(diskutilFixture("lsblk-constructed-sata-usb-nvme-mmc-loop.json"));
}

// Every document goes through the writer and back through the reader, as the disk service reads it.
PropertyList printed(const PropertyList& document) {
    return PropertyListReader::read(PropertyListWriter::write(document));
}

PropertyList infoOf(const BlockDeviceTable& table, const QString& name) {
    return printed(DiskDocuments::info(table, *table.device(name)));
}

TEST(DiskDocumentsTests, InfoOfAMountedExternalVolumeCarriesTheKeysTheDiskServiceReads) {
    const PropertyList info = infoOf(constructedTable(), "sdb2");
    EXPECT_EQ(info.string("VolumeName"), "Footage 2024");
    EXPECT_EQ(info.string("VolumeUUID"), "6A8C3F2B1D4E5F60");
    EXPECT_EQ(info.string("DeviceIdentifier"), "sdb2");
    EXPECT_EQ(info.string("FilesystemName"), "NTFS");
    EXPECT_EQ(info.string("FilesystemType"), "ntfs");
    EXPECT_EQ(info.string("MountPoint"), "/media/Footage 2024");
    EXPECT_EQ(info.boolean("Internal"), false);
    EXPECT_EQ(info.string("BusProtocol"), "USB");
    EXPECT_EQ(info.boolean("WholeDisk"), false);
    EXPECT_EQ(info.string("ParentWholeDisk"), "sdb");
    EXPECT_EQ(info.string("Content"), "Microsoft Basic Data");
    EXPECT_EQ(info.integer("Size"), 500107862016);
}

TEST(DiskDocumentsTests, UnmountedVolumeHasAnEmptyMountPoint) {
    const PropertyList info = infoOf(constructedTable(), "nvme0n1p1");
    EXPECT_EQ(info.string("MountPoint"), "");
    EXPECT_EQ(info.boolean("Internal"), true);
    EXPECT_EQ(info.string("FilesystemName"), "ExFAT");
}

TEST(DiskDocumentsTests, VolumeWithoutLabelIsUntitledAndDeviceWithoutFileSystemHasNoVolume) {
    const BlockDeviceTable table = constructedTable();
    const PropertyList stick = infoOf(table, "sdc");
    EXPECT_EQ(stick.string("VolumeName"), "Untitled");
    EXPECT_EQ(stick.string("VolumeUUID"), "82AB-3DEE");
    EXPECT_EQ(stick.string("FilesystemName"), "MS-DOS FAT32");
    EXPECT_EQ(stick.string("FilesystemType"), "msdos");
    EXPECT_EQ(stick.boolean("WholeDisk"), true);

    const PropertyList disk = infoOf(table, "sdb");
    EXPECT_EQ(disk.string("VolumeName"), "");
    EXPECT_EQ(disk.value("VolumeUUID"), nullptr);
    EXPECT_EQ(disk.value("FilesystemName"), nullptr);
    EXPECT_EQ(disk.string("Content"), "GUID_partition_scheme");
}

TEST(DiskDocumentsTests, LoopDevicesAreDiskImages) {
    const PropertyList info = infoOf(constructedTable(), "loop0");
    EXPECT_EQ(info.string("BusProtocol"), "Disk Image");
    EXPECT_EQ(info.string("VirtualOrPhysical"), "Virtual");
    EXPECT_EQ(info.boolean("Internal"), true);
}

TEST(DiskDocumentsTests, ContentNamesPartitionSchemesAndTypes) {
    const BlockDeviceTable table = constructedTable();
    EXPECT_EQ(DiskDocuments::content(*table.device("mmcblk0")), "FDisk_partition_scheme");
    // MBR type codes and GPT GUIDs are matched whatever their letter case.
    EXPECT_EQ(DiskDocuments::content(*table.device("mmcblk0p1")), "Windows_NTFS");
    EXPECT_EQ(DiskDocuments::content(*table.device("sda1")), "EFI");
    BlockDevice unknown;
    unknown.partitionType = "a19d880f-05fc-4d3b-a006-743f0f84911e";
    EXPECT_EQ(DiskDocuments::content(unknown), "A19D880F-05FC-4D3B-A006-743F0F84911E");
    // An APFS container written straight onto a disk is still an APFS store.
    BlockDevice container;
    container.fileSystemType = "apfs";
    EXPECT_EQ(DiskDocuments::content(container), "Apple_APFS");
}

TEST(DiskDocumentsTests, ExternalPhysicalListHoldsExternalHardwareDisksWithNestedPartitions) {
    const PropertyList list = printed(DiskDocuments::externalPhysicalList(constructedTable()));
    const auto* disks = list.array("AllDisksAndPartitions");
    ASSERT_NE(disks, nullptr);
    QStringList wholeDisks;
    for (const PropertyList& disk : *disks) {
        wholeDisks.append(*disk.string("DeviceIdentifier"));
    }
    // Internal SATA and NVMe disks, the loop device and the zram disk stay out.
    EXPECT_EQ(wholeDisks, (QStringList{"sdb", "sdc", "mmcblk0"}));

    const PropertyList& usb = disks->at(0);
    EXPECT_EQ(usb.string("Content"), "GUID_partition_scheme");
    const auto* partitions = usb.array("Partitions");
    ASSERT_NE(partitions, nullptr);
    ASSERT_EQ(partitions->size(), 3u);
    EXPECT_EQ(partitions->at(0).string("Content"), "Apple_APFS");
    EXPECT_EQ(partitions->at(0).string("DeviceIdentifier"), "sdb1");
    EXPECT_EQ(partitions->at(1).string("MountPoint"), "/media/Footage 2024");
    const auto* nested = partitions->at(2).array("Partitions");
    ASSERT_NE(nested, nullptr);
    ASSERT_EQ(nested->size(), 1u);
    EXPECT_EQ(nested->at(0).string("DeviceIdentifier"), "dm-0");
    EXPECT_EQ(nested->at(0).string("VolumeName"), "Vault");
    EXPECT_EQ(partitions->at(0).value("Partitions"), nullptr);

    // An unpartitioned stick is a whole disk with its volume on it and no partitions.
    const PropertyList& stick = disks->at(1);
    EXPECT_EQ(stick.string("VolumeName"), "Untitled");
    EXPECT_TRUE(stick.array("Partitions")->empty());

    const auto* allDisks = list.array("AllDisks");
    ASSERT_NE(allDisks, nullptr);
    EXPECT_EQ(allDisks->size(), 8u);
    EXPECT_EQ(list.array("WholeDisks")->size(), 3u);
}

TEST(DiskDocumentsTests, AnyLabelComesOutAsWellFormedXml) {
    BlockDeviceTable table = BlockDeviceTable::fromLsblkJson(R"({"blockdevices": [
        {"name": "sdd", "kname": "sdd", "type": "disk", "tran": "usb", "size": 1024}]})");
    struct Probe : FilesystemProbing {
        FilesystemIdentity probe(const QString&) override {
            return {QString("ext4"), std::nullopt,
                    QString::fromUtf8("a&b<c>d\"e'f \xE2\x80\x94 \xF0\x9F\x8E\xAC\x01\x1B"), QString("u")};
        }
    } probe;
    table.probeMissingIdentities(probe);
    const QByteArray xml = PropertyListWriter::write(DiskDocuments::info(table, *table.device("sdd")));
    const PropertyList info = PropertyListReader::read(xml);
    // Control characters cannot be carried by XML and become replacement characters.
    EXPECT_EQ(info.string("VolumeName"),
              QString::fromUtf8("a&b<c>d\"e'f \xE2\x80\x94 \xF0\x9F\x8E\xAC\xEF\xBF\xBD\xEF\xBF\xBD"));
}

} // namespace
} // namespace tarnwell
