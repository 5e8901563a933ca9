#pragma once

#include "platform/NotificationServicing.h"
#include "support/ParkedCall.h"

#include <QList>
#include <QStringList>

namespace tarnwell::testing {

// Records every notification request, including those with notifications turned off. The
// permission request can be held until the test releases it.
class RecordingNotifier : public NotificationServicing {
public:
    struct Notification {
        QString title;
        QString body;
        bool enabled = true;

        bool operator==(const Notification&) const = default;
    };

    QCoro::Task<> requestAuthorizationIfNeeded() override;
    QCoro::Task<> notify(QString title, QString body, bool enabled) override;
    void releaseAuthorization() { std::exchange(m_heldRequest, {})->resume(); }
    // Titles of the requests with notifications on, in order.
    QStringList postedTitles() const;

    QList<Notification> requests;
    int authorizationRequests = 0;
    bool holdAuthorization = false;

private:
    std::shared_ptr<ParkedCall<bool>> m_heldRequest;
};

} // namespace tarnwell::testing
