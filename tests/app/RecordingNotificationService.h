#pragma once

#include "platform/NotificationServicing.h"

#include <QList>
#include <QString>
#include <coroutine>

namespace tarnwell::testing {

// Records every notification request. The permission request can be held until the test releases
// it, to reach the moment between the start-up sequence's first and second step.
class RecordingNotificationService : public NotificationServicing {
public:
    struct Request {
        QString title;
        QString body;
        bool enabled = false;
    };

    QCoro::Task<> requestAuthorizationIfNeeded() override;
    QCoro::Task<> notify(QString title, QString body, bool enabled) override;

    // Titles of the requests that were enabled, in order.
    QStringList postedTitles() const;
    void releaseAuthorization();

    bool holdAuthorization = false;
    int authorizationRequests = 0;
    QList<Request> requests;

private:
    std::coroutine_handle<> m_heldRequest;
};

} // namespace tarnwell::testing
