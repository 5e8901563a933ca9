#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/TarnwellError.h"
#include "core/support/DecodingError.h"
#include "core/support/PlatformError.h"
#include "support/FakeDiskTool.h"
#include "support/TarnwellErrorCapture.h"
#include "support/TaskRunner.h"

#include "DiskScenario.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <gtest/gtest.h>

using namespace tarnwell;
using namespace std::chrono_literals;
using tarnwell::testing::expectTarnwellError;
using tarnwell::testing::FakeDiskTool;
using tarnwell::testing::mixedMachine;
using tarnwell::testing::runTask;

namespace {

const QString mediaUUID = QStringLiteral("00000000-0000-0000-0000-000000000031");
const QString cardUUID = QStringLiteral("00000000-0000-0000-0000-0000000000C1");

QJsonObject withFailures(QJsonObject state, const QJsonArray& failures) {
    state[QStringLiteral("failures")] = failures;
    return state;
}

QJsonObject failure(const char* command, QJsonObject details) {
    details[QStringLiteral("command")] = QString::fromLatin1(command);
    return details;
}

class DiskServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<DiskService> makeService(std::shared_ptr<ShellRunning> shell = nullptr,
                                             DiskService::MountedVolumeLocations locations = nullptr) {
        return std::make_shared<DiskService>(FakeDiskTool::executablePath(), shell,
                                             locations ? locations : m_tool.mountedVolumeLocationsFunction(),
                                             QStringList{QStringLiteral("/Volumes/")});
    }

    QStringList names(const QList<DriveInfo>& drives) {
        QStringList result;
        for (const DriveInfo& drive : drives) {
            result.append(drive.volumeName);
        }
        return result;
    }

    FakeDiskTool m_tool{mixedMachine()};
};

} // namespace

TEST_F(DiskServiceTest, ListingKeepsUserVolumesAndShowAllAddsOnlyInternalOnes) {
    const QList<DriveInfo> drives = runTask(makeService()->listMountedVolumes(false), 30s);
    ASSERT_EQ(names(drives), (QStringList{QStringLiteral("CARD & <Co> \"A\" 'B'"), QStringLiteral("Media"),
                                          QStringLiteral("Archive — Été"), QStringLiteral("iOS Footage"),
                                          QStringLiteral("tvOS Simulator Notes")}));
    EXPECT_EQ(drives.at(0),
              (DriveInfo{QStringLiteral("CARD & <Co> \"A\" 'B'"), cardUUID, QStringLiteral("disk4s1"),
                         QStringLiteral("ExFAT"), QStringLiteral("/Volumes/CARD & Co\nsecond line"),
                         QStringLiteral("Secure Digital"), true, true}));
    EXPECT_EQ(drives.at(1).mountPoint, QStringLiteral("/Volumes/Media"));
    EXPECT_TRUE(drives.at(1).isMounted);
    EXPECT_EQ(drives.at(2),
              (DriveInfo{QStringLiteral("Archive — Été"),
                         QStringLiteral("00000000-0000-0000-0000-000000000032"), QStringLiteral("disk3s2"),
                         QStringLiteral("APFS"), std::nullopt, QStringLiteral("USB"), true, false}));

    // Show-all adds internal volumes but never disk images or paths outside the volume root.
    EXPECT_EQ(names(runTask(makeService()->listMountedVolumes(true), 30s)),
              (QStringList{QStringLiteral("CARD & <Co> \"A\" 'B'"), QStringLiteral("Internal Projects"),
                           QStringLiteral("Media"), QStringLiteral("Archive — Été"),
                           QStringLiteral("iOS Footage"), QStringLiteral("tvOS Simulator Notes")}));
}

TEST_F(DiskServiceTest, ListingRunsTheExpectedCommandsAndListsAVolumeSeenTwiceOnce) {
    const auto locations = [this] {
        return m_tool.mountedVolumeLocations() << QStringLiteral("/Volumes/Media");
    };
    const QList<DriveInfo> drives = runTask(makeService(nullptr, locations)->listMountedVolumes(false), 30s);
    EXPECT_EQ(names(drives).count(QStringLiteral("Media")), 1);
    const QList<QStringList> expected = {
        {QStringLiteral("list"), QStringLiteral("-plist"), QStringLiteral("external"),
         QStringLiteral("physical")},
        {QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("disk2s2")},
        {QStringLiteral("apfs"), QStringLiteral("list"), QStringLiteral("disk3"), QStringLiteral("-plist")},
        {QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("/Volumes/CARD & Co\nsecond line")},
        {QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("/Volumes/Internal Projects")},
        {QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("/Volumes/Installer")},
        {QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("/Volumes/Media")},
        {QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("/Volumes/Media")},
        {QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("disk3")},
        {QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("disk3")},
        {QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("disk3")},
    };
    EXPECT_EQ(m_tool.invocations(), expected);
}

