#include "DiskutilTestSupport.h"
#include "diskutil/MountRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gmock/gmock.h>
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
        QFile record(MountRegistry::defaultPath);
        EXPECT_FALSE(record.open(QIODevice::ReadOnly) && record.readAll().contains(label.toUtf8()));
        ASSERT_EQ(QDir("/media").entryList({label + "*"}, QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    }
}

// Something hostile done to a mounted volume before the tool unmounts it.
enum class Hostility {
    None,
    OverMount,       // a file system mounted over the volume's folder
    LookAlike,       // a file system mounted at a path whose text is the volume's mount point's
    StaleRecord,     // the volume unmounted by other means, its folder made anew by someone else
    SetUserId,       // a set-user-ID copy of the tool, run by an ordinary user
    PlantedPrograms, // LD_PRELOAD and PATH lead to programs of the caller's choosing
    HostileHolder,   // a process whose name has a line break in it keeps the volume busy
};

// Labels and mount paths that would do harm in a shell go through mount, unmount and the
// property list as they are. An ext4 label holds any 16 bytes but the zero byte. Text that is no
// UTF-8 cannot be carried by the XML property list or named in the tool's text arguments: it is
// shown with replacement characters, while the calls get the path's own bytes. What is done to the
// volume in between must leave it mounted or be refused, changing nothing.
TEST_F(LoopVolumeTests, HostileLabelsAndMountPathsPassVerbatimAndNeverReachAShell) {
    struct Row {
        const char* name;
        QByteArray label;
        QByteArray mountPath; // below a temporary folder, mounted by hand; empty: the tool mounts
        QString shownLabel;
        QString shownMountPoint; // the tool's folder below /media, or the hand-made path's text
        Hostility hostility;
    };
    const QString handPath = QDir(m_images.path()).canonicalPath();
    const std::vector<Row> rows = {
        {"markup", "Rushes & <Co>", {}, "Rushes & <Co>", "/media/Rushes & <Co>", Hostility::StaleRecord},
        {"quotes", "a \"b\" 'c' \\", {}, "a \"b\" 'c' \\", "/media/a \"b\" 'c' \\", Hostility::SetUserId},
        {"substitution", "$(touch x)", {}, "$(touch x)", "/media/$(touch x)", Hostility::HostileHolder},
        {"backticks", "`touch x`;x", {}, "`touch x`;x", "/media/`touch x`;x", Hostility::None},
        {"newline", "one\ntwo", {}, "one\ntwo", "/media/one_two", Hostility::OverMount},
        {"latin1", "caf\xE9", {}, "caf\uFFFD", "/media/caf\uFFFD", Hostility::None},
        {"hand-made path", "Plain", "/m n\nt $(touch x) `x` \"q\" 'q' <&>", "Plain",
         handPath + "/m n\nt $(touch x) `x` \"q\" 'q' <&>", Hostility::PlantedPrograms},
        {"hand-made latin1 path", "Plain", "/caf\xE9", "Plain", handPath + "/caf\uFFFD",
         Hostility::LookAlike},
    };
    // Runs COMMAND with a path given as bytes last. Hand mounts carry an option that only the mount
    // programs keep, so the tool leaves their unmount to umount.
    const auto onPath = [](const QString& command, const QByteArray& path) {
        return runProgram("sh", {"-c", "exec " + command + " \"$(printf '%b' \"$0\")\"", printfOctal(path)})
            .exitCode;
    };
    QFile::setPermissions(m_images.path(), QFile::permissions(m_images.path()) | QFile::ExeOther);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto volume = LoopVolume::create(m_images, row.label);
        ASSERT_TRUE(volume);
        const PropertyList before = volume->info(volume->path());
        const QString uuid = before.string("VolumeUUID").value_or(QString());
        EXPECT_EQ(before.string("VolumeName"), row.shownLabel);
        const QByteArray handMade = QFile::encodeName(handPath) + row.mountPath;
        const QByteArray path = row.mountPath.isEmpty() ? QFile::encodeName(row.shownMountPoint) : handMade;
        const auto told = [&](const QString& text) {
            return ("Volume " + row.shownLabel + " on " + volume->name() + text + "\n").toStdString();
        };
        const QString handMount = "mount -o x-tarnwell.test " + volume->path();
        if (row.mountPath.isEmpty()) {
            const CommandResult mounted = diskutil({"mount", uuid});
            EXPECT_EQ(mounted, (CommandResult{0, told(" mounted"), {}}));
        } else {
            ASSERT_EQ(::mkdir(handMade.constData(), 0755), 0);
            ASSERT_EQ(onPath(handMount, handMade), 0);
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

        QStringList environment;
        QStringList refused; // a command line the tool must refuse, with this message
        std::string refusal;
        QProcess holder;
        QByteArray beside; // mounted for the row, and there until its end
        QFile::remove(TARNWELL_DISKUTIL_PLANTED_MARKER);
        switch (row.hostility) {
        case Hostility::None:
            break;
        case Hostility::OverMount:
            ASSERT_EQ(onPath("mount -t tmpfs tmpfs", path), 0);
            refused = QStringList{TARNWELL_DISKUTIL_EXECUTABLE, "unmount", uuid};
            refusal = told(" is covered by another mount at " + row.shownMountPoint);
            break;
        case Hostility::LookAlike:
            beside = QFile::encodeName(row.shownMountPoint);
            ASSERT_TRUE(::mkdir(beside.constData(), 0755) == 0 &&
                        onPath("mount -t tmpfs tmpfs", beside) == 0);
            refused = QStringList{TARNWELL_DISKUTIL_EXECUTABLE, "unmount", row.shownMountPoint};
            refusal = ("Could not find disk: " + row.shownMountPoint + "\n").toStdString();
            break;
        case Hostility::StaleRecord:
            ASSERT_EQ(onPath("umount", path), 0);
            ASSERT_TRUE(::rmdir(path.constData()) == 0 && ::mkdir(path.constData(), 0755) == 0);
            ASSERT_EQ(onPath(handMount, path), 0);
            break;
        case Hostility::SetUserId: {
            // Copies owned by root on a file system that honours set-user-ID bits.
            const QString folder = m_images.filePath("suid");
            beside = QFile::encodeName(folder);
            const QStringList asNobody = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                                          "--clear-groups"};
            ASSERT_TRUE(QDir().mkpath(folder) &&
                        onPath("mount -t tmpfs -o suid,exec,mode=755 tmpfs", beside) == 0);
            for (const QString program : {"/usr/bin/id", TARNWELL_DISKUTIL_EXECUTABLE}) {
                const QString copy = folder + "/" + QFileInfo(program).fileName();
                ASSERT_TRUE(QFile::copy(program, copy) &&
                            ::chmod(QFile::encodeName(copy).constData(), 04755) == 0);
            }
            EXPECT_THAT(runProgram(asNobody.first(), asNobody.mid(1) + QStringList{folder + "/id"}).output,
                        ::testing::StartsWith("uid=65534(nobody) gid=65534(nogroup) euid=0(root)"));
            refused = asNobody + QStringList{folder + "/tarnwell-diskutil", "unmount", uuid};
            refusal = "tarnwell-diskutil must not be installed set-user-ID or set-group-ID; mounting goes "
                      "through UDisks2 for ordinary users\n";
            break;
        }
        case Hostility::PlantedPrograms: {
            // An umount that only pretends, first on the PATH.
            const QString planted = m_images.filePath("planted");
            ASSERT_TRUE(QDir().mkpath(planted) && QFile::link("/bin/true", planted + "/umount"));
            environment = {"LD_PRELOAD=" TARNWELL_DISKUTIL_PLANTED_LIBRARY,
                           "PATH=" + planted + ":/usr/bin:/bin", "ASAN_OPTIONS=verify_asan_link_order=0"};
            break;
        }
        case Hostility::HostileHolder:
            // Holds a file on the volume open, under a name that would forge a line of the message.
            ASSERT_TRUE(QFile::link("/bin/sleep", m_images.filePath("x\nforged")));
            holder.setStandardOutputFile(row.shownMountPoint + "/held");
            holder.start(m_images.filePath("x\nforged"), {"60"});
            ASSERT_TRUE(holder.waitForStarted());
            refused = QStringList{TARNWELL_DISKUTIL_EXECUTABLE, "unmount", uuid};
            refusal = told(QStringLiteral(" failed to unmount: target is busy\ndissented by PID %1 (xforged)")
                               .arg(holder.processId()));
            break;
        }
        if (!refused.isEmpty()) {
            EXPECT_EQ(runProgram(refused.first(), refused.mid(1)), (CommandResult{1, {}, refusal}));
        }
        holder.kill();
        holder.waitForFinished();
        // Had the refused unmount taken off what covers the volume, this would take off the volume.
        if (row.hostility == Hostility::OverMount) {
            EXPECT_EQ(onPath("umount", path), 0);
        }
        EXPECT_EQ(volume->mountPoints(), QStringList{row.shownMountPoint});

        const CommandResult unmounted =
            runProgram("env", environment + QStringList{TARNWELL_DISKUTIL_EXECUTABLE, "unmount",
                                                        nameable ? row.shownMountPoint : uuid});
        EXPECT_EQ(unmounted, (CommandResult{0, told(" unmounted"), {}}));
        EXPECT_TRUE(volume->mountPoints().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(TARNWELL_DISKUTIL_PLANTED_MARKER)) << "a planted program ran";
        // The tool removes the folder it made and leaves one made by hand, or made anew by hand.
        const bool handFolder = !row.mountPath.isEmpty() || row.hostility == Hostility::StaleRecord;
        EXPECT_EQ(::access(path.constData(), F_OK) == 0, handFolder);
        if (!beside.isEmpty()) {
            EXPECT_EQ(onPath("umount", beside), 0) << "the tool took off a mount that was not the volume's";
            ::rmdir(beside.constData());
        }
        EXPECT_FALSE(QFileInfo::exists("x")) << "a shell ran a name";
        ::rmdir(path.constData());
    }
}

} // namespace
} // namespace tarnwell
