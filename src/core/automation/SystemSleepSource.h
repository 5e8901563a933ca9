#pragma once

#include <QObject>

namespace tarnwell {

// The system going to sleep (suspend or hibernate) and waking up again, with a way to hold the
// sleep back for a short time while drives are released.
class SystemSleepSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~SystemSleepSource() override = default;

    // While held, the system waits (for as long as it allows) before it sleeps. It is held only
    // while there is something to finish, so that a system with nothing pending sleeps at once.
    virtual void setHoldingSleep(bool hold) = 0;

Q_SIGNALS:
    void aboutToSleep();
    void resumed();
    // A line for the activity log, such as the hold being refused.
    void noticed(const QString& message);
};

} // namespace tarnwell
