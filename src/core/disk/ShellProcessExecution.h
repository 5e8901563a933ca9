#pragma once

#include "core/disk/ShellResult.h"
#include "core/disk/TemporaryOutputFile.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <coroutine>
#include <exception>
#include <memory>
#include <stop_token>
#include <variant>

namespace tarnwell {

// One run of one command. The process's end, the time-out and the hard kill all arrive as
// event-loop callbacks on the thread that owns the execution, so its state needs no lock; a stop
// requested from another thread is posted to that thread.
class ShellProcessExecution : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds hardKillDelay{500};

    ShellProcessExecution(QString command, QStringList arguments,
                          std::unique_ptr<TemporaryOutputFile> outputFile,
                          std::unique_ptr<TemporaryOutputFile> errorFile, std::stop_token stopToken = {});
    ~ShellProcessExecution() override;

    class Awaiter;

    // Awaiting this starts the process and resumes once it has ended, with its result or error. An
    // execution runs once; a second run throws TarnwellError::unknown("Shell process already
    // started").
    Awaiter run(double timeoutSeconds);

    // Ends the running process for `error`: the termination signal now, the kill signal after
    // hardKillDelay if it is still running. The first reason is the one reported.
    void requestTermination(std::exception_ptr error);
    // Thread-safe: may be called from the thread that requested a stop.
    void requestCancellation();

    static QString timeoutMessage(double timeoutSeconds);

private:
    enum class State { Pending, Running, Finished };
    using Outcome = std::variant<std::monostate, ShellResult, std::exception_ptr>;

    bool start(std::coroutine_handle<> continuation, Outcome* outcome, double timeoutSeconds);
    void finishFromProcessTermination();
    void finishFromLaunchFailure();
    void finish(Outcome outcome);
    void hardKill();
    ShellResult collectResult();

    QProcess m_process;
    std::unique_ptr<TemporaryOutputFile> m_outputFile;
    std::unique_ptr<TemporaryOutputFile> m_errorFile;
    std::stop_token m_stopToken;
    State m_state = State::Pending;
    std::coroutine_handle<> m_continuation;
    Outcome* m_outcome = nullptr;
    QTimer m_timeoutTimer;
    QTimer m_hardKillTimer;
    std::exception_ptr m_terminationError;
};

class ShellProcessExecution::Awaiter {
public:
    Awaiter(ShellProcessExecution* execution, double timeoutSeconds)
        : m_execution(execution)
        , m_timeoutSeconds(timeoutSeconds) {}

    bool await_ready() const noexcept { return false; }
    bool await_suspend(std::coroutine_handle<> continuation) {
        return m_execution->start(continuation, &m_outcome, m_timeoutSeconds);
    }
    ShellResult await_resume();

private:
    ShellProcessExecution* m_execution;
    double m_timeoutSeconds;
    Outcome m_outcome;
};

} // namespace tarnwell
