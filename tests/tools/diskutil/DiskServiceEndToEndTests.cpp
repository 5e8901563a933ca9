#include "DiskutilTestSupport.h"
#include "core/disk/DiskService.h"
#include "core/disk/LocalVolumeTargetService.h"
#include "core/disk/StorageTargetService.h"
#include "support/TarnwellErrorCapture.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <unistd.h>

// The application's own disk service driving the built tool over loop devices, the way the
// application meets real drives. The tool sits beside this executable, where the service looks for
// it by default. These tests need root and skip themselves otherwise.

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using namespace testing;

class DiskServiceEndToEndTests : public RootLoopVolumeTest {
protected:
    void SetUp() override {
        RootLoopVolumeTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        ASSERT_EQ(QFileInfo(m_service->diskutilPath()).canonicalFilePath(),
                  QFileInfo(TARNWELL_DISKUTIL_EXECUTABLE).canonicalFilePath());
        m_label = uniqueLabel(QString::fromUtf8("Fé &<> "));
        m_volume = LoopVolume::create(m_images, m_label.toUtf8());
        ASSERT_TRUE(m_volume);
        // The tool's answers are checked against the file system.
        m_uuid = m_volume->uuid();
        ASSERT_FALSE(m_uuid.isEmpty());
        m_mountPoint = "/media/" + m_label;
    }

    DriveInfo drive(bool mounted) const {
        const auto mountPoint = mounted ? std::optional(m_mountPoint) : std::nullopt;
        return {m_label, m_uuid, m_volume->name(), "ext4", mountPoint, "Disk Image", false, mounted};
    }
    // The stored disk identifier is stale; the live one is used.
    StorageTarget target() const {
        return StorageTarget::localVolume(
            {m_label, m_uuid, "loop99", "ext4", std::nullopt, "Disk Image", false});
    }

    std::shared_ptr<DiskService> m_service = std::make_shared<DiskService>();
    StorageTargetService m_targets{std::make_shared<LocalVolumeTargetService>(m_service)};
    QString m_label;
    QString m_uuid;
    QString m_mountPoint;
    std::unique_ptr<LoopVolume> m_volume;
};

TEST_F(DiskServiceEndToEndTests, AVolumeGoesThroughInfoMountStatusAndUnmountAsTheKernelSeesIt) {
    // The UUID is looked up in any letter case but reported as the file system spells it.
    EXPECT_EQ(runTask(m_service->info(m_uuid.toUpper()), 20s), drive(false));
    EXPECT_FALSE(runTask(m_service->isMounted(m_uuid), 20s));
    EXPECT_EQ(runTask(m_targets.status(target()), 20s), StorageTargetRuntimeStatus::notMounted());

    runTask(m_service->mount(m_uuid), 20s);
    ASSERT_EQ(m_volume->mountPoints(), QStringList{m_mountPoint});
    EXPECT_EQ(runTask(m_service->info(m_uuid), 20s), drive(true));
    EXPECT_EQ(runTask(m_targets.status(target()), 20s), StorageTargetRuntimeStatus::mounted());
    // A second mount is not an error and leaves the one mount in place.
    runTask(m_targets.mount(target()), 20s);
    EXPECT_EQ(m_volume->mountPoints(), QStringList{m_mountPoint});

    runTask(m_targets.unmount(target()), 20s);
    EXPECT_TRUE(m_volume->mountPoints().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(m_mountPoint));
    EXPECT_EQ(runTask(m_targets.status(target()), 20s), StorageTargetRuntimeStatus::notMounted());
    EXPECT_EQ(expectTarnwellError(m_targets.unmount(target())), TarnwellError::driveNotMounted());

    // A loop device is a disk image, which the volume list never shows, even with showAll.
    for (const DriveInfo& listed : runTask(m_service->listMountedVolumes(true), 30s)) {
        EXPECT_NE(listed.volumeUUID, m_uuid);
    }
}

} // namespace
} // namespace tarnwell
