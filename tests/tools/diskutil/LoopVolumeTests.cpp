#include "DiskutilTestSupport.h"
#include "diskutil/MountRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// The built tool as a child process over loop devices with real file systems, mounting under
// /media/. These tests need root and skip themselves otherwise.

namespace tarnwell {
namespace {

using namespace testing;

using LoopVolumeTests = RootLoopVolumeTest;

// Tool runs side by side, all for volumes of one label, so they compete for the same folder names
// and for the record of the folders they made; afterwards no folder of theirs is left.
TEST_F(LoopVolumeTests, ConcurrentMountsAndUnmountsLeaveNoFolderBehind) {
    constexpr int volumeCount = 6;
    const QString label = uniqueLabel("Crowd");
    std::vector<std::unique_ptr<LoopVolume>> volumes;
    QStringList uuids;
    for (int index = 0; index < volumeCount; ++index) {
        volumes.push_back(LoopVolume::create(m_images, label.toUtf8()));
        ASSERT_TRUE(volumes.back());
        uuids.append(volumes.back()->info(volumes.back()->path()).string("VolumeUUID").value_or(QString()));
    }
    const auto runAll = [&uuids](const QString& command) {
        std::vector<std::unique_ptr<QProcess>> runs;
        for (const QString& uuid : uuids) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->start(TARNWELL_DISKUTIL_EXECUTABLE, {command, uuid});
        }
        for (const auto& run : runs) {
            EXPECT_TRUE(run->waitForFinished(60000));
            const QByteArray error = run->readAllStandardError();
            EXPECT_TRUE(run->exitCode() == 0 && error.isEmpty())
                << command.toStdString() << ": " << error.toStdString();
        }
    };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        runAll("mount");
        QStringList mountPoints;
        for (const auto& volume : volumes) {
            mountPoints += volume->mountPoints();
        }
        mountPoints.removeDuplicates();
        EXPECT_EQ(mountPoints.size(), volumeCount);
        runAll("unmount");
        for (const QString& mountPoint : mountPoints) {
            EXPECT_FALSE(MountRegistry().take(mountPoint.toStdString())) << mountPoint.toStdString();
        }
        ASSERT_EQ(QDir("/media").entryList({label + "*"}, QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    }
}

// Labels and mount paths that would do harm in a shell go through mount, unmount and the
// property list as they are. An ext4 label holds any 16 bytes but the zero byte. Text that is no
// UTF-8 cannot be carried by the XML property list or named in the tool's text arguments: it is
// shown with replacement characters, and such a mount is unmounted through its device.
TEST_F(LoopVolumeTests, HostileLabelsAndMountPathsPassVerbatimAndNeverReachAShell) {
    struct Row {
        const char* name;
        QByteArray label;
        QByteArray mountPath; // below a temporary folder, mounted by hand; empty: the tool mounts
        QString shownLabel;
        QString shownMountPoint; // the tool's folder below /media, or the hand-made path's text
    };
    const QString handPath = QDir(m_images.path()).canonicalPath();
    const std::vector<Row> rows = {
        {"markup", "Rushes & <Co>", {}, "Rushes & <Co>", "/media/Rushes & <Co>"},
        {"quotes", "a \"b\" 'c' \\", {}, "a \"b\" 'c' \\", "/media/a \"b\" 'c' \\"},
        {"substitution", "$(touch x)", {}, "$(touch x)", "/media/$(touch x)"},
        {"backticks", "`touch x`;x", {}, "`touch x`;x", "/media/`touch x`;x"},
        {"newline", "one\ntwo", {}, "one\ntwo", "/media/one_two"},
        {"latin1", "caf\xE9", {}, "caf\uFFFD", "/media/caf\uFFFD"},
        {"hand-made path", "Plain", "/m n\nt $(touch x) `x` \"q\" 'q' <&>", "Plain",
         handPath + "/m n\nt $(touch x) `x` \"q\" 'q' <&>"},
        {"hand-made latin1 path", "Plain", "/caf\xE9", "Plain", handPath + "/caf\uFFFD"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto volume = LoopVolume::create(m_images, row.label);
        ASSERT_TRUE(volume);
        const PropertyList before = volume->info(volume->path());
        const QString uuid = before.string("VolumeUUID").value_or(QString());
        EXPECT_EQ(before.string("VolumeName"), row.shownLabel);
        const QByteArray handMade = QFile::encodeName(handPath) + row.mountPath;
        const auto told = [&](const QString& text) {
            return ("Volume " + row.shownLabel + " on " + volume->name() + text + "\n").toStdString();
        };
        if (row.mountPath.isEmpty()) {
            const CommandResult mounted = diskutil({"mount", uuid});
            EXPECT_EQ(mounted, (CommandResult{0, told(" mounted"), {}}));
        } else {
            ASSERT_EQ(::mkdir(handMade.constData(), 0755), 0);
            ASSERT_EQ(runProgram("sh", {"-c", "exec mount \"$0\" \"$(printf '%b' \"$1\")\"", volume->path(),
                                        printfOctal(handMade)})
                          .exitCode,
                      0);
        }
        ASSERT_EQ(volume->mountPoints(), QStringList{row.shownMountPoint});
        const bool nameable =
            !row.shownMountPoint.contains(QChar::ReplacementCharacter) || row.mountPath.isEmpty();
        // Any target finds the volume: its UUID in either case, its device, a path inside the mount.
        QStringList targets = {uuid.toUpper(), volume->name()};
        if (nameable) {
            targets.append(row.shownMountPoint + "/lost+found");
        }
        for (const QString& target : targets) {
            EXPECT_EQ(volume->info(target).string("MountPoint"), row.shownMountPoint) << target.toStdString();
        }
        EXPECT_EQ(diskutil({"mount", uuid}).output, told(" is already mounted at " + row.shownMountPoint));
        const CommandResult unmounted = diskutil({"unmount", nameable ? row.shownMountPoint : uuid});
        EXPECT_EQ(unmounted, (CommandResult{0, told(" unmounted"), {}}));
        EXPECT_TRUE(volume->mountPoints().isEmpty());
        // The tool removes the folder it made and leaves one made by hand.
        EXPECT_EQ(::access(row.mountPath.isEmpty() ? QFile::encodeName(row.shownMountPoint).constData()
                                                   : handMade.constData(),
                           F_OK) == 0,
                  !row.mountPath.isEmpty());
        EXPECT_FALSE(QFileInfo::exists("x")) << "a shell ran a name";
        ::rmdir(handMade.constData());
    }
}

} // namespace
} // namespace tarnwell
