#include "core/disk/ShellProcessExecution.h"

#include "core/model/TarnwellError.h"
#include "core/support/CancellationError.h"
#include "core/support/PlatformError.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <unistd.h>

namespace tarnwell {

ShellProcessExecution::ShellProcessExecution(QString command, QStringList arguments,
                                             std::unique_ptr<TemporaryOutputFile> outputFile,
                                             std::unique_ptr<TemporaryOutputFile> errorFile,
                                             std::stop_token stopToken)
    : m_outputFile(std::move(outputFile))
    , m_errorFile(std::move(errorFile))
    , m_stopToken(std::move(stopToken)) {
    m_process.setProgram(command);
    m_process.setArguments(arguments);
    // Files rather than pipes: a child that writes a lot can never stall on a full pipe, and nothing
    // has to read while it runs. The child gets the very descriptors the files were created with, so
    // nothing reopens them by name.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    const int output = m_outputFile->descriptor();
    const int error = m_errorFile->descriptor();
    m_process.setChildProcessModifier([output, error] {
        if (::dup2(output, STDOUT_FILENO) < 0 || ::dup2(error, STDERR_FILENO) < 0) {
            ::_exit(127);
        }
    });
    // Nothing is ever written to the command, so a child that reads its input sees the end at once.
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_timeoutTimer.setSingleShot(true);
    m_timeoutTimer.setTimerType(Qt::PreciseTimer);
    m_hardKillTimer.setSingleShot(true);
    m_hardKillTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_hardKillTimer, &QTimer::timeout, this, &ShellProcessExecution::hardKill);
}

ShellProcessExecution::~ShellProcessExecution() {
    // The awaiting coroutine owns the execution and only lets go once the process has ended, so
    // the signals below can no longer arrive; disconnecting keeps it that way while QProcess dies.
    m_process.disconnect(this);
}

ShellProcessExecution::Awaiter ShellProcessExecution::run(double timeoutSeconds) {
    return Awaiter(this, timeoutSeconds);
}

ShellResult ShellProcessExecution::Awaiter::await_resume() {
    if (auto* error = std::get_if<std::exception_ptr>(&m_outcome)) {
        std::rethrow_exception(*error);
    }
    return std::get<ShellResult>(std::move(m_outcome));
}

bool ShellProcessExecution::start(std::coroutine_handle<> continuation, Outcome* outcome,
                                  double timeoutSeconds) {
    if (m_state != State::Pending) {
        *outcome =
            std::make_exception_ptr(TarnwellError::unknown(QStringLiteral("Shell process already started")));
        return false;
    }
    if (m_stopToken.stop_requested()) {
        m_state = State::Finished;
        m_outputFile->cleanup();
        m_errorFile->cleanup();
        *outcome = std::make_exception_ptr(CancellationError());
        return false;
    }
    m_continuation = continuation;
    m_outcome = outcome;
    connect(&m_process, &QProcess::finished, this, &ShellProcessExecution::finishFromProcessTermination);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            finishFromLaunchFailure();
        }
    });
    m_state = State::Running;
    m_process.start();
    if (m_state == State::Running) {
        connect(&m_timeoutTimer, &QTimer::timeout, this, [this, timeoutSeconds] {
            requestTermination(
                std::make_exception_ptr(TarnwellError::commandFailed(-1, timeoutMessage(timeoutSeconds))));
        });
        // QTimer counts in int milliseconds; a longer time-out waits the longest it can, and one of
        // zero or less ends the command as soon as the event loop runs.
        const double milliseconds = timeoutSeconds > 0 ? std::ceil(timeoutSeconds * 1000.0) : 0.0;
        m_timeoutTimer.start(
            static_cast<int>(std::min(milliseconds, double(std::numeric_limits<int>::max()))));
    }
    return true;
}

void ShellProcessExecution::requestTermination(std::exception_ptr error) {
    if (m_state != State::Running) {
        return;
    }
    if (!m_terminationError) {
        m_terminationError = std::move(error);
    }
    m_timeoutTimer.stop();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        m_hardKillTimer.start(hardKillDelay);
    }
}

void ShellProcessExecution::requestCancellation() {
    if (QThread::currentThread() == thread()) {
        requestTermination(std::make_exception_ptr(CancellationError()));
        return;
    }
    // Queued calls to an object that has since been destroyed are dropped by Qt.
    QMetaObject::invokeMethod(
        this, [this] { requestTermination(std::make_exception_ptr(CancellationError())); },
        Qt::QueuedConnection);
}

void ShellProcessExecution::hardKill() {
    if (m_state == State::Running && m_process.state() != QProcess::NotRunning) {
        m_process.kill();
    }
}

void ShellProcessExecution::finishFromProcessTermination() {
    if (m_state == State::Finished) {
        return;
    }
    if (m_terminationError) {
        finish(m_terminationError);
        return;
    }
    Outcome outcome;
    try {
        outcome = collectResult();
    } catch (...) {
        outcome = std::current_exception();
    }
    finish(std::move(outcome));
}

void ShellProcessExecution::finishFromLaunchFailure() {
    if (m_state == State::Finished) {
        return;
    }
    if (m_terminationError) {
        finish(m_terminationError);
        return;
    }
    finish(std::make_exception_ptr(PlatformError(m_process.errorString())));
}

ShellResult ShellProcessExecution::collectResult() {
    ShellResult result;
    result.output = QString::fromUtf8(m_outputFile->readAll());
    result.error = QString::fromUtf8(m_errorFile->readAll());
    m_outputFile->close();
    m_errorFile->close();
    result.exitCode = m_process.exitCode();
    return result;
}

void ShellProcessExecution::finish(Outcome outcome) {
    m_state = State::Finished;
    m_timeoutTimer.stop();
    m_hardKillTimer.stop();
    m_process.disconnect(this);
    m_outputFile->cleanup();
    m_errorFile->cleanup();
    *m_outcome = std::move(outcome);
    // Resuming from inside QProcess's own signal would let the awaiting coroutine destroy the
    // process while it is still emitting, so the resumption waits for the next event-loop turn.
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [continuation = m_continuation] { continuation.resume(); });
    m_continuation = {};
    m_outcome = nullptr;
}

QString ShellProcessExecution::timeoutMessage(double timeoutSeconds) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, timeoutSeconds);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find_first_of(".eEn") == std::string::npos) {
        text += ".0";
    }
    return QStringLiteral("Command timed out after %1 seconds").arg(QString::fromStdString(text));
}

} // namespace tarnwell
