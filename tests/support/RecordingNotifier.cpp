#include "support/RecordingNotifier.h"

namespace tarnwell::testing {

QCoro::Task<> RecordingNotifier::notify(QString title, QString body, bool enabled) {
    requests.append(Notification{std::move(title), std::move(body), enabled});
    co_return;
}

QList<RecordingNotifier::Notification> RecordingNotifier::posted() const {
    QList<Notification> result;
    for (const auto& request : requests) {
        if (request.enabled) {
            result.append(request);
        }
    }
    return result;
}

} // namespace tarnwell::testing
