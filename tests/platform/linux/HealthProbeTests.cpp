#include "platform/linux/AutostartLoginItem.h"
#include "platform/linux/AutostartProbe.h"
#include "platform/linux/MountingProbe.h"
#include "platform/linux/NotificationServerProbe.h"
#include "platform/linux/TrayProbe.h"
#include "support/TaskRunner.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

// The checks over the services a user's system really runs: buses of the tests' own, with and
// without a notification server, a tray host, UDisks2 and polkit with rules that allow or refuse.

namespace tarnwell {
namespace {

using testing::runTask;
using testing::runUntil;

class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public Q_SLOTS:
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = QStringLiteral("Example");
        version = QStringLiteral("5.27");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("Example Notifier");
    }
};

class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    bool hostRegistered() const { return true; }
};

// A bus daemon started for one test; its address is read from its own output.
class PrivateBus {
public:
    PrivateBus(const QString& configuration, const QString& name) {
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start("dbus-daemon", {"--config-file=" + configuration, "--nofork", "--print-address"});
        m_daemon.waitForStarted();
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) {
        }
        address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, name));
    }
    ~PrivateBus() {
        const QString name = connection->name();
        connection.reset();
        QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    QString address;
    std::unique_ptr<QDBusConnection> connection;

private:
    QProcess m_daemon;
};

HealthCheck checked(HealthProbing& probe, HealthInputs inputs = {}) {
    return runTask(probe.check(std::move(inputs)));
}

