#pragma once

#include "core/disk/ShellRunning.h"

namespace tarnwell {

// Runs commands as child processes on the GUI thread's event loop, capturing both output streams
// through temporary files and ending commands that outlive the time-out. Awaiting suspends the
// caller; no thread is blocked and none is started.
class ShellRunner : public ShellRunning {
public:
    static constexpr double defaultTimeoutSeconds = 30.0;

    explicit ShellRunner(double timeoutSeconds = defaultTimeoutSeconds);

    double timeout() const { return m_timeoutSeconds; }

    QCoro::Task<ShellResult> run(QString command, QStringList arguments,
                                 std::stop_token stopToken = {}) override;

private:
    double m_timeoutSeconds;
};

} // namespace tarnwell
