#include "DiskutilTestSupport.h"
#include "diskutil/BlkidFilesystemProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

// These tests drive the built tool as a child process over loop devices with real file systems,
// mounting under /media/. They need root and skip themselves otherwise.

namespace tarnwell {
namespace {

using testing::diskutil;
using testing::LoopVolume;
using testing::MountHolder;
using testing::runProgram;
using testing::uniqueLabel;

bool kernelMounts(const QString& fileSystem) {
    QFile file("/proc/filesystems");
    return file.open(QIODevice::ReadOnly) &&
           file.readAll().split('\n').contains(("\t" + fileSystem).toUtf8());
}

class DiskUtilEndToEndTests : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root for loop devices and mounts";
        }
        ASSERT_TRUE(m_images.isValid());
    }

    QTemporaryDir m_images;
};

// One ext4 volume through info by every kind of target, mount, a second mount and the unmount by its
// mount path.
TEST_F(DiskUtilEndToEndTests, Ext4VolumeIsFoundByEveryTargetMountedOnceAndUnmountedByPath) {
    const QString label = uniqueLabel(QString::fromUtf8("A &<>é "));
    const auto volume = LoopVolume::create(m_images, "mkfs.ext4", {"-q", "-L", label});
    ASSERT_TRUE(volume);
    const PropertyList byDevice = volume->info(volume->path());
    const QString uuid = *byDevice.string("VolumeUUID");
    EXPECT_EQ(byDevice.string("VolumeName"), label);
    EXPECT_EQ(byDevice.string("DeviceIdentifier"), volume->name());
    EXPECT_EQ(byDevice.string("FilesystemName"), "ext4");
    EXPECT_EQ(byDevice.string("MountPoint"), "");
    EXPECT_EQ(byDevice.string("BusProtocol"), "Disk Image");
    EXPECT_TRUE(byDevice.boolean("Internal").has_value());

    EXPECT_EQ(volume->info(uuid.toUpper()).string("DeviceIdentifier"), volume->name());
    EXPECT_EQ(volume->info(uuid.toLower()).string("DeviceIdentifier"), volume->name());
    EXPECT_EQ(volume->info(volume->name()).string("VolumeUUID"), uuid);

    const CommandResult mounted = diskutil({"mount", uuid});
    ASSERT_EQ(mounted.exitCode, 0) << mounted.error.toStdString();
    EXPECT_EQ(mounted.output,
              QStringLiteral("Volume %1 on %2 mounted\n").arg(label, volume->name()).toUtf8());
    const QString mountPoint = "/media/" + label;
    ASSERT_EQ(volume->mountPoints(), QStringList{mountPoint});
    const PropertyList byPath = volume->info(mountPoint);
    EXPECT_EQ(byPath.string("VolumeUUID"), uuid);
    EXPECT_EQ(byPath.string("MountPoint"), mountPoint);

    const CommandResult again = diskutil({"mount", uuid.toUpper()});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.output.contains("already mounted"));
    EXPECT_EQ(volume->mountPoints(), QStringList{mountPoint});

    const CommandResult unmounted = diskutil({"unmount", mountPoint});
    EXPECT_EQ(unmounted.exitCode, 0) << unmounted.error.toStdString();
    EXPECT_TRUE(volume->mountPoints().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(mountPoint));
    EXPECT_EQ(volume->info(volume->path()).string("MountPoint"), "");
}

TEST_F(DiskUtilEndToEndTests, VfatAndExfatVolumesAreReadAndVfatMounts) {
    const auto fat = LoopVolume::create(m_images, "mkfs.vfat", {"-F", "32", "-n", "CARD 2024"});
    ASSERT_TRUE(fat);
    const PropertyList fatInfo = fat->info(fat->path());
    EXPECT_EQ(fatInfo.string("VolumeName"), "CARD 2024");
    EXPECT_EQ(fatInfo.string("FilesystemName"), "MS-DOS FAT32");
    EXPECT_EQ(fatInfo.string("FilesystemType"), "msdos");
    const QString fatUuid = *fatInfo.string("VolumeUUID");
    EXPECT_EQ(fat->info(fatUuid.toLower()).string("DeviceIdentifier"), fat->name());
    if (kernelMounts("vfat")) {
        const CommandResult mounted = diskutil({"mount", fatUuid});
        ASSERT_EQ(mounted.exitCode, 0) << mounted.error.toStdString();
        ASSERT_EQ(fat->mountPoints().size(), 1);
        EXPECT_TRUE(fat->mountPoints().first().startsWith("/media/CARD 2024"));
    }

    if (QStandardPaths::findExecutable("mkfs.exfat", {"/usr/sbin", "/sbin", "/usr/bin"}).isEmpty()) {
        GTEST_SKIP() << "mkfs.exfat is not installed";
    }
    const auto exfat = LoopVolume::create(m_images, "mkfs.exfat", {"-L", QString::fromUtf8("Ünï &<>")});
    ASSERT_TRUE(exfat);
    const PropertyList exfatInfo = exfat->info(exfat->path());
    EXPECT_EQ(exfatInfo.string("VolumeName"), QString::fromUtf8("Ünï &<>"));
    EXPECT_EQ(exfatInfo.string("FilesystemName"), "ExFAT");
    EXPECT_EQ(exfat->info(exfatInfo.string("VolumeUUID")->toLower()).string("DeviceIdentifier"),
              exfat->name());
}

