#pragma once

#include <QCoroTask>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>

namespace tarnwell::testing {

namespace detail {

template <typename T> struct TaskOutcome {
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    std::exception_ptr error;
    bool finished = false;
    QEventLoop* loop = nullptr;
};

template <typename T> QCoro::Task<> capture(QCoro::Task<T> task, std::shared_ptr<TaskOutcome<T>> outcome) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
        } else {
            outcome->value = co_await std::move(task);
        }
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->finished = true;
    if (outcome->loop) {
        outcome->loop->quit();
    }
}

} // namespace detail

// Runs the event loop until the task finishes and returns its result or rethrows its exception.
// A task still running after the time limit fails the calling test with std::runtime_error.
template <typename T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto outcome = std::make_shared<detail::TaskOutcome<T>>();
    detail::capture(std::move(task), outcome);
    if (!outcome->finished) {
        QEventLoop loop;
        outcome->loop = &loop;
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        loop.exec();
        outcome->loop = nullptr;
    }
    if (!outcome->finished) {
        throw std::runtime_error("The task did not finish within the time limit");
    }
    if (outcome->error) {
        std::rethrow_exception(outcome->error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*outcome->value);
    }
}

// Runs the event loop until the condition holds or the time limit passes; returns the condition.
template <typename Condition>
bool runUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition()) {
            loop.quit();
        }
    });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    if (!condition()) {
        poll.start(5);
        loop.exec();
    }
    return condition();
}

} // namespace tarnwell::testing
