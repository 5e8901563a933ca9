#include "DiskutilTestSupport.h"
#include "core/support/PropertyListReader.h"
#include "diskutil/BlockDeviceTable.h"
#include "diskutil/DiskTool.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using testing::diskutilFixture;
using testing::FixtureProbe;
using testing::identityFromBlkidUdev;
using testing::ScriptedCommands;

using Call = QPair<QString, QStringList>;

class DiskToolTests : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        m_commands.lsblkOutput = diskutilFixture("lsblk-four-loop-devices.json");
        m_probe.identities.insert("/dev/loop0",
                                  identityFromBlkidUdev(diskutilFixture("blkid-ext4-label-with-markup.txt")));
        m_probe.identities.insert("/dev/loop1",
                                  identityFromBlkidUdev(diskutilFixture("blkid-vfat-fat16.txt")));
        m_probe.identities.insert("/dev/loop2", identityFromBlkidUdev(diskutilFixture("blkid-exfat.txt")));
    }

    CommandResult run(const QStringList& arguments) {
        DiskToolServices services;
        services.commands = &m_commands;
        services.probe = &m_probe;
        services.udisksAnswers = [this] { return m_udisksAnswers; };
        services.isRoot = m_isRoot;
        services.mediaRoot = mediaRoot();
        services.registry = MountRegistry(registryPath());
        services.findHolders = [this](dev_t) { return m_holders; };
        return DiskTool(std::move(services)).run(arguments);
    }

    QString mediaRoot() const { return m_root.filePath("media"); }
    QString registryPath() const { return m_root.filePath("run/created"); }

    // A single mounted ext4 volume whose mount point is a real directory, for unmounting.
    QString useMountedVolume(const QString& directoryName) {
        const QString mountPoint = mediaRoot() + "/" + directoryName;
        EXPECT_TRUE(QDir().mkpath(mountPoint));
        m_commands.lsblkOutput = QStringLiteral(R"({"blockdevices": [
            {"name": "loop5", "kname": "loop5", "path": "/dev/loop5", "maj:min": "7:5", "type": "loop",
             "fstype": "ext4", "label": "Shoot", "uuid": "aaaa-bbbb", "mountpoints": ["%1"], "size": 1024}]})")
                                     .arg(mountPoint)
                                     .toUtf8();
        return mountPoint;
    }

    QTemporaryDir m_root;
    ScriptedCommands m_commands;
    FixtureProbe m_probe;
    bool m_udisksAnswers = false;
    bool m_isRoot = true;
    QList<MountHolder> m_holders;
};

TEST_F(DiskToolTests, InfoFindsAVolumeByUuidInEitherLetterCase) {
    for (const QString uuid :
         {"9C616C72-770C-40A3-9A07-73691EDCB53F", "9c616c72-770c-40a3-9a07-73691edcb53f"}) {
        const CommandResult result = run({"info", "-plist", uuid});
        ASSERT_EQ(result.exitCode, 0) << result.error.toStdString();
        const PropertyList info = PropertyListReader::read(result.output);
        EXPECT_EQ(info.string("VolumeName"), QString::fromUtf8("My Disk &<>é"));
        EXPECT_EQ(info.string("VolumeUUID"), "9c616c72-770c-40a3-9a07-73691edcb53f");
        EXPECT_EQ(info.string("DeviceIdentifier"), "loop0");
        EXPECT_EQ(info.string("MountPoint"), QString::fromUtf8("/tmp/i7probe/m nt é"));
        EXPECT_TRUE(result.error.isEmpty());
    }
}

TEST_F(DiskToolTests, InfoByDeviceNameAsksLsblkOnceAndProbesOnlyThatDevice) {
    const CommandResult byName = run({"info", "-plist", "loop2"});
    ASSERT_EQ(byName.exitCode, 0);
    EXPECT_EQ(PropertyListReader::read(byName.output).string("FilesystemName"), "ExFAT");
    EXPECT_EQ(m_probe.probed, QStringList{"/dev/loop2"});
    EXPECT_EQ(m_commands.calls,
              (QList<Call>{
                  {"lsblk", {"--json", "--bytes", "--output", BlockDeviceTable::lsblkColumns.join(',')}}}));

    const CommandResult byNode = run({"info", "-plist", "/dev/loop1"});
    ASSERT_EQ(byNode.exitCode, 0);
    EXPECT_EQ(PropertyListReader::read(byNode.output).string("FilesystemName"), "MS-DOS FAT16");
}

