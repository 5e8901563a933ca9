#pragma once

#include <QCoroTask>
#include <QList>
#include <coroutine>
#include <functional>
#include <memory>
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
    struct Pending {
        qint64 seconds = 0;
        std::coroutine_handle<> caller;
        bool resumed = false;

        void resumeOnce();
    };
    // Awaiting leaves the caller's handle with the entry (QCoro may copy the awaiter itself).
    struct Suspension {
        Pending* pending;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { pending->caller = handle; }
        void await_resume() const noexcept {}
    };

    static QCoro::Task<> wait(std::shared_ptr<Pending> pending, std::stop_token stop);

    QList<std::shared_ptr<Pending>> m_pending;
};

} // namespace tarnwell::testing
