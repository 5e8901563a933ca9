#pragma once

#include <QCoroTask>
#include <QString>

namespace tarnwell {

// The permission states of a notification centre, with the values the platforms use.
enum class NotificationPermission {
    notDetermined = 0,
    denied = 1,
    authorized = 2,
    provisional = 3,
    ephemeral = 4,
};

// One notification to show at once.
struct NotificationRequest {
    QString identifier;
    QString title;
    QString body;
    bool playsDefaultSound = true;

    bool operator==(const NotificationRequest&) const = default;
};

// The platform's user-notification centre.
class NotificationCentering {
public:
    virtual ~NotificationCentering() = default;

    virtual QCoro::Task<NotificationPermission> permission() = 0;
    // Asks the user to allow alerts with sound; the answer is read back through permission().
    virtual QCoro::Task<> requestAuthorization() = 0;
    // Throws PlatformError when the centre refuses or cannot be reached.
    virtual QCoro::Task<> add(NotificationRequest request) = 0;
};

} // namespace tarnwell
