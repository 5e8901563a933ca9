#pragma once

namespace tarnwell {

// Whether the application starts when the user logs in.
class LoginItemServicing {
public:
    virtual ~LoginItemServicing() = default;

    virtual bool isLaunchAtLoginEnabled() const = 0;
    // Throws the platform's error unchanged.
    virtual void setLaunchAtLogin(bool enabled) = 0;
};

} // namespace tarnwell