TEST_F(DiskUtilEndToEndTests, InProcessProbeAgreesWithBlkidAndAVolumeWithoutLabelIsUntitled) {
    const auto volume =
        LoopVolume::create(m_images, "mkfs.ext4", {"-q", "-L", QString::fromUtf8("Prob &<>é")});
    ASSERT_TRUE(volume);
    const CommandResult blkid = runProgram("blkid", {"-p", "-o", "udev", volume->path()});
    ASSERT_EQ(blkid.exitCode, 0);
    const FilesystemIdentity expected = testing::identityFromBlkidUdev(blkid.output);
    EXPECT_EQ(BlkidFilesystemProbe().probe(volume->path()), expected);
    EXPECT_EQ(expected.label, QString::fromUtf8("Prob &<>é"));

    const auto unlabelled = LoopVolume::create(m_images, "mkfs.ext4", {"-q"});
    ASSERT_TRUE(unlabelled);
    EXPECT_EQ(
        BlkidFilesystemProbe().probe(unlabelled->path()),
        testing::identityFromBlkidUdev(runProgram("blkid", {"-p", "-o", "udev", unlabelled->path()}).output));
    EXPECT_EQ(unlabelled->info(unlabelled->path()).string("VolumeName"), "Untitled");
}

TEST_F(DiskUtilEndToEndTests, BusyVolumeStaysMountedAndNamesTheHolder) {
    const QString label = uniqueLabel("Busy ");
    const auto volume = LoopVolume::create(m_images, "mkfs.ext4", {"-q", "-L", label});
    ASSERT_TRUE(volume);
    const QString uuid = *volume->info(volume->path()).string("VolumeUUID");
    ASSERT_EQ(diskutil({"mount", uuid}).exitCode, 0);
    const QString mountPoint = "/media/" + label;
    ASSERT_EQ(volume->mountPoints(), QStringList{mountPoint});

    // Declared after the volume, so it ends before the volume's cleanup unmounts.
    MountHolder holder(mountPoint);
    ASSERT_TRUE(holder.isRunning());

    const CommandResult refused = diskutil({"unmount", uuid});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.error, QStringLiteral("Volume %1 on %2 failed to unmount: target is busy\n"
                                            "dissented by PID %3 (sleep)\n")
                                 .arg(label, volume->name())
                                 .arg(holder.processId())
                                 .toUtf8());
    EXPECT_EQ(volume->mountPoints(), QStringList{mountPoint});
    EXPECT_TRUE(QFileInfo(mountPoint).isDir());

    holder.stop();
    const CommandResult released = diskutil({"unmount", uuid});
    EXPECT_EQ(released.exitCode, 0) << released.error.toStdString();
    EXPECT_EQ(released.output,
              QStringLiteral("Volume %1 on %2 unmounted\n").arg(label, volume->name()).toUtf8());
    EXPECT_TRUE(volume->mountPoints().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(mountPoint));
}

TEST_F(DiskUtilEndToEndTests, ExistingMediaDirectoryIsNeitherUsedNorRemoved) {
    const QString label = uniqueLabel("Taken ");
    const QString taken = "/media/" + label;
    ASSERT_TRUE(QDir().mkpath(taken));
    const auto removeTaken = qScopeGuard([taken] { QDir().rmdir(taken); });
    const auto volume = LoopVolume::create(m_images, "mkfs.ext4", {"-q", "-L", label});
    ASSERT_TRUE(volume);
    ASSERT_EQ(diskutil({"mount", volume->path()}).exitCode, 0);
    EXPECT_EQ(volume->mountPoints(), QStringList{taken + "1"});
    EXPECT_EQ(diskutil({"unmount", volume->path()}).exitCode, 0);
    EXPECT_FALSE(QFileInfo::exists(taken + "1"));
    EXPECT_TRUE(QFileInfo(taken).isDir());
}

} // namespace
} // namespace tarnwell
