#include "core/disk/DiskService.h"
#include "core/disk/LocalVolumeTargetService.h"
#include "core/disk/StorageTargetService.h"
#include "core/model/TarnwellError.h"
#include "support/FakeDiskTool.h"
#include "support/TaskRunner.h"

#include "DiskScenario.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using namespace tarnwell;
using tarnwell::testing::FakeDiskTool;
using tarnwell::testing::mixedMachine;
using tarnwell::testing::runTask;

namespace {

LocalVolumeTarget volume(const QString& uuid, std::optional<QString> storedDiskIdentifier = std::nullopt) {
    LocalVolumeTarget target;
    target.volumeName = QStringLiteral("Stored name");
    target.volumeUUID = uuid;
    target.diskIdentifier = std::move(storedDiskIdentifier);
    target.mountPoint = QStringLiteral("/Volumes/Stored");
    target.isExternal = true;
    return target;
}

const QString mediaUUID = QStringLiteral("00000000-0000-0000-0000-000000000031");
const QString archiveUUID = QStringLiteral("00000000-0000-0000-0000-000000000032");

// Every call goes through the real disk service and the fake tool as a child process.
class StorageTargetServiceTest : public ::testing::Test {
protected:
    FakeDiskTool m_tool{mixedMachine()};
    StorageTargetService m_service{std::make_shared<LocalVolumeTargetService>(std::make_shared<DiskService>(
        FakeDiskTool::executablePath(), nullptr, m_tool.mountedVolumeLocationsFunction(),
        QStringList{QStringLiteral("/Volumes/")}))};
};

template <typename T> TarnwellError expectTarnwellError(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const TarnwellError& error) {
        return error;
    }
    ADD_FAILURE() << "no TarnwellError thrown";
    return TarnwellError::unknown({});
}

} // namespace

TEST_F(StorageTargetServiceTest, StatusFollowsTheVolumeThroughMountEjectAndDetach) {
    EXPECT_EQ(runTask(m_service.status(volume(mediaUUID))), StorageTargetRuntimeStatus::mounted());
    EXPECT_EQ(runTask(m_service.status(volume(archiveUUID))), StorageTargetRuntimeStatus::notMounted());

    QJsonObject detached = m_tool.state();
    detached.remove(QStringLiteral("containers"));
    m_tool.setState(detached);
    EXPECT_EQ(runTask(m_service.status(volume(mediaUUID))), StorageTargetRuntimeStatus::targetNotFound());
}

TEST_F(StorageTargetServiceTest, StatusFoldsAnyToolFailureIntoTargetNotFound) {
    QJsonObject state = mixedMachine();
    state[QStringLiteral("failures")] = QJsonArray{QJsonObject{{"command", "info"}, {"garbage", true}}};
    m_tool.setState(state);
    EXPECT_EQ(runTask(m_service.status(volume(mediaUUID))), StorageTargetRuntimeStatus::targetNotFound());
}

TEST_F(StorageTargetServiceTest, MountsByVolumeUUID) {
    runTask(m_service.mount(volume(archiveUUID, QStringLiteral("disk99s9"))));
    EXPECT_EQ(m_tool.invocations().last(), (QStringList{QStringLiteral("mount"), archiveUUID}));
    EXPECT_EQ(runTask(m_service.status(volume(archiveUUID))), StorageTargetRuntimeStatus::mounted());

    EXPECT_EQ(expectTarnwellError(m_service.mount(volume(QStringLiteral("unknown")))).errorCase(),
              TarnwellError::Case::MountFailed);
}

TEST_F(StorageTargetServiceTest, UnmountUsesTheLiveDiskIdentifierNotTheStoredOne) {
    runTask(m_service.unmount(volume(mediaUUID, QStringLiteral("disk99s9"))));
    EXPECT_EQ(m_tool.invocations().last(),
              (QStringList{QStringLiteral("unmount"), QStringLiteral("disk3s1")}));
    EXPECT_EQ(runTask(m_service.status(volume(mediaUUID))), StorageTargetRuntimeStatus::notMounted());
}

