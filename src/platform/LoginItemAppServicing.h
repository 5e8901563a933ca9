#pragma once

namespace tarnwell {

// The registration states of the application's login item, with the values the platforms use.
enum class LoginItemStatus {
    notRegistered = 0,
    enabled = 1,
    requiresApproval = 2,
    notFound = 3,
};

// The platform's login-item registration of this application.
class LoginItemAppServicing {
public:
    virtual ~LoginItemAppServicing() = default;

    virtual LoginItemStatus status() const = 0;
    // Both throw PlatformError with the system's message when the platform refuses.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;
};

} // namespace tarnwell
