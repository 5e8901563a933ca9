#include "DiskutilTestSupport.h"
#include "core/disk/DiskService.h"
#include "core/disk/ShellRunner.h"
#include "core/model/TarnwellError.h"
#include "core/support/PropertyListReader.h"
#include "support/QtPrinters.h"
#include "support/TaskRunner.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

// Mounting through UDisks2 for real: each test starts a system bus of its own on a private socket
// with udev (unless one runs already), UDisks2 and, for the ordinary user, polkit, and drives the
// built tool, directly or through the application's disk service, over a loop volume. The tests
// need root and skip themselves otherwise.

namespace tarnwell {
namespace {

using namespace std::chrono_literals;
using testing::runProgram;

const QString fixtures = QStringLiteral(TARNWELL_DISKUTIL_FIXTURES "/udisks");
// The ordinary user, whom the fixtures' polkit rule lets mount.
const QStringList asTestUser = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
// udev writes here for every device of the machine, not only the test's; UDisks2 keeps its state in
// /run/udisks2 and makes a folder for each user below /media.
const QStringList udevDirectories = {"/run/udev", "/dev/disk"};

bool udevAnswers() {
    return runProgram("udevadm", {"control", "--ping"}).exitCode == 0;
}

// Whether the bus name answers a ping, to wait for a daemon to be ready.
std::function<bool()> answers(const QString& name, const QString& path) {
    return [name, path] {
        return runProgram("dbus-send", {"--system", "--print-reply", "--dest=" + name, path,
                                        "org.freedesktop.DBus.Peer.Ping"})
                   .exitCode == 0;
    };
}

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
    Route(bool throughService, const QStringList& prefix)
        : m_prefix(prefix)
        , m_service(throughService ? std::make_unique<DiskService>(TARNWELL_DISKUTIL_PRIVATE_BUS_EXECUTABLE,
                                                                   std::make_shared<PrefixedShell>(prefix))
                                   : nullptr) {}

    CommandResult mount(const QString& uuid) {
        return m_service ? serviceAnswer(m_service->mount(uuid)) : tool({"mount", uuid});
    }

    CommandResult unmount(const QString& uuid, const QString& deviceName) {
        return m_service ? serviceAnswer(m_service->unmountDisk(deviceName)) : tool({"unmount", uuid});
    }

    // The volume name and the mount point ("" when not mounted) the tool reports.
    std::pair<QString, QString> info(const QString& uuid) {
        if (m_service) {
            const DriveInfo drive = testing::runTask(m_service->info(uuid), 30s);
            return {drive.volumeName, drive.mountPoint.value_or(QString())};
        }
        const PropertyList document =
            PropertyListReader::read(QByteArray::fromStdString(tool({"info", "-plist", uuid}).output));
        return {document.string("VolumeName").value_or("?"), document.string("MountPoint").value_or("?")};
    }

private:
    CommandResult tool(const QStringList& arguments) const {
        const QStringList line = m_prefix + QStringList{TARNWELL_DISKUTIL_PRIVATE_BUS_EXECUTABLE} + arguments;
        return runProgram(line.first(), line.mid(1));
    }

