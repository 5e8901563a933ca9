#include "core/support/PlatformError.h"
#include "platform/linux/SingleInstanceService.h"
#include "support/TaskRunner.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace tarnwell;
using namespace tarnwell::testing;
using namespace std::chrono_literals;

namespace {

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

#include "DesktopSessionTests.moc"