// Commands the tool refuses before running anything; each says why on standard error.
TEST_F(DiskToolTests, RefusedCommandsSayWhyAndRunNothing) {
    struct Case {
        QStringList arguments;
        bool root;
        QByteArray error;
    };
    const std::vector<Case> cases = {
        {{"info", "-plist", "0000-0000"}, true, "Could not find disk: 0000-0000\n"},
        {{"mount", "/no/such/path"}, true, "Could not find disk: /no/such/path\n"},
        {{"mount", "EBB5-F42C"},
         false,
         "Volume ex lbl on loop2 failed to mount: mounting needs the UDisks2 service or root privileges\n"},
        {{"mount", "loop3"}, true, "Volume on loop3 failed to mount: no file system was found on it\n"},
        {{"unmount", "402B-4653"}, true, "Volume FAT LBL on loop1 failed to unmount: not mounted\n"},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.arguments.join(' ').toStdString());
        m_isRoot = testCase.root;
        m_commands.calls.clear();
        const CommandResult result = run(testCase.arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.output.isEmpty());
        EXPECT_EQ(result.error, testCase.error);
        EXPECT_TRUE(m_commands.callsOtherThanLsblk().isEmpty());
    }
}

TEST_F(DiskToolTests, LsblkFailureIsReportedRatherThanAnEmptyMachine) {
    m_commands.lsblkExitCode = 1;
    const CommandResult result = run({"list", "-plist", "external", "physical"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.output.isEmpty());
    EXPECT_EQ(result.error, "lsblk failed: lsblk: broken\n");
}

TEST_F(DiskToolTests, MountAsRootCreatesTheDirectoryAndMountsWithoutSetuidOrDevices) {
    const CommandResult result = run({"mount", "402b-4653"});
    ASSERT_EQ(result.exitCode, 0) << result.error.toStdString();
    EXPECT_EQ(result.output, "Volume FAT LBL on loop1 mounted\n");
    const QString directory = mediaRoot() + "/FAT LBL";
    EXPECT_EQ(m_commands.callsOtherThanLsblk(),
              (QList<Call>{{"mount", {"-o", "nosuid,nodev", "/dev/loop1", directory}}}));
    EXPECT_TRUE(QFileInfo(directory).isDir());
    EXPECT_TRUE(MountRegistry(registryPath()).take(directory));
}

TEST_F(DiskToolTests, FailedMountRemovesTheDirectoryItCreated) {
    m_commands.results = {{32, {}, "mount: /media/FAT LBL: unknown filesystem type 'vfat'.\n"}};
    const CommandResult result = run({"mount", "402B-4653"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.error,
              "Volume FAT LBL on loop1 failed to mount: mount: /media/FAT LBL: unknown filesystem type "
              "'vfat'.\n");
    EXPECT_FALSE(QFileInfo::exists(mediaRoot() + "/FAT LBL"));
    EXPECT_FALSE(MountRegistry(registryPath()).take(mediaRoot() + "/FAT LBL"));
}

TEST_F(DiskToolTests, MountGoesThroughUDisksWhenItAnswers) {
    m_udisksAnswers = true;
    const CommandResult result = run({"mount", "EBB5-F42C"});
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "Volume ex lbl on loop2 mounted\n");
    EXPECT_EQ(
        m_commands.callsOtherThanLsblk(),
        (QList<Call>{{"udisksctl", {"mount", "--block-device", "/dev/loop2", "--no-user-interaction"}}}));
    EXPECT_FALSE(QFileInfo::exists(mediaRoot()));
}

TEST_F(DiskToolTests, AlreadyMountedVolumeSucceedsWithoutMountingAgain) {
    const CommandResult result = run({"mount", "9C616C72-770C-40A3-9A07-73691EDCB53F"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output,
              QString::fromUtf8("Volume My Disk &<>é on loop0 is already mounted at /tmp/i7probe/m nt é\n")
                  .toUtf8());
    EXPECT_TRUE(m_commands.callsOtherThanLsblk().isEmpty());
}

// The tool removes a mount directory only when its own registry says it created it.
TEST_F(DiskToolTests, UnmountUsesThePlainUnmountAndRemovesOnlyADirectoryItCreated) {
    for (const bool created : {true, false}) {
        SCOPED_TRACE(created ? "created by the tool" : "found in place");
        m_commands.calls.clear();
        const QString mountPoint = useMountedVolume("Shoot");
        if (created) {
            MountRegistry(registryPath()).add(mountPoint);
        }
        const CommandResult result = run({"unmount", created ? QStringLiteral("AAAA-BBBB") : mountPoint});
        ASSERT_EQ(result.exitCode, 0) << result.error.toStdString();
        EXPECT_EQ(result.output, "Volume Shoot on loop5 unmounted\n");
        EXPECT_EQ(m_commands.callsOtherThanLsblk(), (QList<Call>{{"umount", {mountPoint}}}));
        EXPECT_EQ(QFileInfo(mountPoint).isDir(), !created);
    }
}

TEST_F(DiskToolTests, MountPathTargetUnmountsOnlyThatMount) {
    const QString first = mediaRoot() + "/First";
    const QString second = mediaRoot() + "/Second";
    ASSERT_TRUE(QDir().mkpath(first));
    ASSERT_TRUE(QDir().mkpath(second));
    m_commands.lsblkOutput = QStringLiteral(R"({"blockdevices": [
        {"name": "loop6", "kname": "loop6", "type": "loop", "fstype": "ext4", "uuid": "cccc-dddd",
         "mountpoints": ["%1", "%2"], "size": 1024}]})")
                                 .arg(first, second)
                                 .toUtf8();
    ASSERT_EQ(run({"unmount", second}).exitCode, 0);
    EXPECT_EQ(m_commands.callsOtherThanLsblk(), (QList<Call>{{"umount", {second}}}));

    m_commands.calls.clear();
    ASSERT_EQ(run({"unmount", "CCCC-DDDD"}).exitCode, 0);
    EXPECT_EQ(m_commands.callsOtherThanLsblk(), (QList<Call>{{"umount", {first}}, {"umount", {second}}}));
}

