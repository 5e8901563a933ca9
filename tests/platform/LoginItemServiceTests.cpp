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
    void registerItem() override { calls.append(QStringLiteral("register")); }
    void unregisterItem() override { calls.append(QStringLiteral("unregister")); }
};

TEST(LoginItemServiceTests, EnabledOnlyWhenThePlatformSaysSoAndCalledOnlyToChangeIt) {
    using enum LoginItemStatus;
    const QList<std::tuple<LoginItemStatus, bool, QList<QString>>> cases{
        {notRegistered, true, {"register"}}, {enabled, true, {}},
        {requiresApproval, true, {}},        {notFound, true, {"register"}},
        {enabled, false, {"unregister"}},    {requiresApproval, false, {"unregister"}},
        {notRegistered, false, {}},          {notFound, false, {}},
    };
    for (const auto& [status, enable, calls] : cases) {
        auto app = std::make_shared<RecordingAppService>();
        app->current = status;
        LoginItemService service(app);
        EXPECT_EQ(service.isLaunchAtLoginEnabled(), status == enabled);
        service.setLaunchAtLogin(enable);
        EXPECT_EQ(app->calls, calls) << "status " << int(status) << ", enable " << enable;
    }
}

} // namespace
} // namespace tarnwell
