#include "core/support/PlatformError.h"
#include "platform/NotificationService.h"
#include "support/TaskRunner.h"

#include <QCoroTimer>
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
        EXPECT_EQ(center->authorizationRequests, 0);
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
    EXPECT_FALSE(QUuid::fromString(center->delivered.at(0).identifier).isNull());
    EXPECT_EQ(center->delivered.at(1),
              (NotificationRequest{center->delivered.at(1).identifier, "Drive Ready to Unmount", "B", true}));
    center->failsDelivery = true;
    EXPECT_NO_THROW(runTask(NotificationService(center).notify(QStringLiteral("Mount Failed"), "x", true)));
}

} // namespace
} // namespace tarnwell
