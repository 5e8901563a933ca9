#include "DiskutilTestSupport.h"
#include "core/disk/DiskService.h"
#include "core/disk/DiskutilParser.h"
#include "core/disk/LocalVolumeTargetService.h"
#include "core/disk/ShellRunner.h"
#include "core/disk/StorageTargetService.h"
#include "core/model/TarnwellError.h"
#include "support/QtPrinters.h"
#include "support/TarnwellErrorCapture.h"
#include "support/TaskRunner.h"

#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

// The application's own disk service driving the built tool over loop devices, the way the
// application meets real drives. The tool sits beside this executable, where the service looks for
// it by default. These tests need root and skip themselves otherwise.

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using testing::caughtTarnwellError;
using testing::LoopVolume;
using testing::MountHolder;
using testing::runTask;
using testing::uniqueLabel;

// Hands every command to the real runner and keeps what the tool answered, so a test can see what
// the service was told even when the service decides not to pass it on.
class RecordingShell : public ShellRunning {
public:
    struct Run {
        QStringList arguments;
        ShellResult result;
    };

    QList<Run> runs;

    QCoro::Task<ShellResult> run(QString command, QStringList arguments,
                                 std::stop_token stopToken = {}) override {
        const ShellResult result = co_await m_runner.run(command, arguments, stopToken);
        runs.append(Run{arguments, result});
        co_return result;
    }

private:
    ShellRunner m_runner;
};

void expectDrive(const DriveInfo& actual, const DriveInfo& expected) {
    EXPECT_EQ(actual.volumeName, expected.volumeName);
    EXPECT_EQ(actual.volumeUUID, expected.volumeUUID);
    EXPECT_EQ(actual.diskIdentifier, expected.diskIdentifier);
    EXPECT_EQ(actual.fileSystem, expected.fileSystem);
    EXPECT_EQ(actual.mountPoint, expected.mountPoint);
    EXPECT_EQ(actual.busProtocol, expected.busProtocol);
    EXPECT_EQ(actual.isExternal, expected.isExternal);
    EXPECT_EQ(actual.isMounted, expected.isMounted);
}

class DiskServiceEndToEndTests : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root for loop devices and mounts";
        }
        ASSERT_TRUE(m_images.isValid());
        ASSERT_EQ(QFileInfo(m_service->diskutilPath()).canonicalFilePath(),
                  QFileInfo(TARNWELL_DISKUTIL_EXECUTABLE).canonicalFilePath());
    }

    // An ext4 volume whose label has spaces, markup characters and a non-ASCII letter. Its UUID
    // comes from blkid, so the tool's answers are checked against the file system itself.
    std::unique_ptr<LoopVolume> createVolume(const QString& stem) {
        m_label = uniqueLabel(stem);
        auto volume = LoopVolume::create(m_images, "mkfs.ext4", {"-q", "-L", m_label});
        if (volume) {
            const CommandResult blkid = testing::runProgram("blkid", {"-p", "-o", "udev", volume->path()});
            EXPECT_EQ(blkid.exitCode, 0) << blkid.error.toStdString();
            const FilesystemIdentity identity = testing::identityFromBlkidUdev(blkid.output);
            EXPECT_EQ(identity.label, m_label);
            m_uuid = identity.uuid.value_or(QString());
        }
        return volume;
    }

    DriveInfo expectedDrive(const LoopVolume& volume, std::optional<QString> mountPoint) const {
        const bool mounted = mountPoint.has_value();
        return DriveInfo{m_label,
                         m_uuid,
                         volume.name(),
                         QStringLiteral("ext4"),
                         std::move(mountPoint),
                         QStringLiteral("Disk Image"),
                         false,
                         mounted};
    }

    LocalVolumeTarget target(const LoopVolume& volume) const {
        return LocalVolumeTarget{m_label,       m_uuid,
                                 volume.name(), QStringLiteral("ext4"),
                                 std::nullopt,  QStringLiteral("Disk Image"),
                                 false};
    }

    QTemporaryDir m_images;
    std::shared_ptr<DiskService> m_service = std::make_shared<DiskService>();
    QString m_label;
    QString m_uuid;
};