    // The service's failure message quotes the tool's exit code and standard error.
    static CommandResult serviceAnswer(QCoro::Task<> task) {
        try {
            testing::runTask(std::move(task), 30s);
            return {};
        } catch (const TarnwellError& error) {
            const QString message = error.userMessage();
            const QString exitCode = QRegularExpression("\nExit code: (-?\\d+)\n").match(message).captured(1);
            return {exitCode.isEmpty() ? -1 : exitCode.toInt(),
                    {},
                    message.section("\nStderr: ", -1).toStdString()};
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

class UDisksEndToEndTests : public ::testing::TestWithParam<Scenario> {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root for a system bus of its own, udev, loop devices and mounts";
        }
        ASSERT_TRUE(QFileInfo::exists("/usr/libexec/udisks2/udisksd")) << "scripts/test installs udisks2";
        // udev serves the whole machine, so test processes take turns.
        m_lock = ::open("/run/lock/tarnwell-udisks-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_TRUE(m_lock >= 0 && ::flock(m_lock, LOCK_EX) == 0);
        m_previousBusAddress = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
        // Whatever is newer than this file was written while the test's daemons ran.
        QFile stamp(m_directory.filePath("started"));
        ASSERT_TRUE(stamp.open(QIODevice::WriteOnly));
        // polkitd and the test user reach the bus socket by name, but may neither list nor write.
        ASSERT_TRUE(m_shared.isValid());
        ASSERT_TRUE(QFile::setPermissions(m_shared.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                               QFile::ExeOwner | QFile::ExeGroup |
                                                               QFile::ExeOther));
        const QString socket = m_shared.filePath("system_bus_socket");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", QFile::encodeName("unix:path=" + socket));
        m_bus = start(
            "dbus-daemon",
            {"--nofork", "--config-file=" + fixtures + "/system-bus.conf", "--address=unix:path=" + socket},
            answers("org.freedesktop.DBus", "/org/freedesktop/DBus"));
        m_startedUdev = !udevAnswers();
        m_udev = m_startedUdev ? start("/lib/systemd/systemd-udevd", {}, udevAnswers) : nullptr;
        if (GetParam().asTestUser) {
            // polkit reads rules from fixed folders only: in a mount namespace of its own it finds
            // the fixtures' rule, or an empty folder.
            const QString rules = GetParam().allowed ? fixtures + "/rules" : m_shared.filePath("rules");
            QDir().mkpath(rules);
            m_polkit =
                start("unshare",
                      {"--mount", "--propagation", "private", "sh", "-c",
                       R"(mount --bind "$0" /etc/polkit-1/rules.d && exec /usr/lib/polkit-1/polkitd)", rules},
                      answers("org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority"));
        }
        startUDisks();
    }

    void TearDown() override {
        if (m_lock < 0) {
            return;
        }
        if (m_startedUdev) {
            // The test's devices are gone by now; their last events are handled before udev goes.
            runProgram("udevadm", {"settle", "--timeout=10"});
        }
        for (auto* daemon : {&m_udisks, &m_polkit, &m_udev, &m_bus}) {
            stop(*daemon);
        }
        // Deepest first, so directories are empty by their turn; links are removed, never followed.
        const QString stamp = m_directory.filePath("started");
        runProgram("find", (m_startedUdev ? udevDirectories : QStringList()) +
                               QStringList{"/run/udisks2", "-depth", "-newer", stamp, "-exec", "rm", "-d",
                                           "{}", "+"});
        runProgram("find",
                   {"/media/root", "/media/nobody", "-maxdepth", "0", "-newer", stamp, "-empty", "-delete"});
        m_previousBusAddress.isEmpty() ? qunsetenv("DBUS_SYSTEM_BUS_ADDRESS")
                                       : qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_previousBusAddress);
        ::close(m_lock);
    }

    std::unique_ptr<QProcess> start(const QString& program, const QStringList& arguments,
                                    const std::function<bool()>& ready) {
        const QString log = m_directory.filePath(QFileInfo(program).fileName() + ".log");
        auto process = std::make_unique<QProcess>();
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(log);
        // Should the test process die without cleaning up, the daemons go with it.
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process->start(program, arguments);
        if (!testing::runUntil([&] { return process->state() == QProcess::NotRunning || ready(); }) ||
            process->state() == QProcess::NotRunning) {
            QFile file(log);
            ADD_FAILURE() << program.toStdString() << " did not start: "
                          << (file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "");
        }
        return process;
    }

    static void stop(std::unique_ptr<QProcess>& process) {
        if (!process) {
            return;
        }
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished();
        }
        process.reset();
    }

    bool startUDisks() {
        m_udisks = start("/usr/libexec/udisks2/udisksd", {},
                         answers("org.freedesktop.UDisks2", "/org/freedesktop/UDisks2"));
        return m_udisks->state() == QProcess::Running;
    }

