#include "DiskutilTestSupport.h"
#include "UDisksTestSystem.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/TarnwellError.h"
#include "core/support/PropertyListReader.h"
#include "support/TaskRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <gtest/gtest.h>
#include <unistd.h>

// Mounting through UDisks2 for real: a private system bus with udev, UDisks2 and, for the ordinary
// user, polkit on it, loop volumes, and the built tool run directly or by the application's disk
// service, as root or as that user. These tests need root and skip themselves otherwise.

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using testing::UDisksTestSystem;

// What the disk tool answered: its exit code and its standard error.
struct Answer {
    int exitCode = 0;
    QString error;
};

// Starts every command through `prefix`, so the disk service can run the tool as another user.
class PrefixedShell : public ShellRunning {
public:
    explicit PrefixedShell(QStringList prefix)
        : m_prefix(std::move(prefix)) {}

    QCoro::Task<ShellResult> run(QString command, QStringList arguments,
                                 std::stop_token stopToken = {}) override {
        const QStringList line = m_prefix + QStringList{command} + arguments;
        return m_runner.run(line.first(), line.mid(1), std::move(stopToken));
    }

private:
    QStringList m_prefix;
    ShellRunner m_runner;
};

// How a scenario reaches the disk tool: directly or through one long-lived disk service, as root
// (an empty prefix) or as the test user.
class Route {
public:
    Route(bool throughService, QStringList prefix)
        : m_prefix(std::move(prefix)) {
        if (throughService) {
            m_service = std::make_unique<DiskService>(TARNWELL_DISKUTIL_EXECUTABLE,
                                                      std::make_shared<PrefixedShell>(m_prefix));
        }
    }

    Answer mount(const QString& uuid) {
        return m_service ? serviceAnswer(m_service->mount(uuid)) : tool({"mount", uuid});
    }

    Answer unmount(const QString& uuid, const QString& deviceName) {
        return m_service ? serviceAnswer(m_service->unmountDisk(deviceName)) : tool({"unmount", uuid});
    }

    // The volume name and the mount point ("" when not mounted) the tool reports.
    std::pair<QString, QString> info(const QString& uuid) {
        if (m_service) {
            const DriveInfo drive = testing::runTask(m_service->info(uuid), 30s);
            return {drive.volumeName, drive.mountPoint.value_or(QString())};
        }
        const CommandResult result = run({TARNWELL_DISKUTIL_EXECUTABLE, "info", "-plist", uuid});
        const PropertyList document = PropertyListReader::read(result.output);
        return {document.string("VolumeName").value_or("?"), document.string("MountPoint").value_or("?")};
    }

    CommandResult run(const QStringList& command) const {
        const QStringList line = m_prefix + command;
        return testing::runProgram(line.first(), line.mid(1));
    }

private:
    Answer tool(const QStringList& arguments) {
        const CommandResult result = run(QStringList{TARNWELL_DISKUTIL_EXECUTABLE} + arguments);
        return {result.exitCode, QString::fromUtf8(result.error)};
    }

    // The service's failure message quotes the tool's exit code and standard error.
    static Answer serviceAnswer(QCoro::Task<> task) {
        try {
            testing::runTask(std::move(task), 30s);
            return {};
        } catch (const TarnwellError& error) {
            const QString message = error.userMessage();
            const auto exitCode = QRegularExpression("\nExit code: (-?\\d+)\n").match(message).captured(1);
            return {exitCode.isEmpty() ? -1 : exitCode.toInt(), message.section("\nStderr: ", -1)};
        }
    }

    QStringList m_prefix;
    std::unique_ptr<DiskService> m_service;
};

struct Scenario {
    const char* name;
    bool throughService;
    bool asTestUser;
    // Whether polkit has the rule that lets the test user mount; root needs none.
    bool allowed;
    // Empty for a volume without a label, whose folder UDisks2 names after the file-system UUID.
    const char* labelStem;
    // UDisks2 stops before the first mount, which must then fail, and comes back.
    bool udisksGoesAway;
};

void PrintTo(const Scenario& scenario, std::ostream* stream) {
    *stream << scenario.name;
}

class UDisksEndToEndTests : public ::testing::TestWithParam<Scenario> {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root for a system bus of its own, udev, loop devices and mounts";
        }
        ASSERT_TRUE(QFileInfo::exists("/usr/libexec/udisks2/udisksd")) << "scripts/test installs udisks2";
        ASSERT_TRUE(m_images.isValid());
    }

    QTemporaryDir m_images;
};

