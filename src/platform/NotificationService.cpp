#include "platform/NotificationService.h"

#include "platform/linux/FreedesktopNotificationCenter.h"

#include <QUuid>

namespace tarnwell {

NotificationService::NotificationService(std::shared_ptr<NotificationCentering> center)
    : m_center(std::move(center)) {
}

std::shared_ptr<NotificationCentering> NotificationService::defaultCenter() {
    return std::make_shared<FreedesktopNotificationCenter>();
}

QCoro::Task<> NotificationService::requestAuthorizationIfNeeded() {
    return requestAuthorizationIfNeeded(m_center);
}

QCoro::Task<> NotificationService::notify(QString title, QString body, bool enabled) {
    if (!enabled) {
        return []() -> QCoro::Task<> { co_return; }();
    }
    return notify(m_center, std::move(title), std::move(body));
}

QCoro::Task<>
NotificationService::requestAuthorizationIfNeeded(std::shared_ptr<NotificationCentering> center) {
    try {
        const NotificationPermission permission = co_await center->permission();
        if (permission != NotificationPermission::notDetermined) {
            co_return;
        }
        co_await center->requestAuthorization();
    } catch (...) {
        // The user simply gets no prompt; notifications stay off until permission is granted.
    }
}

QCoro::Task<> NotificationService::notify(std::shared_ptr<NotificationCentering> center, QString title,
                                          QString body) {
    try {
        const NotificationPermission permission = co_await center->permission();
        if (permission != NotificationPermission::authorized &&
            permission != NotificationPermission::provisional &&
            permission != NotificationPermission::ephemeral) {
            co_return;
        }
        // Built before the co_await: g++ 12 destroys a braced temporary inside one twice.
        NotificationRequest request{QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                                    std::move(title), std::move(body), true};
        co_await center->add(std::move(request));
    } catch (...) {
        // A notification that cannot be delivered is not worth interrupting the caller's work.
    }
}

} // namespace tarnwell
