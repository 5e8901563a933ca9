#pragma once

#include "core/model/TarnwellError.h"
#include "support/TaskRunner.h"

#include <gtest/gtest.h>
#include <optional>

namespace tarnwell::testing {

// Runs the task and returns the TarnwellError it ends with, or nothing when it ends otherwise.
// Any other exception propagates and fails the test.
template <typename T>
std::optional<TarnwellError> caughtTarnwellError(QCoro::Task<T> task,
                                                 std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    try {
        runTask(std::move(task), limit);
    } catch (const TarnwellError& error) {
        return error;
    }
    return std::nullopt;
}

// The same, for a task that must fail: a task that succeeds fails the test.
template <typename T> TarnwellError expectTarnwellError(QCoro::Task<T> task) {
    if (auto error = caughtTarnwellError(std::move(task))) {
        return *error;
    }
    ADD_FAILURE() << "no TarnwellError thrown";
    return TarnwellError::unknown({});
}

} // namespace tarnwell::testing
