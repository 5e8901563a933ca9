#include "core/support/Observe.h"
#include "core/support/PlatformError.h"
#include "platform/LogService.h"
#include "platform/LoginItemService.h"
#include "platform/NotificationService.h"
#include "support/TaskRunner.h"

#include <QCoroTimer>
#include <QTimeZone>
#include <QUuid>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

using testing::runTask;

// A centre that answers after a turn of the event loop, as a real one does.
class RecordingCenter : public NotificationCentering {
public:
    NotificationPermission state = NotificationPermission::authorized;
    bool failsDelivery = false;
    int permissionReads = 0;
    int authorizationRequests = 0;
    QList<NotificationRequest> delivered;

    QCoro::Task<NotificationPermission> permission() override {
        ++permissionReads;
        co_await QCoro::sleepFor(std::chrono::milliseconds(1));
        co_return state;
    }
    QCoro::Task<> requestAuthorization() override {
        ++authorizationRequests;
        co_await QCoro::sleepFor(std::chrono::milliseconds(1));
        throw PlatformError(QStringLiteral("prompt dismissed"));
    }
    QCoro::Task<> add(NotificationRequest request) override {
        co_await QCoro::sleepFor(std::chrono::milliseconds(1));
        if (failsDelivery) {
            throw PlatformError(QStringLiteral("server went away"));
        }
        delivered.append(std::move(request));
    }
};

TEST(NotificationServiceTests, PostsOnlyWhenEnabledAndPermittedAndAsksOnlyWhileUndecided) {
    using enum NotificationPermission;
    // Permission, enabled, posts.
    const QList<std::tuple<NotificationPermission, bool, bool>> cases{
        {authorized, false, false}, {notDetermined, true, false}, {denied, true, false},
        {authorized, true, true},   {provisional, true, true},    {ephemeral, true, true}};
    for (const auto& [state, enabled, posts] : cases) {
        auto center = std::make_shared<RecordingCenter>();
        center->state = state;
        NotificationService service(center);
        runTask(
            service.notify(QStringLiteral("Drive Mounted"), QStringLiteral("Media was mounted."), enabled));
        EXPECT_EQ(center->delivered.size(), posts ? 1 : 0) << int(state) << enabled;
        EXPECT_EQ(center->permissionReads, enabled ? 1 : 0) << int(state);
        // Asking ignores the answer, a refusal included.
        EXPECT_NO_THROW(runTask(service.requestAuthorizationIfNeeded()));
        EXPECT_EQ(center->authorizationRequests, state == notDetermined ? 1 : 0);
    }
}

TEST(NotificationServiceTests, EachNotificationIsItsOwnAndFailuresOrAGoneServiceEndQuietly) {
    auto center = std::make_shared<RecordingCenter>();
    auto service = std::make_unique<NotificationService>(center);
    runTask(service->notify(QStringLiteral("Drive Ready to Unmount"), QStringLiteral("A"), true));
    auto pending = service->notify(QStringLiteral("Drive Ready to Unmount"), QStringLiteral("B"), true);
    service.reset();
    runTask(std::move(pending));
    ASSERT_EQ(center->delivered.size(), 2);
    EXPECT_NE(center->delivered.at(0).identifier, center->delivered.at(1).identifier);
    EXPECT_FALSE(QUuid::fromString(center->delivered.at(1).identifier).isNull());
    EXPECT_EQ(center->delivered.at(1),
              (NotificationRequest{center->delivered.at(1).identifier, "Drive Ready to Unmount", "B", true}));
    center->failsDelivery = true;
    EXPECT_NO_THROW(runTask(NotificationService(center).notify(QStringLiteral("Mount Failed"), "x", true)));
}

class RecordingAppService : public LoginItemAppServicing {
public:
    LoginItemStatus current = LoginItemStatus::notRegistered;
    QList<QString> calls;

    LoginItemStatus status() const override { return current; }
    void registerItem() override { calls.append(QStringLiteral("register")); }
    void unregisterItem() override { calls.append(QStringLiteral("unregister")); }
};

TEST(LoginItemServiceTests, EnabledOnlyWhenThePlatformSaysSoAndCalledOnlyToChangeIt) {
    using enum LoginItemStatus;
    const QList<std::tuple<LoginItemStatus, bool, QList<QString>>> cases{
        {notRegistered, true, {"register"}}, {enabled, true, {}},
        {requiresApproval, true, {}},        {notFound, true, {"register"}},
        {enabled, false, {"unregister"}},    {requiresApproval, false, {"unregister"}},
        {notRegistered, false, {}},          {notFound, false, {}}};
    for (const auto& [status, enable, calls] : cases) {
        auto app = std::make_shared<RecordingAppService>();
        app->current = status;
        LoginItemService service(app);
        EXPECT_EQ(service.isLaunchAtLoginEnabled(), status == enabled);
        service.setLaunchAtLogin(enable);
        EXPECT_EQ(app->calls, calls) << "status " << int(status) << ", enable " << enable;
    }
}

QDateTime fixedMoment() {
    return QDateTime(QDate(2026, 12, 6), QTime(19, 40, 6), Qt::UTC);
}

TEST(LogServiceTests, KeepsTheNewestLinesUpToTheLimitWithUtcTimesAndPublishesAndEchoesEach) {
    static QList<QString> echoed;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& message) {
            echoed.append(QString::fromLatin1(context.category) + u' ' + message);
        });
    const QString stamp = QStringLiteral("[2026-12-06 19:40:06 +0000] ");
    EXPECT_EQ(LogService::entry(fixedMoment().toTimeZone(QTimeZone("Europe/Berlin")), "x"), stamp + "x");
    LogService log(LogService::defaultLimit, &fixedMoment);
    log.record(QStringLiteral("first\nsecond"));
    EXPECT_EQ(echoed, QList<QString>{"tarnwell.activity " + stamp + "first\nsecond"});
    qInstallMessageHandler(previous);
    for (int index = 2; index <= 301; ++index) {
        log.record(QString::number(index));
    }
    EXPECT_EQ(log.entries().size(), 300);
    EXPECT_EQ(log.entries().first(), stamp + "2");
    EXPECT_TRUE(log.copyableText().endsWith("] 300\n" + stamp + "301"));
    LogService twoLines(2, &fixedMoment);
    twoLines.record(QStringLiteral("first\nsecond"));
    twoLines.record(QStringLiteral("third"));
    EXPECT_EQ(twoLines.copyableText(), stamp + "first\nsecond\n" + stamp + "third");
    // Limit zero keeps nothing, yet publishes both changes.
    LogService none(0, &fixedMoment);
    QList<qsizetype> sizes;
    observe(&none, &LogService::entriesChanged, &LogService::entries,
            [&](const QList<QString>& entries) { sizes.append(entries.size()); });
    none.record(QStringLiteral("one"));
    EXPECT_EQ(sizes, (QList<qsizetype>{0, 1, 0}));
}

} // namespace
} // namespace tarnwell
