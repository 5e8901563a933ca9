#pragma once

#include "platform/LoginItemAppServicing.h"
#include "platform/LoginItemServicing.h"

#include <memory>

namespace tarnwell {

// Launch at login over the platform's registration. It keeps no state of its own, so every read
// shows what the platform actually has.
class LoginItemService : public LoginItemServicing {
public:
    explicit LoginItemService(std::shared_ptr<LoginItemAppServicing> appService = defaultAppService());

    // The XDG autostart entry on Linux.
    static std::shared_ptr<LoginItemAppServicing> defaultAppService();

    bool isLaunchAtLoginEnabled() const override;
    void setLaunchAtLogin(bool enabled) override;

private:
    std::shared_ptr<LoginItemAppServicing> m_appService;
};

} // namespace tarnwell
