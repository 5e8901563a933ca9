#include "platform/LoginItemService.h"

#include <QList>
#include <QString>
#include <gtest/gtest.h>

namespace tarnwell {
namespace {

class RecordingAppService : public LoginItemAppServicing {
public:
    LoginItemStatus current = LoginItemStatus::notRegistered;
    QList<QString> calls;

    LoginItemStatus status() const override { return current; }
    void registerItem() override {
        calls.append(QStringLiteral("register"));
        current = LoginItemStatus::enabled;
    }
    void unregisterItem() override {
        calls.append(QStringLiteral("unregister"));
        current = LoginItemStatus::notRegistered;
    }
};

TEST(LoginItemServiceTests, EnabledOnlyWhenThePlatformSaysSoAndCalledOnlyToChangeIt) {
    struct Case {
        LoginItemStatus status;
        bool enable;
        QList<QString> expectedCalls;
    };
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
        LoginItemService service(app);
        EXPECT_EQ(service.isLaunchAtLoginEnabled(), testCase.status == LoginItemStatus::enabled);
        service.setLaunchAtLogin(testCase.enable);
        EXPECT_EQ(app->calls, testCase.expectedCalls)
            << "status " << int(testCase.status) << ", enable " << testCase.enable;
    }
}

} // namespace
} // namespace tarnwell
