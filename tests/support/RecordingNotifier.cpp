#include "support/RecordingNotifier.h"

namespace tarnwell::testing {

QCoro::Task<> RecordingNotifier::notify(QString title, QString body, bool enabled) {
    requests.append(Notification{std::move(title), std::move(body), enabled});
    co_return;
}

} // namespace tarnwell::testing
