#include "support/RecordingNotifier.h"

namespace tarnwell::testing {

QCoro::Task<> RecordingNotifier::requestAuthorizationIfNeeded() {
    ++authorizationRequests;
    if (holdAuthorization) {
        m_heldRequest = std::make_shared<ParkedCall<bool>>();
        co_await park(m_heldRequest);
    }
}

QCoro::Task<> RecordingNotifier::notify(QString title, QString body, bool enabled) {
    requests.append(Notification{std::move(title), std::move(body), enabled});
    co_return;
}

QStringList RecordingNotifier::postedTitles() const {
    QStringList titles;
    for (const auto& request : requests) {
        if (request.enabled) {
            titles.append(request.title);
        }
    }
    return titles;
}

} // namespace tarnwell::testing