TEST_F(DiskToolTests, BusyUnmountFailsNamingTheHoldersAndKeepsTheDirectory) {
    const QString mountPoint = useMountedVolume("Shoot");
    MountRegistry(registryPath()).add(mountPoint);
    m_commands.results = {{32, {}, QStringLiteral("umount: %1: target is busy.\n").arg(mountPoint).toUtf8()}};
    m_holders = {{4242, "sleep"}, {4243, "bash"}};
    const CommandResult result = run({"unmount", "loop5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.output.isEmpty());
    EXPECT_EQ(result.error, "Volume Shoot on loop5 failed to unmount: target is busy\n"
                            "dissented by PID 4242 (sleep)\n"
                            "dissented by PID 4243 (bash)\n");
    EXPECT_TRUE(QFileInfo(mountPoint).isDir());
    EXPECT_TRUE(MountRegistry(registryPath()).take(mountPoint));
}

TEST_F(DiskToolTests, BusyUnmountThroughUDisksIsRecognised) {
    useMountedVolume("Shoot");
    m_udisksAnswers = true;
    m_commands.results = {
        {1,
         {},
         "Error unmounting /dev/loop5: GDBus.Error:org.freedesktop.UDisks2.Error.DeviceBusy: Error "
         "unmounting /dev/loop5: target is busy\n"}};
    m_holders = {{77, "kdenlive"}};
    const CommandResult result = run({"unmount", "aaaa-bbbb"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.error,
              "Volume Shoot on loop5 failed to unmount: target is busy\ndissented by PID 77 (kdenlive)\n");
    EXPECT_EQ(
        m_commands.callsOtherThanLsblk(),
        (QList<Call>{{"udisksctl", {"unmount", "--block-device", "/dev/loop5", "--no-user-interaction"}}}));
}

TEST_F(DiskToolTests, OtherUnmountFailuresCarryTheSystemsReason) {
    useMountedVolume("Shoot");
    m_commands.results = {{32, {}, "umount: /media/Shoot: must be superuser to unmount.\n"}};
    const CommandResult result = run({"unmount", "loop5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.error,
              "Volume Shoot on loop5 failed to unmount: umount: /media/Shoot: must be superuser to "
              "unmount.\n");
}

TEST_F(DiskToolTests, ApfsListHasAnEmptyContainerArrayWithOrWithoutContainer) {
    for (const QStringList& arguments :
         {QStringList{"apfs", "list", "disk3", "-plist"}, QStringList{"apfs", "list", "-plist"}}) {
        const CommandResult result = run(arguments);
        ASSERT_EQ(result.exitCode, 0);
        const PropertyList list = PropertyListReader::read(result.output);
        ASSERT_NE(list.array("Containers"), nullptr);
        EXPECT_TRUE(list.array("Containers")->empty());
    }
}

TEST_F(DiskToolTests, ExternalPhysicalListLeavesLoopDevicesOut) {
    const CommandResult result = run({"list", "-plist", "external", "physical"});
    ASSERT_EQ(result.exitCode, 0);
    const PropertyList list = PropertyListReader::read(result.output);
    ASSERT_NE(list.array("AllDisksAndPartitions"), nullptr);
    EXPECT_TRUE(list.array("AllDisksAndPartitions")->empty());
}

TEST_F(DiskToolTests, UnknownCommandLinesPrintUsageAndFail) {
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"info", "loop0"}, QStringList{"list", "-plist"},
          QStringList{"eject", "loop0"}, QStringList{"mount"}, QStringList{"unmount", "force", "loop0"}}) {
        const CommandResult result = run(arguments);
        EXPECT_EQ(result.exitCode, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.error.startsWith("Usage: ")) << arguments.join(' ').toStdString();
    }
    EXPECT_TRUE(m_commands.calls.isEmpty());
}

} // namespace
} // namespace tarnwell
