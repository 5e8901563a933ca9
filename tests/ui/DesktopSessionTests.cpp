#include "app/TarnwellBusService.h"
#include "core/model/RuleService.h"
#include "core/support/PlatformError.h"
#include "platform/SettingsPreferencesStore.h"
#include "platform/linux/SingleInstanceService.h"
#include "support/FakeDiskTool.h"
#include "support/NoPresetDiscovery.h"
#include "support/TaskRunner.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace std::chrono_literals;

namespace {

// Keeps every Changed signal of Tarnwell's interface.
class ChangeRecorder : public QObject {
    Q_OBJECT

public:
    QList<QList<QVariant>> changes;

public Q_SLOTS:
    void changed(const QDBusMessage& message) { changes.append(message.arguments()); }
};

// The methods and signals of one interface in introspection data, each with its argument types, sorted.
QStringList members(const QString& xml, const QString& interface) {
    QStringList result;
    QXmlStreamReader reader(xml);
    bool inside = false;
    while (!reader.atEnd()) {
        reader.readNext();
        const QString name = reader.attributes().value(QStringLiteral("name")).toString();
        if (reader.isStartElement() && reader.name() == u"interface") {
            inside = name == interface;
        } else if (inside && reader.isStartElement() &&
                   (reader.name() == u"method" || reader.name() == u"signal")) {
            result.append(reader.name().toString() + u' ' + name);
        } else if (inside && reader.isStartElement() && reader.name() == u"arg") {
            result.last() += u' ' + reader.attributes().value(QStringLiteral("direction")).toString() +
                             reader.attributes().value(QStringLiteral("type")).toString();
        }
    }
    result.sort();
    return result;
}

// Stands in for a desktop's StatusNotifierItem host and keeps the items that register.
class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems MEMBER items)

public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { items.append(service); }
    void RegisterStatusNotifierHost(const QString&) {}
};

// A session bus and an X server of the test's own. The bus configuration names no service
// folders, so nothing on this machine is started on demand.
class DesktopSession : public ::testing::Test {
protected:
    void SetUp() override {
        const QString config = folder.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                           "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                .arg(folder.path())
                .toUtf8());
        file.close();
        address = startReporting(bus, QStringLiteral("dbus-daemon"),
                                 {QStringLiteral("--config-file=") + config, "--nofork", "--print-address"});
        connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, address));
        ASSERT_TRUE(connection->isConnected());
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DISPLAY"));
    }

    void TearDown() override {
        connection.reset();
        QDBusConnection::disconnectFromBus(address);
        for (QProcess* process : {&tarnwell, &display, &bus}) {
            process->kill();
            process->waitForFinished();
        }
    }

    // Starts a server that prints where to reach it on its first line.
    static QString startReporting(QProcess& process, const QString& program, const QStringList& arguments) {
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForStarted()) << program.toStdString() << " is missing";
        runUntil([&] { return process.canReadLine(); });
        return QString::fromUtf8(process.readLine()).trimmed();
    }

    QString startDisplay() {
        const QString number =
            startReporting(display, QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp"});
        EXPECT_FALSE(number.isEmpty());
        return u':' + number;
    }

    void startTarnwell() {
        tarnwell.setProcessEnvironment(environment);
        tarnwell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        tarnwell.start(QStringLiteral(TARNWELL_EXECUTABLE), {QStringLiteral("--background")});
        ASSERT_TRUE(tarnwell.waitForStarted());
    }

    void startOnDisplay(const QString& displayName) {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"), displayName);
        startTarnwell();
    }

    // Starts Tarnwell while another instance runs, and returns what it said before it ended.
    QString startAgain() {
        QProcess again;
        again.setProcessEnvironment(environment);
        again.start(QStringLiteral(TARNWELL_EXECUTABLE), {QStringLiteral("--background")});
        if (!runUntil([&] { return again.state() == QProcess::NotRunning; }, 20s)) {
            again.kill();
            again.waitForFinished();
            ADD_FAILURE() << "the second instance kept running";
        }
        EXPECT_EQ(again.exitCode(), 0);
        return QString::fromLocal8Bit(again.readAllStandardError());
    }

    // A termination request ends Tarnwell cleanly.
    void expectCleanStop() {
        tarnwell.terminate();
        ASSERT_TRUE(runUntil([&] { return tarnwell.state() == QProcess::NotRunning; }, 20s));
        EXPECT_EQ(tarnwell.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(tarnwell.exitCode(), 0);
    }

    QTemporaryDir folder;
    const QString runtime = folder.filePath(QStringLiteral("runtime"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess bus;
    QProcess display;
    QProcess tarnwell;
    QString address;
    std::unique_ptr<QDBusConnection> connection;
};

} // namespace

TEST_F(DesktopSession, ASecondStartRaisesTheRunningInstanceAndExits) {
    const QString lock = runtime + QStringLiteral("/tarnwell-instance.lock");
    EXPECT_THROW(SingleInstanceService({QStringLiteral("/proc/none/lock")}, *connection).claim(),
                 PlatformError);
    SingleInstanceService first({lock}, *connection);
    int activations = 0;
    QObject::connect(&first, &SingleInstanceService::activationRequested, [&] { ++activations; });
    ASSERT_EQ(first.claim(), SingleInstanceService::Claim::First);

    EXPECT_TRUE(startAgain().contains(QStringLiteral("Tarnwell is already running; its window is shown.")));
    EXPECT_EQ(activations, 1);
    // Without a session bus the second start cannot reach the first, but still leaves it alone.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nowhere"));
    EXPECT_TRUE(startAgain().contains(QStringLiteral("Tarnwell is already running")));
    EXPECT_EQ(activations, 1);
}

// A start without a session bus, as from a script or a service, still holds the claim; where the
// runtime folder is unusable the configuration folder holds it.
TEST_F(DesktopSession, AnInstanceWithoutASessionBusKeepsASecondOneOut) {
    const QString config = folder.filePath(QStringLiteral("config/Tarnwell/tarnwell-instance.lock"));
    for (const auto& [where, lock] : {std::pair{runtime, runtime + QStringLiteral("/tarnwell-instance.lock")},
                                      std::pair{QStringLiteral("/proc/none"), config}}) {
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), where);
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nowhere"));
        startTarnwell();
        ASSERT_TRUE(runUntil([&] { return QFile::exists(lock); }, 20s));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        EXPECT_TRUE(startAgain().contains(QStringLiteral("Tarnwell is already running")));
        EXPECT_EQ(tarnwell.state(), QProcess::Running);
        expectCleanStop();
    }
}

