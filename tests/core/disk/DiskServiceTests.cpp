#include "core/disk/DiskService.h"
#include "core/disk/LocalVolumeTargetService.h"
#include "core/disk/ShellRunner.h"
#include "core/disk/StorageTargetService.h"
#include "core/support/DecodingError.h"
#include "core/support/PlatformError.h"
#include "support/FakeDiskTool.h"
#include "support/QtPrinters.h"
#include "support/TarnwellErrorCapture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace std::chrono_literals;
using tarnwell::testing::expectTarnwellError;
using tarnwell::testing::FakeDiskTool;
using tarnwell::testing::runTask;

namespace {

const QString mediaUUID = QStringLiteral("00000000-0000-0000-0000-000000000031");
const QString archiveUUID = QStringLiteral("00000000-0000-0000-0000-000000000032");
// An internal start-up disk, an external USB disk with one APFS container (a mounted volume,
// unmounted user volumes, a role-bearing volume and simulator runtimes), an external card, an
// internal data disk, a mounted disk image and a Time Machine snapshot mount.
QJsonObject mixedMachine(const QJsonArray& failures = {}) {
    QFile file(QStringLiteral(TARNWELL_DISKUTIL_FIXTURES "/mixed-machine.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QJsonObject machine = QJsonDocument::fromJson(file.readAll()).object();
    machine.insert("failures", failures);
    return machine;
}

QString describe(const DriveInfo& drive) {
    const auto text = [](const std::optional<QString>& value) { return value.value_or("-"); };
    return QStringList{drive.volumeName,       drive.volumeUUID,       text(drive.diskIdentifier),
                       text(drive.fileSystem), text(drive.mountPoint), text(drive.busProtocol)}
               .join('|') +
           (drive.isExternal ? "|external" : "|internal") + (drive.isMounted ? "|mounted" : "|not mounted");
}

LocalVolumeTarget volume(const QString& uuid, std::optional<QString> storedDiskIdentifier = std::nullopt) {
    return {"Stored name", uuid, std::move(storedDiskIdentifier), std::nullopt, "/Volumes/Stored",
            std::nullopt,  true};
}

class DiskServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<DiskService> makeService(std::shared_ptr<ShellRunning> shell = nullptr,
                                             QStringList roots = {"/Volumes/"}) {
        return std::make_shared<DiskService>(
            FakeDiskTool::executablePath(), shell,
            [this, locations = m_tool.mountedVolumeLocationsFunction()] {
                return locations() + m_extraLocations;
            },
            roots);
    }

    FakeDiskTool m_tool{mixedMachine()};
    QStringList m_extraLocations;
    std::shared_ptr<DiskService> m_service = makeService();
    StorageTargetService m_targets{std::make_shared<LocalVolumeTargetService>(m_service)};
};

} // namespace

// Mounted volumes first in mount-table order, then unmounted user volumes of external APFS
// containers; never disk images, simulator runtimes, volumes with roles, snapshots or paths outside
// the removable roots, and internal volumes only with showAll. A failing step costs only its part.
// Each row of the cases file is one machine and one listing.
TEST_F(DiskServiceTest, ListingKeepsUserVolumesAndSurvivesFailingSteps) {
    QFile file(QStringLiteral(TARNWELL_DISKUTIL_FIXTURES "/listing-cases.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray rows = QJsonDocument::fromJson(file.readAll()).array();
    ASSERT_FALSE(rows.isEmpty());
    const auto texts = [](const QJsonValue& value) { return value.toVariant().toStringList(); };
    for (const QJsonValue& row : rows) {
        SCOPED_TRACE(row["name"].toString().toStdString());
        QJsonObject machine = row["machine"].isObject() ? row["machine"].toObject() : mixedMachine();
        machine.insert("failures", row["failures"]);
        m_tool.setState(machine);
        m_extraLocations = texts(row["extraLocations"]);
        const QStringList roots =
            row["roots"] == "default" ? DiskService::defaultRemovableVolumeRoots() : QStringList{"/Volumes/"};
        QStringList drives;
        for (const DriveInfo& drive :
             runTask(makeService(nullptr, roots)->listMountedVolumes(row["showAll"].toBool()), 30s)) {
            drives.append(describe(drive));
        }
        EXPECT_EQ(drives, texts(row["expected"]));
        QList<QStringList> asked;
        for (const QJsonValue& run : row["asked"].toArray()) {
            asked.append(texts(run));
        }
        EXPECT_TRUE(asked.isEmpty() || m_tool.invocations() == asked);
        EXPECT_TRUE(!row["alsoAsked"].isArray() || m_tool.invocations().contains(texts(row["alsoAsked"])));
    }
}

// The tool's plain command lines, with every failure reported in full and nothing forced.
TEST_F(DiskServiceTest, CommandsRunThePlainCommandLinesAndReportFailuresInFull) {
    EXPECT_EQ(describe(runTask(m_service->info(mediaUUID.toLower()))),
              "Media|00000000-0000-0000-0000-000000000031|disk3s1|APFS|/Volumes/Media|USB|external|mounted");
    m_tool.setState(mixedMachine(
        {QJsonObject{{"command", "info"}, {"exitCode", 3}, {"stdout", "out"}, {"stderr", "err"}}}));
    EXPECT_EQ(
        expectTarnwellError(m_service->info("any")),
        TarnwellError::commandFailed(3, "Command failed: " + FakeDiskTool::executablePath() +
                                            " info -plist any\nExit code: 3\nStdout: out\nStderr: err"));
    m_tool.setState(mixedMachine());
    EXPECT_EQ(
        expectTarnwellError(m_service->mount("x'; rm -rf / \"y\"")),
        TarnwellError::mountFailed("Command failed: " + FakeDiskTool::executablePath() +
                                   " mount x'; rm -rf / \"y\"\nExit code: 1\nStdout: \nStderr: Could not "
                                   "find disk: x'; rm -rf / \"y\"\n"));
    EXPECT_TRUE(runTask(m_service->isMounted(mediaUUID)));
    EXPECT_FALSE(runTask(m_service->isMounted("unknown")));

    runTask(m_service->unmountMountPoint("/Volumes/CARD & Co\nsecond line"));
    EXPECT_EQ(m_tool.invocations().last(), (QStringList{"unmount", "/Volumes/CARD & Co\nsecond line"}));
    EXPECT_FALSE(runTask(m_service->isMounted("00000000-0000-0000-0000-0000000000C1")));

    m_tool.setState(
        mixedMachine({QJsonObject{{"command", "info"}, {"garbage", true}},
                      QJsonObject{{"command", "mount"}, {"sleepSeconds", 20}, {"ignoreTermination", true}}}));
    EXPECT_THROW(runTask(m_service->info(mediaUUID)), DecodingError);
    EXPECT_FALSE(runTask(m_service->isMounted(mediaUUID)));
    EXPECT_EQ(expectTarnwellError(makeService(std::make_shared<ShellRunner>(0.3))->mount(mediaUUID)),
              TarnwellError::commandFailed(-1, "Command timed out after 0.3 seconds"));
    EXPECT_THROW(runTask(DiskService(QDir::temp().filePath("no-such-diskutil")).info(mediaUUID)),
                 PlatformError);
}

// The storage layer asks for the live state of a rule's volume and acts on its live identifiers.
TEST_F(DiskServiceTest, StorageTargetsFollowTheLiveVolume) {
    EXPECT_EQ(runTask(m_targets.status(StorageTarget::localVolume(volume(mediaUUID)))),
              StorageTargetRuntimeStatus::mounted());
    LocalVolumeTargetService local(m_service);
    EXPECT_EQ(runTask(local.status(volume(archiveUUID))), StorageTargetRuntimeStatus::notMounted());
    EXPECT_EQ(runTask(local.status(volume("unknown"))), StorageTargetRuntimeStatus::targetNotFound());
    EXPECT_EQ(expectTarnwellError(local.mount(volume("unknown"))).errorCase(),
              TarnwellError::Case::MountFailed);
    EXPECT_EQ(expectTarnwellError(local.unmount(volume("unknown"))).errorCase(),
              TarnwellError::Case::CommandFailed);
    const qsizetype runs = m_tool.invocations().size();
    EXPECT_EQ(expectTarnwellError(local.unmount(volume(archiveUUID))), TarnwellError::driveNotMounted());
    EXPECT_EQ(m_tool.invocations().size(), runs + 1) << "nothing but the lookup may run";

    runTask(local.mount(volume(archiveUUID, "disk99s9")));
    EXPECT_EQ(m_tool.invocations().last(), (QStringList{"mount", archiveUUID}));
    EXPECT_EQ(runTask(local.status(volume(archiveUUID))), StorageTargetRuntimeStatus::mounted());
    // An operation in flight outlives the service that started it; the stored identifier is stale.
    auto service =
        std::make_unique<StorageTargetService>(std::make_shared<LocalVolumeTargetService>(m_service));
    QCoro::Task<> unmount = service->unmount(StorageTarget::localVolume(volume(mediaUUID, "disk99s9")));
    service.reset();
    runTask(std::move(unmount));
    EXPECT_EQ(m_tool.invocations().last(), (QStringList{"unmount", "disk3s1"}));
    EXPECT_EQ(runTask(local.status(volume(mediaUUID))), StorageTargetRuntimeStatus::notMounted());

    m_tool.setState(
        QJsonDocument::fromJson(R"({"disks": [{"internal": false, "busProtocol": "USB", "busy": true,
        "volumeName": "Loose", "volumeUUID": "L-1", "mountPoint": "/Volumes/Loose & Found"}]})")
            .object());
    const TarnwellError busy = expectTarnwellError(local.unmount(volume("L-1")));
    EXPECT_EQ(m_tool.invocations().last(), (QStringList{"unmount", "/Volumes/Loose & Found"}))
        << "without a device identifier the mount point is named";
    EXPECT_EQ(busy.errorCase(), TarnwellError::Case::UnmountFailed);
    EXPECT_TRUE(busy.payload().contains("failed to unmount: dissented by PID 412 (mds)\n"))
        << busy.payload().toStdString();
    EXPECT_EQ(runTask(local.status(volume("L-1"))), StorageTargetRuntimeStatus::mounted());

    m_tool.setState({});
    const StorageTarget share =
        StorageTarget::smbShare(SMBTarget{"NAS", "smb://nas.local/Projects", std::nullopt});
    const TarnwellError unsupported =
        TarnwellError::unknown("SMB targets are not supported in Tarnwell v1.0.");
    EXPECT_EQ(runTask(m_targets.status(share)), StorageTargetRuntimeStatus::targetNotFound());
    EXPECT_EQ(expectTarnwellError(m_targets.mount(share)), unsupported);
    EXPECT_EQ(expectTarnwellError(m_targets.unmount(share)), unsupported);
    EXPECT_TRUE(m_tool.invocations().isEmpty());
}
