#pragma once

#include "core/support/PlatformError.h"
#include "platform/LoginItemServicing.h"

#include <QList>

namespace tarnwell::testing {

// A login item whose system state the test decides, and which may refuse changes.
class ScriptedLoginItem : public LoginItemServicing {
public:
    bool isLaunchAtLoginEnabled() const override { return systemState; }
    void setLaunchAtLogin(bool enabled) override {
        requests.append(enabled);
        if (refuse) {
            throw PlatformError(QStringLiteral("The session refused the login item."));
        }
        if (!ignoreRequests) {
            systemState = enabled;
        }
    }

    bool systemState = false;
    bool refuse = false;
    bool ignoreRequests = false;
    QList<bool> requests;
};

} // namespace tarnwell::testing
