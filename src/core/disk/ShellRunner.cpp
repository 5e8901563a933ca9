#include "core/disk/ShellRunner.h"

#include "core/disk/ShellProcessExecution.h"
#include "core/disk/TemporaryOutputFile.h"
#include "core/support/CancellationError.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace tarnwell {

namespace {

const QString outputPrefix = QStringLiteral("tarnwell-shell-output");
const QString errorPrefix = QStringLiteral("tarnwell-shell-error");

QCoro::Task<ShellResult> runCommand(QString command, QStringList arguments, std::stop_token stopToken,
                                    double timeoutSeconds) {
    auto outputFile = std::make_unique<TemporaryOutputFile>(outputPrefix);
    auto errorFile = std::make_unique<TemporaryOutputFile>(errorPrefix);
    ShellProcessExecution execution(std::move(command), std::move(arguments), std::move(outputFile),
                                    std::move(errorFile), stopToken);
    if (stopToken.stop_requested()) {
        throw CancellationError();
    }
    std::stop_callback onStop(stopToken, [&execution] { execution.requestCancellation(); });
    co_return co_await execution.run(timeoutSeconds);
}

} // namespace

ShellRunner::ShellRunner(double timeoutSeconds)
    : m_timeoutSeconds(timeoutSeconds) {
    // The time-out becomes a nanosecond count; anything that cannot be one is a programming error.
    if (!std::isfinite(timeoutSeconds) ||
        timeoutSeconds * 1e9 >= static_cast<double>(std::numeric_limits<qint64>::max())) {
        throw std::invalid_argument("ShellRunner time-out must be finite and fit in 64-bit nanoseconds");
    }
}

QCoro::Task<ShellResult> ShellRunner::run(QString command, QStringList arguments, std::stop_token stopToken) {
    return runCommand(std::move(command), std::move(arguments), std::move(stopToken), m_timeoutSeconds);
}

} // namespace tarnwell
