#include "platform/LoginItemService.h"

#include "platform/linux/AutostartLoginItem.h"

namespace tarnwell {

LoginItemService::LoginItemService(std::shared_ptr<LoginItemAppServicing> appService)
    : m_appService(std::move(appService)) {
}

std::shared_ptr<LoginItemAppServicing> LoginItemService::defaultAppService() {
    return std::make_shared<AutostartLoginItem>();
}

bool LoginItemService::isLaunchAtLoginEnabled() const {
    return m_appService->status() == LoginItemStatus::enabled;
}

void LoginItemService::setLaunchAtLogin(bool enabled) {
    const LoginItemStatus status = m_appService->status();
    // A registration awaiting the user's approval is already registered: enabling again would ask
    // twice, and disabling must withdraw it.
    const bool registered = status == LoginItemStatus::enabled || status == LoginItemStatus::requiresApproval;
    if (enabled && !registered) {
        m_appService->registerItem();
    } else if (!enabled && registered) {
        m_appService->unregisterItem();
    }
}

} // namespace tarnwell
