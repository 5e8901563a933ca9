#include "support/ManualDelay.h"

#include <QCoreApplication>
#include <stdexcept>

namespace tarnwell::testing {

ManualDelay::~ManualDelay() {
    releaseAll();
}

std::function<QCoro::Task<>(qint64, std::stop_token)> ManualDelay::function() {
    return [this](qint64 seconds, std::stop_token stop) {
        auto pending = std::make_shared<Pending>();
        pending->seconds = seconds;
        m_requests.append(seconds);
        m_pending.append(pending);
        return wait(std::move(pending), std::move(stop));
    };
}

void ManualDelay::Pending::resumeOnce() {
    if (!resumed) {
        resumed = true;
        caller.resume();
    }
}

QCoro::Task<> ManualDelay::wait(std::shared_ptr<Pending> pending, std::stop_token stop) {
    // A stop is requested from a destructor, so the caller resumes later, from the event loop.
    std::stop_callback onStop(stop, [pending] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [pending] { pending->resumeOnce(); }, Qt::QueuedConnection);
    });
    co_await Suspension{pending.get()};
}

QList<std::shared_ptr<ManualDelay::Pending>> ManualDelay::waiting() const {
    QList<std::shared_ptr<Pending>> result;
    for (const auto& pending : m_pending) {
        if (!pending->resumed) {
            result.append(pending);
        }
    }
    return result;
}

QList<qint64> ManualDelay::pendingSeconds() const {
    QList<qint64> seconds;
    for (const auto& pending : waiting()) {
        seconds.append(pending->seconds);
    }
    return seconds;
}

void ManualDelay::release(qsizetype index) {
    const auto candidates = waiting();
    if (index < 0 || index >= candidates.size()) {
        throw std::logic_error("No delay is waiting at that index.");
    }
    m_pending.removeOne(candidates[index]);
    candidates[index]->resumeOnce();
}

void ManualDelay::releaseAll() {
    while (!waiting().isEmpty()) {
        release();
    }
    m_pending.clear();
}

} // namespace tarnwell::testing