TEST_F(DiskServiceTest, MountedVolumesAreStillListedWhenTheStoreOrContainerListingFails) {
    for (const QJsonObject& broken : {failure("list", {{"exitCode", 1}, {"stderr", "internal error"}}),
                                      failure("apfs", {{"garbage", true}})}) {
        m_tool.setState(withFailures(mixedMachine(), {broken}));
        EXPECT_EQ(names(runTask(makeService()->listMountedVolumes(false), 30s)),
                  (QStringList{QStringLiteral("CARD & <Co> \"A\" 'B'"), QStringLiteral("Media")}));
    }
}

TEST_F(DiskServiceTest, AFailedContainerLookupFallsBackToAskingAboutTheVolume) {
    m_tool.setState(withFailures(mixedMachine(), {failure("info", {{"target", "disk3"}, {"exitCode", 1}})}));
    const QList<DriveInfo> drives = runTask(makeService()->listMountedVolumes(false), 30s);
    ASSERT_EQ(drives.size(), 5);
    EXPECT_EQ(drives.at(2).diskIdentifier, QStringLiteral("disk3s2"));
    EXPECT_FALSE(drives.at(2).isMounted);
    EXPECT_TRUE(m_tool.invocations().contains(
        QStringList{QStringLiteral("info"), QStringLiteral("-plist"), QStringLiteral("disk3s5")}));
}

TEST_F(DiskServiceTest, AMountedAPFSVolumeThatCannotBeInspectedIsDescribedFromItsContainer) {
    m_tool.setState(
        withFailures(mixedMachine(), {failure("info", {{"target", "/Volumes/Media"}, {"garbage", true}})}));
    const QList<DriveInfo> drives = runTask(makeService()->listMountedVolumes(false), 30s);
    // Unreadable while mounted, the volume still turns up from its container, described from there.
    EXPECT_EQ(names(drives), (QStringList{QStringLiteral("CARD & <Co> \"A\" 'B'"), QStringLiteral("Media"),
                                          QStringLiteral("Archive — Été"), QStringLiteral("iOS Footage"),
                                          QStringLiteral("tvOS Simulator Notes")}));
    EXPECT_FALSE(drives.at(1).isMounted);
}

TEST_F(DiskServiceTest, InfoFindsAVolumeByUUIDAndReportsAnUnknownOneWithTheFullFailure) {
    const auto service = makeService();
    const DriveInfo media = runTask(service->info(mediaUUID.toLower()));
    EXPECT_EQ(media.volumeName, QStringLiteral("Media"));
    EXPECT_EQ(media.diskIdentifier, QStringLiteral("disk3s1"));

    const TarnwellError error = expectTarnwellError(service->info(QStringLiteral("no such volume")));
    EXPECT_EQ(error.errorCase(), TarnwellError::Case::CommandFailed);
    EXPECT_EQ(error.exitCode(), 1);
    EXPECT_TRUE(error.payload().startsWith(
        QStringLiteral("Command failed: ") + FakeDiskTool::executablePath() +
        QStringLiteral(" info -plist no such volume\nExit code: 1\nStdout: <?xml")));
    EXPECT_TRUE(error.payload().endsWith(QStringLiteral("\nStderr: Could not find disk: no such volume\n")));
}

TEST_F(DiskServiceTest, OutputThatIsNotAPropertyListIsADecodingError) {
    m_tool.setState(withFailures(mixedMachine(), {failure("info", {{"garbage", true}})}));
    EXPECT_THROW(runTask(makeService()->info(mediaUUID)), DecodingError);
}

TEST_F(DiskServiceTest, IsMountedNeverThrows) {
    const auto service = makeService();
    EXPECT_TRUE(runTask(service->isMounted(mediaUUID)));
    EXPECT_FALSE(runTask(service->isMounted(QStringLiteral("00000000-0000-0000-0000-000000000032"))));
    EXPECT_FALSE(runTask(service->isMounted(QStringLiteral("unknown"))));
    m_tool.setState(withFailures(mixedMachine(), {failure("info", {{"garbage", true}})}));
    EXPECT_FALSE(runTask(service->isMounted(mediaUUID)));
}