TEST_F(DesktopSession, TheTrayIconRegistersWithAStatusNotifierHost) {
    StatusNotifierWatcher watcher;
    ASSERT_TRUE(connection->registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                           QDBusConnection::ExportAllContents));
    ASSERT_TRUE(connection->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    startOnDisplay(startDisplay());
    ASSERT_TRUE(runUntil([&] { return !watcher.items.isEmpty(); }, 30s));

    QDBusMessage title = QDBusMessage::createMethodCall(
        watcher.items.first(), QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    title << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Title");
    // Tarnwell may be asking the host something meanwhile, so the host keeps answering while it waits.
    const QDBusMessage reply = connection->call(title, QDBus::BlockWithGui);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.arguments().value(0).value<QDBusVariant>().variant().toString(),
              QStringLiteral("Tarnwell"));
    expectCleanStop();
}

TEST_F(DesktopSession, TheTrayIconDocksIntoAnXEmbedTray) {
    const QString displayName = startDisplay();
    xcb_connection_t* x = xcb_connect(displayName.toUtf8().constData(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(x), 0);
    const auto atom = [x](const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, strlen(name), name), nullptr);
        const xcb_atom_t result = reply->atom;
        free(reply);
        return result;
    };
    // Own the tray selection, as a panel's tray does before any icon starts.
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_window_t tray = xcb_generate_id(x);
    xcb_create_window(x, XCB_COPY_FROM_PARENT, tray, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
    const xcb_atom_t opcode = atom("_NET_SYSTEM_TRAY_OPCODE");
    xcb_set_selection_owner(x, tray, selection, XCB_CURRENT_TIME);
    xcb_flush(x);

    startOnDisplay(displayName);
    bool dockRequested = false;
    runUntil(
        [&] {
            while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                // Opcode 0 is SYSTEM_TRAY_REQUEST_DOCK.
                dockRequested |= (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                                 message->type == opcode && message->data.data32[1] == 0;
                free(event);
            }
            return dockRequested;
        },
        30s);
    EXPECT_TRUE(dockRequested);
    xcb_disconnect(x);
    expectCleanStop();
}

