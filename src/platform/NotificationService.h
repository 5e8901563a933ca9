#pragma once

#include "platform/NotificationCentering.h"
#include "platform/NotificationServicing.h"

#include <memory>

namespace tarnwell {

// Posts notifications when the user allows them and stays silent otherwise; nothing it does ever
// reaches the caller as an error.
class NotificationService : public NotificationServicing {
public:
    explicit NotificationService(std::shared_ptr<NotificationCentering> center = defaultCenter());

    // The session's notification server on Linux.
    static std::shared_ptr<NotificationCentering> defaultCenter();

    QCoro::Task<> requestAuthorizationIfNeeded() override;
    QCoro::Task<> notify(QString title, QString body, bool enabled) override;

private:
    // The centre is shared with the running coroutines, so a service destroyed while one is
    // suspended leaves them a live centre.
    static QCoro::Task<> requestAuthorizationIfNeeded(std::shared_ptr<NotificationCentering> center);
    static QCoro::Task<> notify(std::shared_ptr<NotificationCentering> center, QString title, QString body);

    std::shared_ptr<NotificationCentering> m_center;
};

} // namespace tarnwell
