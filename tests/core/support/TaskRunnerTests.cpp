#include "support/TaskRunner.h"

#include <QCoroTimer>
#include <gtest/gtest.h>

using namespace tarnwell::testing;
using namespace std::chrono_literals;

namespace {
QCoro::Task<int> answerLater()
{
    co_await QCoro::sleepFor(10ms);
    co_return 42;
}

QCoro::Task<> failLater()
{
    co_await QCoro::sleepFor(10ms);
    throw std::logic_error("broken");
}

QCoro::Task<> slowTask(bool* finished)
{
    co_await QCoro::sleepFor(300ms);
    *finished = true;
}
} // namespace

TEST(TaskRunner, ReturnsResultsAndRethrowsFailuresInsteadOfHanging)
{
    EXPECT_EQ(runTask(answerLater()), 42);
    EXPECT_THROW(runTask(failLater()), std::logic_error);
    bool finished = false;
    EXPECT_THROW(runTask(slowTask(&finished), 50ms), std::runtime_error);
    // Let the abandoned task end so that it is not reported as a leak.
    EXPECT_TRUE(runUntil([&] { return finished; }));
}
