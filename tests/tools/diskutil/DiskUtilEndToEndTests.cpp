#include "DiskutilTestSupport.h"
#include "core/support/PropertyListReader.h"
#include "diskutil/BlkidFilesystemProbe.h"
#include "diskutil/MountRegistry.h"
#include "diskutil/ProcessCommandRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// These tests drive the built tool as a child process over loop devices with real file systems,
// mounting under /media/. They need root and skip themselves otherwise.

namespace tarnwell {
namespace {

CommandResult runProgram(const QString& program, const QStringList& arguments) {
    return ProcessCommandRunner().run(program, arguments);
}

CommandResult diskutil(const QStringList& arguments) {
    return runProgram(QStringLiteral(TARNWELL_DISKUTIL_EXECUTABLE), arguments);
}

QString decodeMountInfoPath(const QByteArray& field) {
    QByteArray decoded;
    for (qsizetype index = 0; index < field.size(); ++index) {
        if (field.at(index) == '\\' && index + 3 < field.size()) {
            decoded.append(static_cast<char>(field.mid(index + 1, 3).toInt(nullptr, 8)));
            index += 3;
        } else {
            decoded.append(field.at(index));
        }
    }
    return QString::fromUtf8(decoded);
}

// Mount points of the device "major:minor", read straight from the kernel's table.
QStringList mountPointsOf(const QString& majorMinor) {
    QFile file("/proc/self/mountinfo");
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList result;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && QString::fromLatin1(fields.at(2)) == majorMinor) {
            result.append(decodeMountInfoPath(fields.at(4)));
        }
    }
    return result;
}

bool kernelMounts(const QString& fileSystem) {
    QFile file("/proc/filesystems");
    return file.open(QIODevice::ReadOnly) &&
           file.readAll().split('\n').contains(("\t" + fileSystem).toUtf8());
}

// A file-system image attached to a loop device. Whatever happens in the test, the destructor
// unmounts what is still mounted (plainly, never forced) and detaches the device.
class LoopVolume {
public:
    static std::unique_ptr<LoopVolume> create(const QTemporaryDir& directory, const QString& mkfs,
                                              const QStringList& mkfsArguments) {
        auto volume = std::unique_ptr<LoopVolume>(new LoopVolume);
        const QString image =
            directory.filePath(QStringLiteral("image-%1").arg(QRandomGenerator::global()->generate()));
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(64 * 1024 * 1024)) {
            ADD_FAILURE() << "cannot create " << image.toStdString();
            return nullptr;
        }
        file.close();
        const CommandResult formatted = runProgram(mkfs, mkfsArguments + QStringList{image});
        if (formatted.exitCode != 0) {
            ADD_FAILURE() << mkfs.toStdString() << ": " << formatted.error.toStdString();
            return nullptr;
        }
        const CommandResult attached = runProgram("losetup", {"--find", "--show", image});
        if (attached.exitCode != 0) {
            ADD_FAILURE() << "losetup: " << attached.error.toStdString();
            return nullptr;
        }
        volume->m_path = QString::fromUtf8(attached.output).trimmed();
        struct stat status {};
        ::stat(QFile::encodeName(volume->m_path).constData(), &status);
        volume->m_majorMinor = QStringLiteral("%1:%2").arg(major(status.st_rdev)).arg(minor(status.st_rdev));
        return volume;
    }

    ~LoopVolume() {
        for (const QString& mountPoint : mountPointsOf(m_majorMinor)) {
            const CommandResult result = runProgram("umount", {mountPoint});
            EXPECT_EQ(result.exitCode, 0) << "cleanup could not unmount " << mountPoint.toStdString();
            if (MountRegistry().take(mountPoint)) {
                QDir().rmdir(mountPoint);
            }
        }
        runProgram("losetup", {"--detach", m_path});
    }

    const QString& path() const { return m_path; }
    QString name() const { return QFileInfo(m_path).fileName(); }
    QStringList mountPoints() const { return mountPointsOf(m_majorMinor); }

    PropertyList info(const QString& target) const {
        const CommandResult result = diskutil({"info", "-plist", target});
        EXPECT_EQ(result.exitCode, 0) << result.error.toStdString();
        return PropertyListReader::read(result.output);
    }

private:
    LoopVolume() = default;

    QString m_path;
    QString m_majorMinor;
};

class DiskUtilEndToEndTests : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root for loop devices and mounts";
        }
        ASSERT_TRUE(m_images.isValid());
    }

    // Labels differ between runs so that tests running side by side never meet in /media/.
    static QString uniqueLabel(const QString& stem) {
        return stem + QString::number(QRandomGenerator::global()->bounded(100, 999));
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
