#include "DiskutilTestSupport.h"
#include "platform/linux/DriveChangeWatcher.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

// The watcher over the real kernel: a mount table of a private mount namespace, so that the mounts of
// tests running beside this one stay out of it, and loop devices for drives that appear.

namespace tarnwell {
namespace {

using namespace testing;

using DriveChangeWatcherTest = RootLoopVolumeTest;

constexpr int patienceMs = 5000;

bool succeeded(QProcess& run) {
    return (run.state() == QProcess::NotRunning || run.waitForFinished(patienceMs)) &&
           run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
}

// Waits until nothing has been told for a while, so that what follows counts on its own.
void settle(QSignalSpy& changes) {
    while (changes.wait(1000)) {
    }
    changes.clear();
}

TEST_F(DriveChangeWatcherTest, MountsAndUnmountsAreToldOncePerBurstAndANewDriveIsTold) {
    // A process that holds a private mount namespace; its table is the one watched.
    QProcess holder;
    holder.start(QStringLiteral("unshare"), {"--mount", "--propagation", "private", "sleep", "60"});
    ASSERT_TRUE(holder.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&holder] { return runsSleep(holder); }, patienceMs));
    const QString pid = QString::number(holder.processId());
    const QString points = m_images.filePath(QStringLiteral("points"));
    // Five changes a few milliseconds apart, while the event loop runs: each wakes the watcher.
    const auto inNamespace = [&pid, &points](const QString& command) {
        const QString script =
            QStringLiteral("for i in 1 2 3 4 5; do mkdir -p '%1'/$i && %2 && sleep 0.03 || exit 1; done")
                .arg(points, command);
        auto run = std::make_shared<QProcess>();
        run->start(QStringLiteral("nsenter"), {"-t", pid, "-m", "sh", "-c", script});
        return run;
    };

    DriveChangeWatcher::Options tableOnly;
    tableOnly.mountTable = QStringLiteral("/proc/%1/mountinfo").arg(pid);
    tableOnly.deviceEvents = false;
    tableOnly.udisks = false;
    DriveChangeWatcher table(tableOnly);
    QSignalSpy tableChanges(&table, &DriveChangeSource::changed);
    table.start();

    const auto mounts = inNamespace(QStringLiteral("mount -t tmpfs tarnwell-watch \"%1/$i\"").arg(points));
    EXPECT_TRUE(tableChanges.wait(patienceMs));
    ASSERT_TRUE(succeeded(*mounts));
    settle(tableChanges);
    const auto unmounts = inNamespace(QStringLiteral("umount \"%1/$i\"").arg(points));
    ASSERT_TRUE(tableChanges.wait(patienceMs));
    EXPECT_FALSE(tableChanges.wait(1000));
    EXPECT_EQ(tableChanges.size(), 1);
    EXPECT_TRUE(succeeded(*unmounts));

    // Device events straight from the kernel, as where udev does not run.
    DriveChangeWatcher::Options devicesOnly;
    devicesOnly.mountTable = m_images.filePath(QStringLiteral("no-such-table"));
    devicesOnly.udevControl = m_images.filePath(QStringLiteral("no-udev"));
    devicesOnly.udisks = false;
    DriveChangeWatcher devices(devicesOnly);
    QSignalSpy devicesChanges(&devices, &DriveChangeSource::changed);
    QSignalSpy notices(&devices, &DriveChangeSource::noticed);
    devices.start();
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.first().first().toString().contains(QStringLiteral("cannot be opened")));
    const auto volume = LoopVolume::create(m_images, uniqueLabel("Watched").toUtf8());
    ASSERT_TRUE(volume);
    EXPECT_TRUE(devicesChanges.wait(patienceMs));

    holder.kill();
    holder.waitForFinished();
}

} // namespace
} // namespace tarnwell