TEST_F(DiskServiceEndToEndTests, InfoAndMountThroughTheServiceReachTheKernelAndTheTargetStatus) {
    const auto volume = createVolume(QString::fromUtf8("Fé &<> "));
    ASSERT_TRUE(volume);
    ASSERT_FALSE(m_uuid.isEmpty());
    expectDrive(runTask(m_service->info(m_uuid), 20s), expectedDrive(*volume, std::nullopt));
    // The UUID is looked up in any letter case but reported as the file system spells it.
    expectDrive(runTask(m_service->info(m_uuid.toUpper()), 20s), expectedDrive(*volume, std::nullopt));
    const auto localVolumes = std::make_shared<LocalVolumeTargetService>(m_service);
    StorageTargetService storageTargets(localVolumes);
    const StorageTarget storageTarget = StorageTarget::localVolume(target(*volume));

    EXPECT_FALSE(runTask(m_service->isMounted(m_uuid), 20s));
    EXPECT_EQ(runTask(storageTargets.status(storageTarget), 20s), StorageTargetRuntimeStatus::notMounted());

    runTask(m_service->mount(m_uuid), 20s);
    const QString mountPoint = "/media/" + m_label;
    ASSERT_EQ(volume->mountPoints(), QStringList{mountPoint});
    expectDrive(runTask(m_service->info(m_uuid), 20s), expectedDrive(*volume, mountPoint));
    EXPECT_TRUE(runTask(m_service->isMounted(m_uuid), 20s));
    EXPECT_EQ(runTask(localVolumes->status(target(*volume)), 20s), StorageTargetRuntimeStatus::mounted());
    EXPECT_EQ(runTask(storageTargets.status(storageTarget), 20s), StorageTargetRuntimeStatus::mounted());

    // A second mount is not an error and leaves the one mount in place.
    runTask(storageTargets.mount(storageTarget), 20s);
    EXPECT_EQ(volume->mountPoints(), QStringList{mountPoint});

    runTask(storageTargets.unmount(storageTarget), 20s);
    EXPECT_TRUE(volume->mountPoints().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(mountPoint));
    EXPECT_EQ(runTask(storageTargets.status(storageTarget), 20s), StorageTargetRuntimeStatus::notMounted());
    const std::optional<TarnwellError> again = caughtTarnwellError(storageTargets.unmount(storageTarget));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->errorCase(), TarnwellError::Case::DriveNotMounted);
}

TEST_F(DiskServiceEndToEndTests, UnknownVolumeIsReportedAsTheToolSaysIt) {
    const QString unknown = QStringLiteral("01234567-89ab-cdef-0123-456789abcdef");
    const std::optional<TarnwellError> error = caughtTarnwellError(m_service->info(unknown));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), TarnwellError::Case::CommandFailed);
    EXPECT_EQ(error->exitCode(), 1);
    EXPECT_EQ(error->userMessage(),
              "Command failed: " + m_service->diskutilPath() + " info -plist " + unknown +
                  "\nExit code: 1\nStdout: \nStderr: Could not find disk: " + unknown + "\n");
    EXPECT_FALSE(runTask(m_service->isMounted(unknown), 20s));

    const std::optional<TarnwellError> mountError = caughtTarnwellError(m_service->mount(unknown));
    ASSERT_TRUE(mountError);
    EXPECT_EQ(mountError->errorCase(), TarnwellError::Case::MountFailed);
    EXPECT_TRUE(mountError->userMessage().contains("Could not find disk: " + unknown));

    StorageTargetService storageTargets(std::make_shared<LocalVolumeTargetService>(m_service));
    EXPECT_EQ(runTask(storageTargets.status(StorageTarget::localVolume(LocalVolumeTarget{
                          "Gone", unknown, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false})),
                      20s),
              StorageTargetRuntimeStatus::targetNotFound());
}

// How a test asks the service to unmount the volume, and the tool target that request becomes.
struct UnmountRoute {
    const char* name;
    std::function<QCoro::Task<>(std::shared_ptr<DiskService>, const LocalVolumeTarget&,
                                const QString& mountPoint)>
        unmount;
    std::function<QString(const LoopVolume&, const QString& mountPoint)> toolTarget;
};

void PrintTo(const UnmountRoute& route, std::ostream* stream) {
    *stream << route.name;
}

class BusyUnmountTests : public DiskServiceEndToEndTests,
                         public ::testing::WithParamInterface<UnmountRoute> {};