TEST_F(DiskServiceTest, MountAndUnmountRunThePlainCommands) {
    const auto service = makeService();
    const QString archive = QStringLiteral("00000000-0000-0000-0000-000000000032");
    runTask(service->mount(archive));
    EXPECT_TRUE(runTask(service->isMounted(archive)));
    runTask(service->unmountDisk(QStringLiteral("disk3s2")));
    EXPECT_FALSE(runTask(service->isMounted(archive)));
    runTask(service->unmountMountPoint(QStringLiteral("/Volumes/CARD & Co\nsecond line")));
    EXPECT_FALSE(runTask(service->isMounted(cardUUID)));
    const QList<QStringList> invocations = m_tool.invocations();
    EXPECT_EQ(invocations.at(0), (QStringList{QStringLiteral("mount"), archive}));
    EXPECT_EQ(invocations.at(2), (QStringList{QStringLiteral("unmount"), QStringLiteral("disk3s2")}));
    EXPECT_EQ(invocations.at(4),
              (QStringList{QStringLiteral("unmount"), QStringLiteral("/Volumes/CARD & Co\nsecond line")}));
}

TEST_F(DiskServiceTest, AFailedMountCarriesTheCommandLineAndTheToolsOutput) {
    const TarnwellError error =
        expectTarnwellError(makeService()->mount(QStringLiteral("x'; rm -rf / \"y\"")));
    EXPECT_EQ(error.errorCase(), TarnwellError::Case::MountFailed);
    EXPECT_EQ(error.payload(),
              QStringLiteral("Command failed: ") + FakeDiskTool::executablePath() +
                  QStringLiteral(" mount x'; rm -rf / \"y\"\nExit code: 1\nStdout: \nStderr: Could not "
                                 "find disk: x'; rm -rf / \"y\"\n"));
    EXPECT_EQ(m_tool.invocations().last(),
              (QStringList{QStringLiteral("mount"), QStringLiteral("x'; rm -rf / \"y\"")}));
}

TEST_F(DiskServiceTest, RunnerErrorsArePassedOnUnchanged) {
    m_tool.setState(withFailures(mixedMachine(),
                                 {failure("mount", {{"sleepSeconds", 20}, {"ignoreTermination", true}})}));
    const TarnwellError error =
        expectTarnwellError(makeService(std::make_shared<ShellRunner>(0.3))->mount(mediaUUID));
    EXPECT_EQ(error, TarnwellError::commandFailed(-1, QStringLiteral("Command timed out after 0.3 seconds")));

    DiskService missingTool(QDir::temp().filePath(QStringLiteral("no-such-diskutil")));
    EXPECT_THROW(runTask(missingTool.info(mediaUUID)), PlatformError);
}

TEST(DiskServiceDefaults, UsesTheStandInBesideTheExecutableAndTheRemovableRoots) {
    EXPECT_EQ(DiskService().diskutilPath(),
              QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tarnwell-diskutil")));
    EXPECT_EQ(
        DiskService::defaultRemovableVolumeRoots(),
        (QStringList{QStringLiteral("/media/"), QStringLiteral("/run/media/"), QStringLiteral("/mnt/")}));
}

TEST(DiskServiceDefaults, ListsOnlyVolumesBelowTheRemovableRoots) {
    FakeDiskTool tool(QJsonDocument::fromJson(R"({"disks": [
        {"deviceIdentifier": "sdb", "internal": false, "busProtocol": "USB", "partitions": [
          {"deviceIdentifier": "sdb1", "volumeName": "A", "volumeUUID": "A-1", "mountPoint": "/media/ana/A"},
          {"deviceIdentifier": "sdb2", "volumeName": "B", "volumeUUID": "B-1", "mountPoint": "/run/media/ana/B"},
          {"deviceIdentifier": "sdb3", "volumeName": "C", "volumeUUID": "C-1", "mountPoint": "/mnt/C"},
          {"deviceIdentifier": "sdb4", "volumeName": "D", "volumeUUID": "D-1", "mountPoint": "/srv/D"},
          {"deviceIdentifier": "sdb5", "volumeName": "E", "volumeUUID": "E-1", "mountPoint": "/media/"},
          {"deviceIdentifier": "sdb6", "volumeName": "F", "volumeUUID": "F-1", "mountPoint": "/mnt/.timemachine/F"}]}]})")
                          .object());
    DiskService service(FakeDiskTool::executablePath(), nullptr, tool.mountedVolumeLocationsFunction());
    QStringList found;
    for (const DriveInfo& drive : runTask(service.listMountedVolumes(true), 30s)) {
        found.append(drive.volumeName);
    }
    EXPECT_EQ(found, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
}
