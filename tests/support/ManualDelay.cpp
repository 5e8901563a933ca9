#include "support/ManualDelay.h"

#include <QCoreApplication>
#include <stdexcept>

namespace tarnwell::testing {

std::function<QCoro::Task<>(qint64, std::stop_token)> ManualDelay::function() {
    return [this](qint64 seconds, std::stop_token stop) {
        auto pending = std::make_shared<Pending>();
        pending->value = seconds;
        requests.append(seconds);
        m_pending.append(pending);
        return wait(std::move(pending), std::move(stop));
    };
}

QCoro::Task<> ManualDelay::wait(std::shared_ptr<Pending> pending, std::stop_token stop) {
    // A stop may be requested from a destructor, so the caller resumes later, from the event loop.
    std::stop_callback onStop(stop, [pending] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [pending] { pending->resume(); }, Qt::QueuedConnection);
    });
    co_await park(pending);
}

QList<qint64> ManualDelay::pendingSeconds() const {
    QList<qint64> seconds;
    for (const auto& pending : m_pending) {
        if (!pending->resumed) {
            seconds.append(pending->value);
        }
    }
    return seconds;
}

void ManualDelay::release(qsizetype index) {
    m_pending.removeIf([](const auto& pending) { return pending->resumed; });
    if (index < 0 || index >= m_pending.size()) {
        throw std::logic_error("No delay is waiting at that index.");
    }
    m_pending.takeAt(index)->resume();
}

void ManualDelay::releaseAll() {
    while (!pendingSeconds().isEmpty()) {
        release();
    }
}

} // namespace tarnwell::testing
