#include "core/support/PlatformError.h"
#include "platform/NotificationService.h"
#include "platform/linux/FreedesktopNotificationCenter.h"
#include "support/TaskRunner.h"

#include <QDBusConnection>
#include <QProcess>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using testing::runTask;

// Stands in for the desktop's notification server and keeps every call it receives.
class RecordingNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList capabilities{QStringLiteral("body")};
    QList<QVariantList> received;

public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        received.append({appName, replacesId, icon, summary, body, hints.value("sound-name"),
                         hints.value("desktop-entry")});
        return static_cast<uint>(received.size());
    }
};

// A session bus of the test's own, with no service folders: no notification server installed on the
// machine can be started into it.
class PrivateBusTests : public ::testing::Test {
protected:
    void SetUp() override {
        daemon.start("dbus-daemon",
                     {"--config-file=" TARNWELL_TEST_BUS_CONFIGURATION, "--nofork", "--print-address"});
        ASSERT_TRUE(daemon.waitForStarted()) << "dbus-daemon is missing";
        while (!daemon.canReadLine() && daemon.waitForReadyRead(5000)) {
        }
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty()) << daemon.readAllStandardError().toStdString();
        client = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "client"));
        server = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "server"));
        ASSERT_TRUE(client->isConnected() && server->isConnected());
    }

    void TearDown() override {
        for (auto* connection : {&client, &server}) {
            const QString name = (*connection)->name();
            connection->reset();
            QDBusConnection::disconnectFromBus(name);
        }
        daemon.terminate();
        daemon.waitForFinished();
    }

    QProcess daemon;
    std::unique_ptr<QDBusConnection> client;
    std::unique_ptr<QDBusConnection> server;
    RecordingNotificationServer recorder;
};

TEST_F(PrivateBusTests, NotificationsReachOnlyAServerAsTarnwellEachOnItsOwnWithSoundWherePlayable) {
    FreedesktopNotificationCenter center(*client);
    EXPECT_EQ(runTask(center.permission()), NotificationPermission::denied);
    NotificationService service(std::make_shared<FreedesktopNotificationCenter>(*client));
    EXPECT_NO_THROW(runTask(service.requestAuthorizationIfNeeded()));
    EXPECT_NO_THROW(runTask(service.notify("Drive Mounted", "x", true)));
    // Posting straight to the centre is a failure, not a silent success.
    EXPECT_THROW(runTask(center.add({"id", "t", "b", true})), PlatformError);
    // A server that appears later is found.
    ASSERT_TRUE(
        server->registerObject("/org/freedesktop/Notifications", &recorder, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server->registerService("org.freedesktop.Notifications"));
    EXPECT_EQ(runTask(center.permission()), NotificationPermission::authorized);
    // Once it is there, notifications arrive.
    runTask(service.notify("Drive Mounted", "Media is now mounted.", true));
    recorder.capabilities.append(QStringLiteral("sound"));
    runTask(service.notify("Drive Mounted", "Media is now mounted.", true));
    runTask(FreedesktopNotificationCenter(*client).add(
        {"id", "Mount Failed", "Media could not be mounted.", false}));
    // Replacing no earlier notification, so every one stays; a sound only where the server plays one
    // and the notification wants it.
    const QVariant none;
    EXPECT_EQ(
        recorder.received,
        (QList<QVariantList>{
            {"Tarnwell", 0u, "tarnwell", "Drive Mounted", "Media is now mounted.", none, "tarnwell"},
            {"Tarnwell", 0u, "tarnwell", "Drive Mounted", "Media is now mounted.", "message-new-instant",
             "tarnwell"},
            {"Tarnwell", 0u, "tarnwell", "Mount Failed", "Media could not be mounted.", none, "tarnwell"}}));
    // A bus that cannot be reached means no permission and failed delivery.
    FreedesktopNotificationCenter nowhere(
        QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nowhere"));
    EXPECT_EQ(runTask(nowhere.permission()), NotificationPermission::denied);
    EXPECT_THROW(runTask(nowhere.add({"id", "t", "b", true})), PlatformError);
}

} // namespace
} // namespace tarnwell

#include "FreedesktopNotificationCenterTests.moc"
