#include "platform/linux/DiskToolProbe.h"

#include "core/disk/ShellRunner.h"
#include "core/support/Localization.h"
#include "core/support/PropertyListReader.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace tarnwell {

DiskToolProbe::DiskToolProbe(QString toolPath, std::shared_ptr<ShellRunning> shell)
    : m_toolPath(std::move(toolPath))
    , m_shell(shell ? std::move(shell) : std::make_shared<ShellRunner>(5.0)) {
}

QString DiskToolProbe::title() const {
    return localized("Disk tool");
}

QCoro::Task<HealthCheck> DiskToolProbe::check(HealthInputs) {
    return check(m_toolPath, m_shell);
}

QCoro::Task<HealthCheck> DiskToolProbe::check(QString toolPath, std::shared_ptr<ShellRunning> shell) {
    HealthCheck result{localized("Disk tool"), HealthState::NotWorking};
    const QString reinstall = localized("Reinstall Tarnwell: the disk tool belongs beside its executable.");
    const QFileInfo tool(toolPath);
    if (!tool.exists()) {
        result.finding = localizedFormat("%@ is missing.", {toolPath});
        result.advice = reinstall;
        co_return result;
    }
    if (!tool.isExecutable()) {
        result.finding = localizedFormat("%@ is not executable.", {toolPath});
        result.advice = reinstall;
        co_return result;
    }
    QElapsedTimer clock;
    clock.start();
    std::optional<ShellResult> answer;
    QString failure;
    const QStringList listing = {QStringLiteral("list"), QStringLiteral("-plist"), QStringLiteral("external"),
                                 QStringLiteral("physical")};
    try {
        answer = co_await shell->run(toolPath, listing);
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    const qint64 milliseconds = clock.elapsed();
    if (answer && answer->exitCode != 0 && answer->error.trimmed().isEmpty()) {
        failure = localizedFormat("exit code %lld", {qint64(answer->exitCode)});
    } else if (answer && answer->exitCode != 0) {
        failure = answer->error.trimmed().section(u'\n', 0, 0);
    } else if (answer) {
        try {
            PropertyListReader::read(answer->output.toUtf8());
        } catch (const std::exception& error) {
            failure = localizedFormat("its listing cannot be read: %@", {QString::fromUtf8(error.what())});
        }
    }
    if (!failure.isEmpty()) {
        result.finding = localizedFormat("%@ runs but does not answer a listing: %@", {toolPath, failure});
        result.advice = localized("Reinstall Tarnwell; until then drives are neither listed nor mounted.");
        co_return result;
    }
    result.state = HealthState::Fine;
    result.finding = localizedFormat("%@ answered a listing in %lld ms.", {toolPath, milliseconds});
    co_return result;
}

} // namespace tarnwell