// A copy of Tarnwell beside the fake disk tool, so that its drives are the test's: the command line
// reads them without an instance and without a display, then drives the running instance, whose
// interface tells every change, refuses bad arguments and matches its checked-in description.
TEST_F(DesktopSession, TheCommandLineAndTheBusInterfaceFollowAndDriveTheRunningInstance) {
    FakeDiskTool tool(QJsonDocument::fromJson(R"json({"disks": [
        {"deviceIdentifier": "disk4s1", "internal": false, "volumeName": "Rushes", "volumeUUID": "UUID-Rushes",
         "mountPoint": ""},
        {"deviceIdentifier": "disk5s1", "internal": false, "volumeName": "Archive", "volumeUUID": "UUID-Archive",
         "mountPoint": "/Volumes/Archive", "busy": true, "busyProcess": "4242 (resolve)"}]})json")
                          .object());
    environment.insert(QString::fromLatin1(FakeDiskTool::stateVariable),
                       qEnvironmentVariable(FakeDiskTool::stateVariable));
    const QString program = folder.filePath(QStringLiteral("bin/tarnwell"));
    ASSERT_TRUE(QDir().mkpath(folder.filePath(QStringLiteral("bin"))));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TARNWELL_EXECUTABLE), program));
    ASSERT_TRUE(QFile::link(FakeDiskTool::executablePath(),
                            folder.filePath(QStringLiteral("bin/tarnwell-diskutil"))));

    TarnwellConfiguration configuration;
    for (const QString& name : {QStringLiteral("Rushes"), QStringLiteral("Archive")}) {
        StorageTargetRule rule;
        rule.id = QUuid::createUuid();
        rule.name = name;
        rule.target = LocalVolumeTarget{name, QStringLiteral("UUID-") + name, {}, {}, {}, {}, true};
        configuration.storageRules.append(rule);
    }
    const QString settings = folder.filePath(QStringLiteral("config/Tarnwell/Tarnwell.conf"));
    RuleService(std::make_shared<SettingsPreferencesStore>(settings), presetsWithoutDiscovery())
        .saveConfiguration(configuration);
    const auto stored = [&settings] {
        QFile file(settings);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray storedBefore = stored();

    int exitCode = -1;
    QString errors;
    const auto run = [&](const QStringList& arguments) {
        QProcess command;
        command.setProcessEnvironment(environment);
        command.start(program, arguments);
        EXPECT_TRUE(command.waitForFinished(60000));
        exitCode = command.exitCode();
        errors = QString::fromLocal8Bit(command.readAllStandardError());
        return QString::fromLocal8Bit(command.readAllStandardOutput());
    };
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    EXPECT_EQ(run({"--version"}), QStringLiteral("Tarnwell 1.0.0\n"));
    EXPECT_EQ(run({"--status"}), QStringLiteral("1 mounted\nRushes: Not Mounted\nArchive: Mounted\n"));
    EXPECT_EQ(exitCode, 0) << errors.toStdString();
    run({"--open"});
    EXPECT_EQ(exitCode, 2);
    EXPECT_TRUE(errors.contains(QStringLiteral("Tarnwell is not running"))) << errors.toStdString();
    run({"--status", "--quit"});
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("Give only one of --status, --quit.")))
        << errors.toStdString();

    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    tarnwell.setProcessEnvironment(environment);
    tarnwell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tarnwell.start(program, {QStringLiteral("--background")});
    const QString service = QString::fromLatin1(SingleInstanceService::serviceName);
    const QString path = QString::fromLatin1(SingleInstanceService::objectPath);
    const QString interface = QString::fromLatin1(TarnwellBusService::interfaceName);
    const auto ask = [&](const QString& method, const QList<QVariant>& arguments = {}) {
        QDBusMessage request = QDBusMessage::createMethodCall(service, path, interface, method);
        request.setArguments(arguments);
        return connection->call(request, QDBus::Block, 60000);
    };
    ASSERT_TRUE(
        runUntil([&] { return ask(QStringLiteral("GetStatus")).type() == QDBusMessage::ReplyMessage; }, 30s));
    ChangeRecorder recorder;
    ASSERT_TRUE(connection->connect(service, path, interface, QStringLiteral("Changed"), &recorder,
                                    SLOT(changed(QDBusMessage))));

    EXPECT_EQ(run({"--mount-missing"}), QStringLiteral("2 mounted\nRushes: Mounted\nArchive: Mounted\n"));
    EXPECT_EQ(exitCode, 0) << errors.toStdString();
    ASSERT_TRUE(runUntil([&] {
        return !recorder.changes.isEmpty() && recorder.changes.last().value(0) == QStringLiteral("2 mounted");
    }));

    const QDBusMessage badIdentifier = ask(QStringLiteral("MountRule"), {QStringLiteral("Rushes")});
    EXPECT_EQ(badIdentifier.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    EXPECT_TRUE(badIdentifier.errorMessage().contains(QStringLiteral("not a rule identifier")));
    const QDBusMessage unknown = ask(QStringLiteral("UnmountRule"), {QUuid::createUuid().toString()});
    EXPECT_EQ(unknown.errorName(), QString::fromLatin1(TarnwellBusService::unknownRuleError));

    // The busy drive stays mounted, and the command says so with its exit code.
    const QString unmounted = run({"--unmount-ready"});
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(
        unmounted.startsWith(QStringLiteral("1 issue\nRushes: Not Mounted\nArchive: Unmount Failed (")))
        << unmounted.toStdString();
    EXPECT_TRUE(unmounted.contains(QStringLiteral("4242 (resolve)")));
    EXPECT_EQ(ask(QStringLiteral("GetStatus")).arguments().value(1), true);

    QFile description(QStringLiteral(TARNWELL_SOURCE_DIR "/data/dbus/org.tarnwell.Tarnwell.Control.xml"));
    ASSERT_TRUE(description.open(QIODevice::ReadOnly));
    const QDBusMessage introspection = connection->call(QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect")));
    EXPECT_EQ(members(introspection.arguments().value(0).toString(), interface),
              members(QString::fromUtf8(description.readAll()), interface));
    EXPECT_EQ(stored(), storedBefore);
    run({"--quit"});
    EXPECT_EQ(exitCode, 0);
    ASSERT_TRUE(runUntil([&] { return tarnwell.state() == QProcess::NotRunning; }, 20s));
    EXPECT_EQ(tarnwell.exitCode(), 0);
}

#include "DesktopSessionTests.moc"
