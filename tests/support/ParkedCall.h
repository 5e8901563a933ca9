#pragma once

#include <QCoroTask>
#include <coroutine>
#include <exception>
#include <memory>
#include <utility>

namespace tarnwell::testing {

// A call the fakes hold until the test answers it with a value or an error; answering resumes the
// caller at once, inside the answering function. The suspended frame owns the entry, so it may outlive
// the fake that parked it.
template <typename T> struct ParkedCall {
    std::coroutine_handle<> caller;
    T value{};
    std::exception_ptr error;
    bool resumed = false;

    void resume() {
        if (!std::exchange(resumed, true)) {
            caller.resume();
        }
    }
    void fail(std::exception_ptr failure) {
        error = std::move(failure);
        resume();
    }
};

// The caller's handle is left with the entry, because QCoro may copy the awaiter itself.
template <typename T> QCoro::Task<T> park(std::shared_ptr<ParkedCall<T>> call) {
    struct Suspension {
        ParkedCall<T>* call;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) const noexcept { call->caller = handle; }
        void await_resume() const noexcept {}
    };
    co_await Suspension{call.get()};
    if (call->error) {
        std::rethrow_exception(call->error);
    }
    co_return std::move(call->value);
}

} // namespace tarnwell::testing
