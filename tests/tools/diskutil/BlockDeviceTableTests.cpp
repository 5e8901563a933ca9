#include "DiskutilTestSupport.h"
#include "core/support/DecodingError.h"
#include "diskutil/BlockDeviceTable.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using testing::diskutilFixture;
using testing::FixtureProbe;
using testing::identityFromBlkidUdev;

BlockDeviceTable constructedTable() {
    return BlockDeviceTable::fromLsblkJson(diskutilFixture("lsblk-constructed-sata-usb-nvme-mmc-loop.json"));
}

void addCapturedLoopDevices(FixtureProbe& probe) {
    probe.identities.insert("/dev/loop0",
                            identityFromBlkidUdev(diskutilFixture("blkid-ext4-label-with-markup.txt")));
    probe.identities.insert("/dev/loop1", identityFromBlkidUdev(diskutilFixture("blkid-vfat-fat16.txt")));
    probe.identities.insert("/dev/loop2", identityFromBlkidUdev(diskutilFixture("blkid-exfat.txt")));
}

TEST(BlockDeviceTableTests, ReadsCapturedLoopDevicesWithoutUdevData) {
    const BlockDeviceTable table =
        BlockDeviceTable::fromLsblkJson(diskutilFixture("lsblk-four-loop-devices.json"));
    ASSERT_EQ(table.devices().size(), 6);
    const BlockDevice* mounted = table.device("loop0");
    ASSERT_NE(mounted, nullptr);
    EXPECT_EQ(mounted->path, "/dev/loop0");
    EXPECT_EQ(mounted->majorMinor, "7:0");
    EXPECT_EQ(mounted->mountPoint(), QString::fromUtf8("/tmp/i7probe/m nt é"));
    EXPECT_FALSE(mounted->fileSystemType.has_value());
    EXPECT_FALSE(mounted->uuid.has_value());
    EXPECT_TRUE(mounted->isWholeDisk());
    // A "mountpoints" list holding only null means not mounted.
    EXPECT_FALSE(table.device("loop1")->mountPoint().has_value());
    EXPECT_TRUE(table.hasMissingIdentities());
}

TEST(BlockDeviceTableTests, ProbingFillsOnlyDevicesWithoutIdentityAndSkipsEmptyOnes) {
    BlockDeviceTable table = BlockDeviceTable::fromLsblkJson(diskutilFixture("lsblk-four-loop-devices.json"));
    FixtureProbe probe;
    addCapturedLoopDevices(probe);
    table.probeMissingIdentities(probe);

    // zram0 has no medium (size 0) and is never read. The devices are read side by side.
    probe.probed.sort();
    EXPECT_EQ(probe.probed,
              (QStringList{"/dev/loop0", "/dev/loop1", "/dev/loop2", "/dev/loop3", "/dev/vda"}));
    EXPECT_EQ(table.device("loop0")->label, QString::fromUtf8("My Disk &<>é"));
    EXPECT_EQ(table.device("loop0")->fileSystemType, "ext4");
    EXPECT_EQ(table.device("loop1")->fileSystemVersion, "FAT16");
    EXPECT_EQ(table.device("loop2")->uuid, "EBB5-F42C");
    EXPECT_FALSE(table.device("loop3")->fileSystemType.has_value());

    probe.probed.clear();
    table.probeMissingIdentity("loop0", probe);
    EXPECT_TRUE(probe.probed.isEmpty());
}

TEST(BlockDeviceTableTests, NestedDevicesKnowTheirParentsAndWholeDisk) {
    const BlockDeviceTable table = constructedTable();
    const BlockDevice* mapper = table.device("dm-0");
    ASSERT_NE(mapper, nullptr);
    EXPECT_EQ(mapper->parent, "sdb3");
    EXPECT_EQ(mapper->path, "/dev/mapper/vault");
    EXPECT_EQ(table.wholeDisk(*mapper).name, "sdb");
    EXPECT_EQ(table.device("sdb")->children, (QStringList{"sdb1", "sdb2", "sdb3"}));
    EXPECT_EQ(table.device("sdb3")->children, QStringList{"dm-0"});
    EXPECT_FALSE(table.hasMissingIdentities());
}

TEST(BlockDeviceTableTests, ExternalFollowsTheWholeDisksBusAndRemovability) {
    const BlockDeviceTable table = constructedTable();
    EXPECT_TRUE(table.isExternal(*table.device("dm-0")));      // USB, through a partition
    EXPECT_TRUE(table.isExternal(*table.device("sdc")));       // removable USB stick
    EXPECT_TRUE(table.isExternal(*table.device("mmcblk0p1"))); // SD card
    EXPECT_FALSE(table.isExternal(*table.device("sda2")));
    EXPECT_FALSE(table.isExternal(*table.device("nvme0n1p1")));
    EXPECT_FALSE(table.isExternal(*table.device("loop0")));
}

