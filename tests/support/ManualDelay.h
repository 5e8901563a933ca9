#pragma once

#include "support/ParkedCall.h"

#include <QList>
#include <functional>
#include <stop_token>

namespace tarnwell::testing {

// A delay that ends only when the test releases it, or, from the event loop, once its stop token is
// triggered. Releasing resumes the waiting caller at once, inside release().
class ManualDelay {
public:
    ~ManualDelay() { releaseAll(); }

    // The function to hand to the code under test.
    std::function<QCoro::Task<>(qint64 seconds, std::stop_token stop)> function();

    // Seconds of the delays still waiting, oldest first.
    QList<qint64> pendingSeconds() const;
    // Ends the waiting delay at the index (oldest first); throws std::logic_error when there is none.
    void release(qsizetype index = 0);
    void releaseAll();

    // Seconds of every delay requested so far, in order.
    QList<qint64> requests;

private:
    using Pending = ParkedCall<qint64>;
    static QCoro::Task<> wait(std::shared_ptr<Pending> pending, std::stop_token stop);
    QList<std::shared_ptr<Pending>> m_pending;
};

} // namespace tarnwell::testing
