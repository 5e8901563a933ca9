#pragma once

#include "core/automation/TarnwellNotifying.h"

namespace tarnwell {

// Posting notifications plus the one-time permission request made at start-up.
class NotificationServicing : public TarnwellNotifying {
public:
    // Never throws.
    virtual QCoro::Task<> requestAuthorizationIfNeeded() = 0;
};

} // namespace tarnwell
