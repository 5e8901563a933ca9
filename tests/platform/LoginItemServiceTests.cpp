#include "core/support/PlatformError.h"
#include "platform/LoginItemService.h"

#include <QList>
#include <QString>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

class RecordingAppService : public LoginItemAppServicing {
public:
    LoginItemStatus current = LoginItemStatus::notRegistered;
    std::optional<QString> failure;
    QList<QString> calls;

    LoginItemStatus status() const override { return current; }
    void registerItem() override {
        calls.append(QStringLiteral("register"));
        if (failure) {
            throw PlatformError(*failure);
        }
        current = LoginItemStatus::enabled;
    }
    void unregisterItem() override {
        calls.append(QStringLiteral("unregister"));
        if (failure) {
            throw PlatformError(*failure);
        }
        current = LoginItemStatus::notRegistered;
    }
};

struct Case {
    LoginItemStatus status;
    bool enable;
    QList<QString> expectedCalls;
};

TEST(LoginItemServiceTests, CallsThePlatformOnlyWhenTheStateMustChange) {
    const QList<Case> cases{
        {LoginItemStatus::notRegistered, true, {QStringLiteral("register")}},
        {LoginItemStatus::enabled, true, {}},
        {LoginItemStatus::requiresApproval, true, {}},
        {LoginItemStatus::notFound, true, {QStringLiteral("register")}},
        {LoginItemStatus::enabled, false, {QStringLiteral("unregister")}},
        {LoginItemStatus::requiresApproval, false, {QStringLiteral("unregister")}},
        {LoginItemStatus::notRegistered, false, {}},
        {LoginItemStatus::notFound, false, {}},
    };
    for (const Case& testCase : cases) {
        auto app = std::make_shared<RecordingAppService>();
        app->current = testCase.status;
        LoginItemService(app).setLaunchAtLogin(testCase.enable);
        EXPECT_EQ(app->calls, testCase.expectedCalls)
            << "status " << int(testCase.status) << ", enable " << testCase.enable;
    }
}

TEST(LoginItemServiceTests, EnabledOnlyWhenThePlatformSaysEnabled) {
    auto app = std::make_shared<RecordingAppService>();
    LoginItemService service(app);
    for (const auto status :
         {LoginItemStatus::notRegistered, LoginItemStatus::requiresApproval, LoginItemStatus::notFound}) {
        app->current = status;
        EXPECT_FALSE(service.isLaunchAtLoginEnabled());
    }
    app->current = LoginItemStatus::enabled;
    EXPECT_TRUE(service.isLaunchAtLoginEnabled());
}

TEST(LoginItemServiceTests, PlatformRefusalReachesTheCallerAndStateStays) {
    auto app = std::make_shared<RecordingAppService>();
    app->failure = QStringLiteral("Operation not permitted");
    LoginItemService service(app);
    try {
        service.setLaunchAtLogin(true);
        FAIL() << "the refusal was swallowed";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Operation not permitted"));
    }
    EXPECT_FALSE(service.isLaunchAtLoginEnabled());
}

} // namespace
} // namespace tarnwell
