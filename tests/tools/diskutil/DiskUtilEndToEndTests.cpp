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

TEST_F(DiskUtilEndToEndTests, InfoFindsAnExt4VolumeByUuidInBothCasesByDeviceAndByMountPath) {
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
    ASSERT_EQ(volume->mountPoints().size(), 1);
    const QString mountPoint = volume->mountPoints().first();
    EXPECT_EQ(mountPoint, "/media/" + label);
    const PropertyList byPath = volume->info(mountPoint);
    EXPECT_EQ(byPath.string("VolumeUUID"), uuid);
    EXPECT_EQ(byPath.string("MountPoint"), mountPoint);
}

TEST_F(DiskUtilEndToEndTests, InfoReadsVfatAndExfatVolumes) {
    const auto fat = LoopVolume::create(m_images, "mkfs.vfat", {"-F", "32", "-n", "CARD 2024"});
    ASSERT_TRUE(fat);
    const PropertyList fatInfo = fat->info(fat->path());
    EXPECT_EQ(fatInfo.string("VolumeName"), "CARD 2024");
    EXPECT_EQ(fatInfo.string("FilesystemName"), "MS-DOS FAT32");
    EXPECT_EQ(fatInfo.string("FilesystemType"), "msdos");
    const QString fatUuid = *fatInfo.string("VolumeUUID");
    EXPECT_EQ(fat->info(fatUuid.toLower()).string("DeviceIdentifier"), fat->name());

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

TEST_F(DiskUtilEndToEndTests, VolumeWithoutLabelIsUntitled) {
    const auto volume = LoopVolume::create(m_images, "mkfs.ext4", {"-q"});
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->info(volume->path()).string("VolumeName"), "Untitled");
}

TEST_F(DiskUtilEndToEndTests, InProcessProbeAgreesWithTheBlkidProgram) {
    const auto volume =
        LoopVolume::create(m_images, "mkfs.ext4", {"-q", "-L", QString::fromUtf8("Prob &<>é")});
    ASSERT_TRUE(volume);
    const CommandResult blkid = runProgram("blkid", {"-p", "-o", "udev", volume->path()});
    ASSERT_EQ(blkid.exitCode, 0);
    const FilesystemIdentity expected = testing::identityFromBlkidUdev(blkid.output);
    EXPECT_EQ(BlkidFilesystemProbe().probe(volume->path()), expected);
    EXPECT_EQ(expected.label, QString::fromUtf8("Prob &<>é"));
}

TEST_F(DiskUtilEndToEndTests, MountAppearsUnderMediaAndASecondMountSaysSo) {
    const QString label = uniqueLabel("Shoot ");
    const auto volume = LoopVolume::create(m_images, "mkfs.ext4", {"-q", "-L", label});
    ASSERT_TRUE(volume);
    const QString uuid = *volume->info(volume->path()).string("VolumeUUID");

    const CommandResult mounted = diskutil({"mount", uuid});
    ASSERT_EQ(mounted.exitCode, 0) << mounted.error.toStdString();
    EXPECT_EQ(mounted.output,
              QStringLiteral("Volume %1 on %2 mounted\n").arg(label, volume->name()).toUtf8());
    EXPECT_EQ(volume->mountPoints(), QStringList{"/media/" + label});

    const CommandResult again = diskutil({"mount", uuid.toUpper()});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.output.contains("already mounted"));
    EXPECT_EQ(volume->mountPoints().size(), 1);
}

TEST_F(DiskUtilEndToEndTests, VfatVolumeMountsWhenTheKernelCanMountIt) {
    if (!kernelMounts("vfat")) {
        GTEST_SKIP() << "this kernel cannot mount vfat";
    }
    const auto volume = LoopVolume::create(m_images, "mkfs.vfat", {"-n", "FATCARD"});
    ASSERT_TRUE(volume);
    const QString uuid = *volume->info(volume->path()).string("VolumeUUID");
    const CommandResult mounted = diskutil({"mount", uuid});
    ASSERT_EQ(mounted.exitCode, 0) << mounted.error.toStdString();
    ASSERT_EQ(volume->mountPoints().size(), 1);
    EXPECT_TRUE(volume->mountPoints().first().startsWith("/media/FATCARD"));
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
    QProcess holder;
    const auto stopHolder = qScopeGuard([&holder] {
        holder.kill();
        holder.waitForFinished();
    });
    holder.setWorkingDirectory(mountPoint);
    holder.start("sleep", {"60"});
    ASSERT_TRUE(holder.waitForStarted());

    const CommandResult refused = diskutil({"unmount", uuid});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.error, QStringLiteral("Volume %1 on %2 failed to unmount: target is busy\n"
                                            "dissented by PID %3 (sleep)\n")
                                 .arg(label, volume->name())
                                 .arg(holder.processId())
                                 .toUtf8());
    EXPECT_EQ(volume->mountPoints(), QStringList{mountPoint});
    EXPECT_TRUE(QFileInfo(mountPoint).isDir());

    holder.kill();
    holder.waitForFinished();
    const CommandResult released = diskutil({"unmount", uuid});
    EXPECT_EQ(released.exitCode, 0) << released.error.toStdString();
    EXPECT_EQ(released.output,
              QStringLiteral("Volume %1 on %2 unmounted\n").arg(label, volume->name()).toUtf8());
    EXPECT_TRUE(volume->mountPoints().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(mountPoint));
}

TEST_F(DiskUtilEndToEndTests, UnmountByMountPathRemovesTheMountAndItsDirectory) {
    const QString label = uniqueLabel(QString::fromUtf8("Idle é&<> "));
    const auto volume = LoopVolume::create(m_images, "mkfs.ext4", {"-q", "-L", label});
    ASSERT_TRUE(volume);
    ASSERT_EQ(diskutil({"mount", volume->name()}).exitCode, 0);
    ASSERT_EQ(volume->mountPoints().size(), 1);
    const QString mountPoint = volume->mountPoints().first();

    const CommandResult result = diskutil({"unmount", mountPoint});
    EXPECT_EQ(result.exitCode, 0) << result.error.toStdString();
    EXPECT_TRUE(volume->mountPoints().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(mountPoint));
    EXPECT_EQ(volume->info(volume->path()).string("MountPoint"), "");
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

TEST_F(DiskUtilEndToEndTests, UnknownUuidIsNotFound) {
    const CommandResult result = diskutil({"info", "-plist", "01234567-89AB-CDEF-0123-456789ABCDEF"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.error, "Could not find disk: 01234567-89AB-CDEF-0123-456789ABCDEF\n");
}

} // namespace
} // namespace tarnwell
