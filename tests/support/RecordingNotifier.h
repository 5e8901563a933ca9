#pragma once

#include "platform/NotificationServicing.h"

#include <QList>
#include <QStringList>
#include <coroutine>

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
    void releaseAuthorization() { std::exchange(m_heldRequest, {}).resume(); }
    // Titles of the requests with notifications on, in order.
    QStringList postedTitles() const;

    QList<Notification> requests;
    int authorizationRequests = 0;
    bool holdAuthorization = false;

private:
    struct Hold {
        std::coroutine_handle<>* slot;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { *slot = handle; }
        void await_resume() const noexcept {}
    };

    std::coroutine_handle<> m_heldRequest;
};

} // namespace tarnwell::testing