TEST_F(StorageTargetServiceTest, UnmountFallsBackToTheMountPointWithoutADeviceIdentifier) {
    QJsonObject state = QJsonDocument::fromJson(R"({"disks": [{"internal": false, "busProtocol": "USB",
        "volumeName": "Loose", "volumeUUID": "L-1", "mountPoint": "/Volumes/Loose & Found"}]})")
                            .object();
    m_tool.setState(state);
    runTask(m_service.unmount(volume(QStringLiteral("L-1"))));
    EXPECT_EQ(m_tool.invocations().last(),
              (QStringList{QStringLiteral("unmount"), QStringLiteral("/Volumes/Loose & Found")}));
}

TEST_F(StorageTargetServiceTest, UnmountRefusesAVolumeThatIsNotMountedOrUnknown) {
    EXPECT_EQ(expectTarnwellError(m_service.unmount(volume(archiveUUID))), TarnwellError::driveNotMounted());
    EXPECT_EQ(m_tool.invocations().size(), 1) << "nothing but the lookup may run";
    EXPECT_EQ(expectTarnwellError(m_service.unmount(volume(QStringLiteral("unknown")))).errorCase(),
              TarnwellError::Case::CommandFailed);
}

TEST_F(StorageTargetServiceTest, ABusyVolumeStaysMountedAndTheReasonIsReported) {
    QJsonObject state = mixedMachine();
    QJsonArray containerList = state.value(QStringLiteral("containers")).toArray();
    QJsonObject container = containerList.at(0).toObject();
    QJsonArray volumes = container.value(QStringLiteral("volumes")).toArray();
    QJsonObject media = volumes.at(0).toObject();
    media[QStringLiteral("busy")] = true;
    volumes[0] = media;
    container[QStringLiteral("volumes")] = volumes;
    containerList[0] = container;
    state[QStringLiteral("containers")] = containerList;
    m_tool.setState(state);

    const TarnwellError error = expectTarnwellError(m_service.unmount(volume(mediaUUID)));
    EXPECT_EQ(error.errorCase(), TarnwellError::Case::UnmountFailed);
    EXPECT_TRUE(error.payload().contains(QStringLiteral("failed to unmount: dissented by PID 412 (mds)")));
    EXPECT_EQ(runTask(m_service.status(volume(mediaUUID))), StorageTargetRuntimeStatus::mounted());
}

TEST_F(StorageTargetServiceTest, NetworkSharesNeverReachTheDiskTool) {
    SMBTarget share;
    share.urlString = QStringLiteral("smb://nas.local/Projects");
    const StorageTarget target = StorageTarget::smbShare(share);
    EXPECT_EQ(runTask(m_service.status(target)), StorageTargetRuntimeStatus::targetNotFound());
    const TarnwellError expected =
        TarnwellError::unknown(QStringLiteral("SMB targets are not supported in Tarnwell v1.0."));
    EXPECT_EQ(expectTarnwellError(m_service.mount(target)), expected);
    EXPECT_EQ(expectTarnwellError(m_service.unmount(target)), expected);
    EXPECT_TRUE(m_tool.invocations().isEmpty());
}

TEST_F(StorageTargetServiceTest, AnOperationInFlightOutlivesTheService) {
    auto service = std::make_unique<StorageTargetService>(std::make_shared<LocalVolumeTargetService>(
        std::make_shared<DiskService>(FakeDiskTool::executablePath(), nullptr,
                                      m_tool.mountedVolumeLocationsFunction(),
                                      QStringList{QStringLiteral("/Volumes/")})));
    QCoro::Task<> unmount = service->unmount(StorageTarget::localVolume(volume(mediaUUID)));
    service.reset();
    runTask(std::move(unmount));
    EXPECT_EQ(m_tool.invocations().last(),
              (QStringList{QStringLiteral("unmount"), QStringLiteral("disk3s1")}));
}