TEST(HealthProbeTests, SessionChecksFindTheNotificationServerAndTheTrayHostOnlyWhenPresent) {
    PrivateBus bus(TARNWELL_TEST_BUS_CONFIGURATION, "probes");
    ASSERT_TRUE(bus.connection->isConnected());
    NotificationServerProbe notifications(*bus.connection);
    TrayProbe tray(*bus.connection, QString());

    const HealthCheck noServer = checked(notifications);
    EXPECT_EQ(noServer.state, HealthState::NeedsAttention);
    EXPECT_EQ(noServer.finding, "No notification server answers on the session bus.");
    EXPECT_FALSE(noServer.advice.isEmpty());
    const HealthCheck noTray = checked(tray);
    EXPECT_EQ(noTray.state, HealthState::NeedsAttention);
    EXPECT_EQ(noTray.advice,
              "Tarnwell keeps running when its window is closed; starting it again shows the window.");

    NotificationServer server;
    StatusNotifierWatcher watcher;
    ASSERT_TRUE(bus.connection->registerObject("/org/freedesktop/Notifications", &server,
                                               QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.connection->registerService("org.freedesktop.Notifications"));
    const HealthCheck server527 = checked(notifications);
    EXPECT_EQ(server527.state, HealthState::Fine);
    EXPECT_EQ(server527.finding, "Example Notifier 5.27 shows notifications.");
    EXPECT_TRUE(server527.advice.isEmpty());
    // A watcher with no host shows no icon; one with a host does.
    ASSERT_TRUE(bus.connection->registerService("org.kde.StatusNotifierWatcher"));
    EXPECT_EQ(checked(tray).state, HealthState::NeedsAttention);
    ASSERT_TRUE(bus.connection->registerObject("/StatusNotifierWatcher", &watcher,
                                               QDBusConnection::ExportAllProperties));
    const HealthCheck host = checked(tray);
    EXPECT_EQ(host.state, HealthState::Fine);
    EXPECT_EQ(host.finding, "A StatusNotifierItem host shows Tarnwell's tray icon.");
}

TEST(HealthProbeTests, LaunchAtLoginComparesTheEntryWithTheSetting) {
    QTemporaryDir folder;
    const QString executable = folder.filePath("bin/tarnwell");
    const QString autostart = folder.filePath("autostart");
    AutostartLoginItem item(executable, autostart, folder.filePath("bin"));
    AutostartProbe probe(executable, autostart);
    HealthInputs wanted;
    wanted.configuration.launchAtLogin = true;

    EXPECT_EQ(checked(probe).state, HealthState::Fine);
    EXPECT_EQ(checked(probe, wanted).state, HealthState::NeedsAttention);
    item.registerItem();
    const HealthCheck present = checked(probe, wanted);
    EXPECT_EQ(present.state, HealthState::Fine);
    EXPECT_EQ(present.finding, "The autostart entry " + item.entryPath() + " starts this Tarnwell at login.");
    // An entry left on while the setting is off is worth a word, though it changes nothing.
    EXPECT_EQ(checked(probe).state, HealthState::NeedsAttention);

    QFile entry(item.entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray written = entry.readAll();
    entry.close();
    for (const auto& [content, finding] :
         {std::pair{written + "Hidden=true\n",
                    "The autostart entry " + item.entryPath() + " is present but turned off."},
          std::pair{QByteArray("[Desktop Entry]\nType=Application\nExec=/opt/old/tarnwell\n"),
                    "The autostart entry starts /opt/old/tarnwell, not this Tarnwell (" + executable +
                        ")."}}) {
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
        entry.write(content);
        entry.close();
        const HealthCheck check = checked(probe, wanted);
        EXPECT_EQ(check.state, HealthState::NeedsAttention);
        EXPECT_EQ(check.finding, finding);
        EXPECT_FALSE(check.advice.isEmpty());
        // The check only reads.
        ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
        EXPECT_EQ(entry.readAll(), content);
        entry.close();
    }
}

// A system bus of the test's own with polkit reading the given rules, and UDisks2 when asked; the
// subject asking to mount is an ordinary user's process.
class SystemServices {
public:
    explicit SystemServices(const QByteArray& rule, bool withUDisks)
        : m_bus(QStringLiteral(TARNWELL_UDISKS_FIXTURES "/system-bus.conf"), "system-probes") {
        // polkitd runs as its own user and must reach the socket in /tmp; the rules go in a folder
        // bound over the system's for polkitd alone.
        QDir(m_folder.path()).mkpath("rules");
        QFile rules(m_folder.filePath("rules/50-test.rules"));
        if (!rule.isEmpty() && rules.open(QIODevice::WriteOnly)) {
            rules.write(rule);
            rules.close();
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address);
        start(m_polkit, environment, "unshare",
              {"--mount", "--propagation", "private", "sh", "-c",
               R"(mount --bind "$0" /etc/polkit-1/rules.d && exec /usr/lib/polkit-1/polkitd)",
               m_folder.filePath("rules")},
              "org.freedesktop.PolicyKit1");
        if (withUDisks) {
            start(m_udisks, environment, "/usr/libexec/udisks2/udisksd", {}, "org.freedesktop.UDisks2");
        }
        start(m_user, environment, "setpriv",
              {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "sleep", "60"}, {});
        // setpriv changes its user only after it has started.
        EXPECT_TRUE(runUntil([this] {
            return QFileInfo(QStringLiteral("/proc/%1").arg(userProcess())).ownerId() ==
                   ::getpwnam("nobody")->pw_uid;
        }));
    }
    ~SystemServices() {
        for (QProcess* process : {&m_user, &m_udisks, &m_polkit}) {
            process->terminate();
            process->waitForFinished();
        }
    }

    QDBusConnection& bus() { return *m_bus.connection; }
    qint64 userProcess() const { return m_user.processId(); }

private:
    void start(QProcess& process, const QProcessEnvironment& environment, const QString& program,
               const QStringList& arguments, const QString& name) {
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted());
        if (!name.isEmpty()) {
            ASSERT_TRUE(runUntil([&] {
                const QDBusReply<bool> owned = bus().interface()->isServiceRegistered(name);
                return owned.isValid() && owned.value();
            }));
        }
    }

    QTemporaryDir m_folder;
    PrivateBus m_bus;
    QProcess m_polkit;
    QProcess m_udisks;
    QProcess m_user;
};

TEST(HealthProbeTests, MountingAsksUDisks2AndPolkitWithoutInteraction) {
    if (::geteuid() != 0 || !QFile::exists("/usr/libexec/udisks2/udisksd")) {
        GTEST_SKIP() << "needs root and UDisks2 for a system bus of its own with polkit and UDisks2";
    }
    // UDisks2 keeps its state in /run/udisks2, which the disk tool's tests share.
    const int lock = ::open("/run/lock/tarnwell-udisks-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_TRUE(lock >= 0 && ::flock(lock, LOCK_EX) == 0);
    const QByteArray allow = R"(polkit.addRule(function(action, subject) {
        if (action.id == "org.freedesktop.udisks2.filesystem-mount" && subject.user == "nobody")
            return polkit.Result.YES; });)";
    const QByteArray refuse = QByteArray(allow).replace("YES", "NO");
    struct Case {
        QByteArray rule;
        bool withUDisks;
        bool asRoot;
        HealthState state;
        QString finding;
    };
    for (const Case& scenario :
         {Case{allow, false, false, HealthState::NotWorking, "UDisks2 does not answer on the system bus"},
          Case{allow, false, true, HealthState::Fine, "as root, Tarnwell mounts directly"},
          Case{allow, true, false, HealthState::Fine,
               "polkit lets you mount a removable drive without a password"},
          Case{refuse, true, false, HealthState::NotWorking, "polkit refuses to let you mount"},
          Case{{}, true, false, HealthState::NeedsAttention, "polkit asks for a password to mount"}}) {
        SystemServices services(scenario.rule, scenario.withUDisks);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
        MountingProbe probe(services.bus(), services.userProcess(), scenario.asRoot);
        const HealthCheck check = checked(probe);
        EXPECT_EQ(check.state, scenario.state) << check.finding.toStdString();
        EXPECT_TRUE(check.finding.contains(scenario.finding)) << check.finding.toStdString();
        EXPECT_EQ(check.version.isEmpty(), !scenario.withUDisks);
        // A refusal or a challenge names the action and the answer and offers a rule that allows it.
        const bool explained = scenario.state != HealthState::Fine && scenario.withUDisks;
        EXPECT_EQ(check.details.contains("polkit action: org.freedesktop.udisks2.filesystem-mount"),
                  explained);
        EXPECT_EQ(check.details.contains(MountingProbe::exampleRule("nobody")), explained);
    }
    ::close(lock);
}

} // namespace
} // namespace tarnwell

#include "HealthProbeTests.moc"