TEST_P(BusyUnmountTests, HeldVolumeStaysMountedAndTheErrorNamesTheHolder) {
    const auto volume = createVolume(QString::fromUtf8("Hé &<> "));
    ASSERT_TRUE(volume);
    runTask(m_service->mount(m_uuid), 20s);
    const QString mountPoint = "/media/" + m_label;
    ASSERT_EQ(volume->mountPoints(), QStringList{mountPoint});

    // Declared after the volume, so it ends before the volume's cleanup unmounts.
    MountHolder holder(mountPoint);
    ASSERT_TRUE(holder.isRunning());

    const UnmountRoute& route = GetParam();
    const std::optional<TarnwellError> refused =
        caughtTarnwellError(route.unmount(m_service, target(*volume), mountPoint));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->errorCase(), TarnwellError::Case::UnmountFailed);
    const QString reason = QStringLiteral("Volume %1 on %2 failed to unmount: target is busy\n"
                                          "dissented by PID %3 (sleep)\n")
                               .arg(m_label, volume->name())
                               .arg(holder.processId());
    EXPECT_EQ(refused->userMessage(), "Unmount failed: Command failed: " + m_service->diskutilPath() +
                                          " unmount " + route.toolTarget(*volume, mountPoint) +
                                          "\nExit code: 1\nStdout: \nStderr: " + reason);
    EXPECT_EQ(volume->mountPoints(), QStringList{mountPoint});
    EXPECT_TRUE(runTask(m_service->isMounted(m_uuid), 20s));

    holder.stop();
    runTask(route.unmount(m_service, target(*volume), mountPoint), 20s);
    EXPECT_TRUE(volume->mountPoints().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(mountPoint));
    EXPECT_FALSE(runTask(m_service->isMounted(m_uuid), 20s));
}

INSTANTIATE_TEST_SUITE_P(
    Routes, BusyUnmountTests,
    ::testing::Values(UnmountRoute{
                          "MountPoint",
                          [](std::shared_ptr<DiskService> service, const LocalVolumeTarget&,
                             const QString& mountPoint) { return service->unmountMountPoint(mountPoint); },
                          [](const LoopVolume&, const QString& mountPoint) { return mountPoint; }},
                      // The storage layer looks the volume up again and unmounts it by its live device name,
                      // which covers the service's unmount by device as well.
                      UnmountRoute{"StorageTarget",
                                   [](std::shared_ptr<DiskService> service, const LocalVolumeTarget& volume,
                                      const QString&) {
                                       StorageTargetService storageTargets(
                                           std::make_shared<LocalVolumeTargetService>(std::move(service)));
                                       return storageTargets.unmount(StorageTarget::localVolume(volume));
                                   },
                                   [](const LoopVolume& volume, const QString&) { return volume.name(); }}),
    [](const ::testing::TestParamInfo<UnmountRoute>& info) { return std::string(info.param.name); });

TEST_F(DiskServiceEndToEndTests, VolumeListAsksAboutTheLoopVolumeButNeverListsADiskImage) {
    const auto volume = createVolume(QString::fromUtf8("Lé &<> "));
    ASSERT_TRUE(volume);
    runTask(m_service->mount(m_uuid), 20s);
    const QString mountPoint = "/media/" + m_label;
    ASSERT_EQ(volume->mountPoints(), QStringList{mountPoint});

    for (const bool showAll : {true, false}) {
        SCOPED_TRACE(showAll ? "showAll" : "external only");
        const auto shell = std::make_shared<RecordingShell>();
        DiskService service(m_service->diskutilPath(), shell);

        const QList<DriveInfo> drives = runTask(service.listMountedVolumes(showAll), 30s);
        for (const DriveInfo& drive : drives) {
            EXPECT_NE(drive.volumeUUID, m_uuid);
            EXPECT_NE(drive.busProtocol, "Disk Image");
        }

        // The tool answered the listing and described the volume at its mount path correctly; the
        // service left it out because the tool calls a loop device a disk image.
        ASSERT_FALSE(shell->runs.isEmpty());
        EXPECT_EQ(shell->runs.first().arguments, (QStringList{"list", "-plist", "external", "physical"}));
        EXPECT_EQ(shell->runs.first().result.exitCode, 0) << shell->runs.first().result.error.toStdString();
        const auto asked =
            std::find_if(shell->runs.begin(), shell->runs.end(), [&mountPoint](const auto& run) {
                return run.arguments == QStringList{"info", "-plist", mountPoint};
            });
        ASSERT_NE(asked, shell->runs.end());
        ASSERT_EQ(asked->result.exitCode, 0) << asked->result.error.toStdString();
        expectDrive(DiskutilParser::parseInfoPlist(asked->result.output.toUtf8()),
                    expectedDrive(*volume, mountPoint));
    }
}

} // namespace
} // namespace tarnwell
