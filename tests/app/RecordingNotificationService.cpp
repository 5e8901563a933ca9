#include "RecordingNotificationService.h"

#include <QStringList>

namespace tarnwell::testing {

namespace {
struct Hold {
    std::coroutine_handle<>* slot;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const noexcept { *slot = handle; }
    void await_resume() const noexcept {}
};
} // namespace

QCoro::Task<> RecordingNotificationService::requestAuthorizationIfNeeded() {
    ++authorizationRequests;
    if (holdAuthorization) {
        Hold hold{&m_heldRequest};
        co_await hold;
    }
}

void RecordingNotificationService::releaseAuthorization() {
    if (const auto held = std::exchange(m_heldRequest, {})) {
        held.resume();
    }
}

QCoro::Task<> RecordingNotificationService::notify(QString title, QString body, bool enabled) {
    requests.append({std::move(title), std::move(body), enabled});
    co_return;
}

QStringList RecordingNotificationService::postedTitles() const {
    QStringList titles;
    for (const Request& request : requests) {
        if (request.enabled) {
            titles.append(request.title);
        }
    }
    return titles;
}

} // namespace tarnwell::testing
