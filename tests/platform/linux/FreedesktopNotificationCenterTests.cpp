#include "core/support/PlatformError.h"
#include "platform/NotificationService.h"
#include "platform/linux/FreedesktopNotificationCenter.h"
#include "support/TaskRunner.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
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
    struct Received {
        QString appName;
        uint replacesId;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    QStringList capabilities{QStringLiteral("body")};
    QList<Received> received;

public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }

    uint Notify(const QString& appName, uint replacesId, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int) {
        received.append({appName, replacesId, summary, body, hints});
        return static_cast<uint>(received.size());
    }
};

// A session bus of the test's own, so nothing reaches the desktop the tests run on.
class PrivateBusTests : public ::testing::Test {
protected:
    void SetUp() override {
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                     QStringLiteral("--print-address")});
        ASSERT_TRUE(daemon.waitForStarted()) << "dbus-daemon is missing";
        while (!daemon.canReadLine() && daemon.waitForReadyRead(5000)) {
        }
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        const QString suffix = QString::number(++connections);
        client = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, QStringLiteral("client") + suffix));
        serverConnection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, QStringLiteral("server") + suffix));
        ASSERT_TRUE(client->isConnected());
        ASSERT_TRUE(serverConnection->isConnected());
    }

    void TearDown() override {
        const QString clientName = client->name();
        const QString serverName = serverConnection->name();
        client.reset();
        serverConnection.reset();
        QDBusConnection::disconnectFromBus(clientName);
        QDBusConnection::disconnectFromBus(serverName);
        daemon.terminate();
        daemon.waitForFinished();
    }

    void ownNotifications() {
        ASSERT_TRUE(serverConnection->registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                                     &server, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(serverConnection->registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    static inline int connections = 0;
    QProcess daemon;
    QString address;
    std::unique_ptr<QDBusConnection> client;
    std::unique_ptr<QDBusConnection> serverConnection;
    RecordingNotificationServer server;
};

TEST_F(PrivateBusTests, NotificationsArriveAsTarnwellEachOnItsOwnWithSoundWherePlayable) {
    ownNotifications();
    NotificationService service(std::make_shared<FreedesktopNotificationCenter>(*client));
    runTask(service.notify(QStringLiteral("Drive Mounted"), QStringLiteral("Media is now mounted."), true));
    runTask(service.notify(QStringLiteral("Drive Mounted"), QStringLiteral("Media is now mounted."), true));
    server.capabilities.append(QStringLiteral("sound"));
    runTask(service.notify(QStringLiteral("Drive Mounted"), QStringLiteral("Media is now mounted."), true));
    FreedesktopNotificationCenter center(*client);
    runTask(center.add({QStringLiteral("id"), QStringLiteral("Drive Mounted"),
                        QStringLiteral("Media is now mounted."), false}));

    ASSERT_EQ(server.received.size(), 4);
    for (const auto& notification : server.received) {
        EXPECT_EQ(notification.appName, QStringLiteral("Tarnwell"));
        EXPECT_EQ(notification.replacesId, 0u);
        EXPECT_EQ(notification.summary, QStringLiteral("Drive Mounted"));
        EXPECT_EQ(notification.body, QStringLiteral("Media is now mounted."));
        EXPECT_EQ(notification.hints.value(QStringLiteral("desktop-entry")).toString(),
                  QStringLiteral("tarnwell"));
    }
    // Only a server that can play sounds is asked to, and only for a notification that wants one.
    EXPECT_FALSE(server.received.at(1).hints.contains(QStringLiteral("sound-name")));
    EXPECT_EQ(server.received.at(2).hints.value(QStringLiteral("sound-name")).toString(),
              QStringLiteral("message-new-instant"));
    EXPECT_FALSE(server.received.at(3).hints.contains(QStringLiteral("sound-name")));
}

TEST_F(PrivateBusTests, WithoutAServerNothingIsPostedAndNothingFails) {
    FreedesktopNotificationCenter center(*client);
    EXPECT_EQ(runTask(center.permission()), NotificationPermission::denied);
    NotificationService service(std::make_shared<FreedesktopNotificationCenter>(*client));
    EXPECT_NO_THROW(runTask(service.requestAuthorizationIfNeeded()));
    EXPECT_NO_THROW(runTask(service.notify(QStringLiteral("Drive Mounted"), QStringLiteral("x"), true)));
    // Posting straight to the centre is a failure, not a silent success.
    EXPECT_THROW(runTask(center.add({QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("b"), true})),
                 PlatformError);
    // A server that appears later is found.
    ownNotifications();
    EXPECT_EQ(runTask(center.permission()), NotificationPermission::authorized);
}

TEST(FreedesktopNotificationCenterTests, DisconnectedBusMeansNoPermissionAndFailedDelivery) {
    FreedesktopNotificationCenter center(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere")));
    EXPECT_EQ(runTask(center.permission()), NotificationPermission::denied);
    EXPECT_THROW(runTask(center.add({QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("b"), true})),
                 PlatformError);
}

} // namespace
} // namespace tarnwell

#include "FreedesktopNotificationCenterTests.moc"
