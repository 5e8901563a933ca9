#include "diskutil/ProcessCommandRunner.h"

#include "core/support/PlatformError.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace tarnwell {

ProcessCommandRunner::ProcessCommandRunner(int timeoutMilliseconds)
    : m_timeoutMilliseconds(timeoutMilliseconds) {
}

CommandResult ProcessCommandRunner::run(const QString& program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(m_timeoutMilliseconds)) {
        throw PlatformError(QStringLiteral("Could not start %1: %2").arg(program, process.errorString()));
    }
    if (!process.waitForFinished(m_timeoutMilliseconds)) {
        // Never leave a mount or unmount running behind our back: wait for it to end after the kill.
        process.kill();
        process.waitForFinished(-1);
        throw PlatformError(QStringLiteral("%1 did not finish within %2 seconds")
                                .arg(program)
                                .arg(m_timeoutMilliseconds / 1000));
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        throw PlatformError(QStringLiteral("%1 crashed").arg(program));
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace tarnwell