TEST_P(UDisksEndToEndTests, MountInfoAndUnmountGoThroughUDisks2) {
    const Scenario& scenario = GetParam();
    const QStringList prefix = scenario.asTestUser ? UDisksTestSystem::asTestUser : QStringList();
    // Declared before the volume, so the volume is unmounted and detached while udev still runs.
    UDisksTestSystem system(scenario.asTestUser ? std::optional(scenario.allowed) : std::nullopt);
    ASSERT_EQ(system.failure(), "");
    const QString stem = QString::fromUtf8(scenario.labelStem);
    const QString label = stem.isEmpty() ? QString() : testing::uniqueLabel(stem);
    const auto volume = testing::LoopVolume::create(
        m_images, "mkfs.ext4", label.isEmpty() ? QStringList{"-q"} : QStringList{"-q", "-L", label});
    ASSERT_TRUE(volume);
    const QString uuid = testing::identityFromBlkidUdev(
                             testing::runProgram("blkid", {"-p", "-o", "udev", volume->path()}).output)
                             .uuid.value_or(QString());
    ASSERT_TRUE(system.knowsFileSystem(volume->path(), uuid))
        << "UDisks2 never saw " << volume->path().toStdString();
    const QString name = label.isEmpty() ? QStringLiteral("Untitled") : label;
    const QString volumeText = QStringLiteral("Volume %1 on %2").arg(name, volume->name());
    Route route(scenario.throughService, prefix);

    if (scenario.udisksGoesAway) {
        system.stopUDisks();
        const Answer gone = route.mount(uuid);
        EXPECT_EQ(gone.exitCode, 1);
        EXPECT_EQ(gone.error,
                  volumeText + " failed to mount: mounting needs the UDisks2 service or root privileges\n");
        EXPECT_TRUE(volume->mountPoints().isEmpty());
        ASSERT_TRUE(system.startUDisks()) << system.failure().toStdString();
        ASSERT_TRUE(system.knowsFileSystem(volume->path(), uuid));
    }

    const Answer mounted = route.mount(uuid);
    if (!scenario.allowed) {
        EXPECT_EQ(mounted.exitCode, 1);
        EXPECT_EQ(mounted.error, volumeText + " failed to mount: you are not allowed to mount this volume "
                                              "(UDisks2: Not authorized to perform operation)\n");
        EXPECT_TRUE(volume->mountPoints().isEmpty());
        return;
    }
    ASSERT_EQ(mounted.exitCode, 0) << mounted.error.toStdString();
    const QString user = scenario.asTestUser ? UDisksTestSystem::testUser : QStringLiteral("root");
    const QString mountPoint = QStringLiteral("/media/%1/%2").arg(user, label.isEmpty() ? uuid : label);
    ASSERT_EQ(volume->mountPoints(), QStringList{mountPoint});
    EXPECT_EQ(route.info(uuid), std::pair(name, mountPoint));

    // A process of the same user works inside the volume, as an editing application would.
    QProcess holder;
    holder.setWorkingDirectory(mountPoint);
    const QStringList holderLine = prefix + QStringList{"sleep", "60"};
    holder.start(holderLine.first(), holderLine.mid(1));
    const auto stopHolder = qScopeGuard([&holder] {
        holder.kill();
        holder.waitForFinished();
    });
    ASSERT_TRUE(testing::runUntil([&holder] {
        QFile command(QStringLiteral("/proc/%1/comm").arg(holder.processId()));
        return command.open(QIODevice::ReadOnly) && command.readAll() == "sleep\n";
    }));
    const Answer busy = route.unmount(uuid, volume->name());
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_EQ(busy.error,
              QStringLiteral("%1 failed to unmount: target is busy\ndissented by PID %2 (sleep)\n")
                  .arg(volumeText)
                  .arg(holder.processId()));
    EXPECT_EQ(volume->mountPoints(), QStringList{mountPoint});

    holder.kill();
    holder.waitForFinished();
    const Answer idle = route.unmount(uuid, volume->name());
    EXPECT_EQ(idle.exitCode, 0) << idle.error.toStdString();
    EXPECT_EQ(idle.error, "");
    EXPECT_TRUE(volume->mountPoints().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(mountPoint));
    EXPECT_EQ(route.info(uuid), std::pair(name, QString()));
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, UDisksEndToEndTests,
    ::testing::Values(Scenario{"ToolAsRoot", false, false, true, "Clip é ", false},
                      Scenario{"ToolAsRootWithoutLabel", false, false, true, "", false},
                      Scenario{"ServiceAsRoot", true, false, true, "Take ü ", false},
                      Scenario{"ToolAsUser", false, true, true, "Reel é ", false},
                      Scenario{"ToolAsUserWithoutPolkitRule", false, true, false, "Deny é ", false},
                      Scenario{"ServiceAsUserWhileUDisks2Restarts", true, true, true, "Back é ", true}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

} // namespace
} // namespace tarnwell