TEST(BlockDeviceTableTests, BusProtocolUsesTheDiskToolsWords) {
    const BlockDeviceTable table = constructedTable();
    EXPECT_EQ(table.busProtocol(*table.device("sda1")), "SATA");
    EXPECT_EQ(table.busProtocol(*table.device("dm-0")), "USB");
    EXPECT_EQ(table.busProtocol(*table.device("nvme0n1p1")), "PCI-Express");
    EXPECT_EQ(table.busProtocol(*table.device("mmcblk0p1")), "Secure Digital");
    EXPECT_EQ(table.busProtocol(*table.device("loop0")), "Disk Image");
    EXPECT_EQ(table.busProtocol(*table.device("zram0")), "Unknown");
}

TEST(BlockDeviceTableTests, KernelsWithoutTransportStillNameNvmeAndSdBuses) {
    const BlockDeviceTable table = BlockDeviceTable::fromLsblkJson(R"({"blockdevices": [
        {"name": "nvme1n1", "kname": "nvme1n1", "type": "disk", "tran": null, "rm": "0", "hotplug": "0", "size": "4096"},
        {"name": "mmcblk1", "kname": "mmcblk1", "type": "disk", "tran": null, "rm": "1", "hotplug": "0", "size": "4096",
         "mountpoint": "/media/CARD"}
    ]})");
    EXPECT_EQ(table.busProtocol(*table.device("nvme1n1")), "PCI-Express");
    EXPECT_EQ(table.busProtocol(*table.device("mmcblk1")), "Secure Digital");
    // Older lsblk prints flags and sizes as texts and knows one mount point only.
    EXPECT_EQ(table.device("mmcblk1")->mountPoints, QStringList{"/media/CARD"});
    EXPECT_TRUE(table.isExternal(*table.device("mmcblk1")));
    EXPECT_EQ(table.device("nvme1n1")->size, 4096);
    EXPECT_EQ(table.device("nvme1n1")->path, "/dev/nvme1n1");
}

TEST(BlockDeviceTableTests, ResolvesUuidInAnyCaseAndDeviceNames) {
    const BlockDeviceTable table = constructedTable();
    EXPECT_EQ(table.resolveUuidTarget("D1E2F3A4-B5C6-4D7E-8F90-A1B2C3D4E5F6")->name, "dm-0");
    EXPECT_EQ(table.resolveUuidTarget("82ab-3dee")->name, "sdc");
    EXPECT_EQ(table.resolveUuidTarget("00000000-0000-0000-0000-000000000000"), nullptr);
    EXPECT_EQ(table.resolveDeviceTarget("sdb2")->name, "sdb2");
    EXPECT_EQ(table.resolveDeviceTarget("/dev/sdb2")->name, "sdb2");
    EXPECT_EQ(table.resolveDeviceTarget("/dev/mapper/vault")->name, "dm-0");
    EXPECT_EQ(table.resolveDeviceTarget("sdz"), nullptr);
}

TEST(BlockDeviceTableTests, PathTargetsFindTheMountedDeviceOnlyByExistingPaths) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString mountPoint = QDir(directory.path()).canonicalPath();
    const QByteArray json = QStringLiteral(R"({"blockdevices": [
        {"name": "sdx1", "kname": "sdx1", "maj:min": "250:99", "type": "part", "mountpoints": ["%1"], "size": 1}
    ]})")
                                .arg(mountPoint)
                                .toUtf8();
    const BlockDeviceTable table = BlockDeviceTable::fromLsblkJson(json);
    // The temporary directory sits on another file system, so the mount point must match exactly.
    EXPECT_EQ(table.resolvePathTarget(mountPoint + "/")->name, "sdx1");
    EXPECT_EQ(table.resolvePathTarget(mountPoint + "/missing"), nullptr);
    EXPECT_TRUE(BlockDeviceTable::looksLikePath(mountPoint));
    EXPECT_FALSE(BlockDeviceTable::looksLikePath("/dev/sdx1"));
}

TEST(BlockDeviceTableTests, DeviceListedUnderTwoParentsIsKeptOnce) {
    const BlockDeviceTable table = BlockDeviceTable::fromLsblkJson(R"({"blockdevices": [
        {"name": "sda", "kname": "sda", "type": "disk", "size": 1, "children": [
            {"name": "md0", "kname": "md0", "type": "raid1", "size": 1}]},
        {"name": "sdb", "kname": "sdb", "type": "disk", "size": 1, "children": [
            {"name": "md0", "kname": "md0", "type": "raid1", "size": 1}]}
    ]})");
    EXPECT_EQ(table.devices().size(), 3);
    EXPECT_EQ(table.device("md0")->parent, "sda");
    EXPECT_TRUE(table.device("sdb")->children.isEmpty());
}

TEST(BlockDeviceTableTests, MalformedOutputIsAnErrorNotAnEmptyMachine) {
    EXPECT_THROW(BlockDeviceTable::fromLsblkJson("{\"blockdevices\": ["), DecodingError);
    EXPECT_THROW(BlockDeviceTable::fromLsblkJson("{\"devices\": []}"), DecodingError);
    EXPECT_THROW(BlockDeviceTable::fromLsblkJson("[]"), DecodingError);
    EXPECT_TRUE(BlockDeviceTable::fromLsblkJson("{\"blockdevices\": []}").devices().isEmpty());
}

} // namespace
} // namespace tarnwell
