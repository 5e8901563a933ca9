#include "support/ManualDelay.h"

#include <QCoreApplication>
#include <stdexcept>

namespace tarnwell::testing {

std::function<QCoro::Task<>(qint64, std::stop_token)> ManualDelay::function() {
    return [this](qint64 seconds, std::stop_token stop) {
        auto pending = std::make_shared<Pending>();
        pending->seconds = seconds;
        requests.append(seconds);
        m_pending.append(pending);
        return wait(std::move(pending), std::move(stop));
    };
}

void ManualDelay::Pending::resumeOnce() {
    if (!std::exchange(resumed, true)) {
        caller.resume();
    }
}

QCoro::Task<> ManualDelay::wait(std::shared_ptr<Pending> pending, std::stop_token stop) {
    // A stop may be requested from a destructor, so the caller resumes later, from the event loop.
    std::stop_callback onStop(stop, [pending] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [pending] { pending->resumeOnce(); }, Qt::QueuedConnection);
    });
    co_await Suspension{pending.get()};
}

QList<qint64> ManualDelay::pendingSeconds() const {
    QList<qint64> seconds;
    for (const auto& pending : m_pending) {
        if (!pending->resumed) {
            seconds.append(pending->seconds);
        }
    }
    return seconds;
}

void ManualDelay::release(qsizetype index) {
    m_pending.removeIf([](const auto& pending) { return pending->resumed; });
    if (index < 0 || index >= m_pending.size()) {
        throw std::logic_error("No delay is waiting at that index.");
    }
    m_pending.takeAt(index)->resumeOnce();
}

void ManualDelay::releaseAll() {
    while (!pendingSeconds().isEmpty()) {
        release();
    }
}

} // namespace tarnwell::testing
