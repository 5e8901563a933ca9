#include "core/support/PlatformError.h"
#include "platform/NotificationService.h"
#include "support/TaskRunner.h"

#include <QCoroTimer>
#include <QTimer>
#include <QUuid>
#include <gtest/gtest.h>
#include <tuple>

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

TEST(NotificationServiceTests, PostsOnlyWhenEnabledAndPermittedAndNeverPrompts) {
    // Permission, enabled, posts.
    const QList<std::tuple<NotificationPermission, bool, bool>> cases{
        {NotificationPermission::authorized, false, false},
        {NotificationPermission::notDetermined, true, false},
        {NotificationPermission::denied, true, false},
        {NotificationPermission::authorized, true, true},
        {NotificationPermission::provisional, true, true},
        {NotificationPermission::ephemeral, true, true},
    };
    for (const auto& [state, enabled, posts] : cases) {
        auto center = std::make_shared<RecordingCenter>();
        center->state = state;
        NotificationService service(center);
        runTask(
            service.notify(QStringLiteral("Drive Mounted"), QStringLiteral("Media was mounted."), enabled));
        EXPECT_EQ(center->delivered.size(), posts ? 1 : 0) << int(state) << enabled;
        EXPECT_EQ(center->permissionReads, enabled ? 1 : 0) << int(state);
        EXPECT_EQ(center->authorizationRequests, 0);
    }
}

TEST(NotificationServiceTests, EachNotificationHasItsOwnIdentifierTitleBodyAndSound) {
    auto center = std::make_shared<RecordingCenter>();
    NotificationService service(center);
    runTask(service.notify(QStringLiteral("Drive Ready to Unmount"), QStringLiteral("A"), true));
    runTask(service.notify(QStringLiteral("Drive Ready to Unmount"), QStringLiteral("B"), true));
    ASSERT_EQ(center->delivered.size(), 2);
    EXPECT_NE(center->delivered.at(0).identifier, center->delivered.at(1).identifier);
    EXPECT_FALSE(QUuid::fromString(center->delivered.at(0).identifier).isNull());
    EXPECT_EQ(center->delivered.at(1).title, QStringLiteral("Drive Ready to Unmount"));
    EXPECT_EQ(center->delivered.at(1).body, QStringLiteral("B"));
    EXPECT_TRUE(center->delivered.at(1).playsDefaultSound);
}

TEST(NotificationServiceTests, FailedDeliveryEndsQuietly) {
    auto center = std::make_shared<RecordingCenter>();
    center->failsDelivery = true;
    NotificationService service(center);
    EXPECT_NO_THROW(runTask(service.notify(QStringLiteral("Mount Failed"), QStringLiteral("x"), true)));
}

TEST(NotificationServiceTests, AsksForPermissionOnlyWhileUndecidedAndIgnoresTheAnswer) {
    for (const auto state : {NotificationPermission::notDetermined, NotificationPermission::denied,
                             NotificationPermission::authorized}) {
        auto center = std::make_shared<RecordingCenter>();
        center->state = state;
        NotificationService service(center);
        EXPECT_NO_THROW(runTask(service.requestAuthorizationIfNeeded()));
        EXPECT_EQ(center->authorizationRequests, state == NotificationPermission::notDetermined ? 1 : 0);
    }
}

TEST(NotificationServiceTests, ServiceDestroyedMidCallLeavesTheCallSafe) {
    auto center = std::make_shared<RecordingCenter>();
    auto service = std::make_unique<NotificationService>(center);
    auto task = service->notify(QStringLiteral("Drive Mounted"), QStringLiteral("Media"), true);
    service.reset();
    runTask(std::move(task));
    EXPECT_EQ(center->delivered.size(), 1);
}

} // namespace
} // namespace tarnwell