    // Waits until UDisks2 describes the file system on the device.
    static bool knowsFileSystem(const QString& devicePath, const QString& uuid) {
        return testing::runUntil([&] {
            const std::string description =
                runProgram("udisksctl", {"info", "--block-device", devicePath}).output;
            return description.find(uuid.toStdString()) != std::string::npos &&
                   description.find("org.freedesktop.UDisks2.Filesystem:") != std::string::npos;
        });
    }

    int m_lock = -1;
    QByteArray m_previousBusAddress;
    QTemporaryDir m_directory;
    // What the daemons of other users open. TMPDIR may be private to root (as PAM or a CI runner
    // sets it), so this folder is made afresh in /run, which only root writes to.
    QTemporaryDir m_shared{QStringLiteral("/run/tarnwell-udisks-XXXXXX")};
    bool m_startedUdev = false;
    std::unique_ptr<QProcess> m_bus, m_udev, m_polkit, m_udisks;
};

TEST_P(UDisksEndToEndTests, MountInfoAndUnmountGoThroughUDisks2) {
    ASSERT_FALSE(HasFailure()) << "the daemons did not start";
    const Scenario& scenario = GetParam();
    const QStringList prefix = scenario.asTestUser ? asTestUser : QStringList();
    const QString label =
        *scenario.labelStem ? testing::uniqueLabel(QString::fromUtf8(scenario.labelStem)) : "";
    const auto volume = testing::LoopVolume::create(m_directory, label.toUtf8());
    ASSERT_TRUE(volume);
    const QString uuid = volume->uuid();
    ASSERT_TRUE(knowsFileSystem(volume->path(), uuid));
    const QString name = label.isEmpty() ? QStringLiteral("Untitled") : label;
    const QString volumeText = QStringLiteral("Volume %1 on %2").arg(name, volume->name());
    Route route(scenario.throughService, prefix);

    if (scenario.udisksGoesAway) {
        stop(m_udisks);
        const CommandResult gone = route.mount(uuid);
        EXPECT_EQ(gone.exitCode, 1);
        EXPECT_EQ(gone.error,
                  (volumeText + " failed to mount: mounting needs the UDisks2 service or root privileges\n")
                      .toStdString());
        EXPECT_TRUE(volume->mountPoints().isEmpty());
        ASSERT_TRUE(startUDisks());
        ASSERT_TRUE(knowsFileSystem(volume->path(), uuid));
    }

    const CommandResult mounted = route.mount(uuid);
    if (!scenario.allowed) {
        EXPECT_EQ(mounted.exitCode, 1);
        EXPECT_EQ(QString::fromStdString(mounted.error),
                  volumeText + " failed to mount: you are not allowed to mount "
                               "this volume (UDisks2: Not authorized to perform operation)\n");
        EXPECT_TRUE(volume->mountPoints().isEmpty());
        return;
    }
    ASSERT_EQ(mounted.exitCode, 0) << mounted.error;
    const QString mountPoint =
        QStringLiteral("/media/%1/%2")
            .arg(scenario.asTestUser ? "nobody" : "root", label.isEmpty() ? uuid : label);
    ASSERT_EQ(volume->mountPoints(), QStringList{mountPoint});
    EXPECT_EQ(route.info(uuid), std::pair(name, mountPoint));

    // A process of the same user works inside the volume, as an editing application would.
    QProcess holder;
    holder.setWorkingDirectory(mountPoint);
    const QStringList holderLine = prefix + QStringList{"sleep", "60"};
    holder.start(holderLine.first(), holderLine.mid(1));
    ASSERT_TRUE(testing::runUntil([&holder] { return testing::runsSleep(holder); }));
    const CommandResult busy = route.unmount(uuid, volume->name());
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_EQ(busy.error,
              QStringLiteral("%1 failed to unmount: target is busy\ndissented by PID %2 (sleep)\n")
                  .arg(volumeText)
                  .arg(holder.processId())
                  .toStdString());
    EXPECT_EQ(volume->mountPoints(), QStringList{mountPoint});

    holder.kill();
    holder.waitForFinished();
    const CommandResult idle = route.unmount(uuid, volume->name());
    EXPECT_EQ(idle.exitCode, 0);
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
