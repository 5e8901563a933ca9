#include "platform/linux/AutostartProbe.h"

#include "core/support/Localization.h"
#include "platform/linux/DesktopEntry.h"
#include "platform/linux/HealthProbeSupport.h"

#include <QFile>

namespace tarnwell {

AutostartProbe::AutostartProbe(QString executablePath, QString autostartDirectory)
    : m_executablePath(std::move(executablePath))
    , m_autostartDirectory(std::move(autostartDirectory)) {
}

QString AutostartProbe::title() const {
    return localized("Launch at login");
}

QCoro::Task<HealthCheck> AutostartProbe::check(HealthInputs inputs) {
    return HealthProbeSupport::offThread<HealthCheck>(
        [executable = m_executablePath, directory = m_autostartDirectory,
         wanted = inputs.configuration.launchAtLogin] { return inspect(executable, directory, wanted); });
}

HealthCheck AutostartProbe::inspect(const QString& executablePath, const QString& autostartDirectory,
                                    bool wanted) {
    HealthCheck result{localized("Launch at login"), HealthState::Fine};
    const AutostartLoginItem item(executablePath, autostartDirectory);
    const QString path = item.entryPath();
    const QString fix =
        localized("Turn Launch at Login off and on again in Settings to write the entry afresh.");
    QFile entry(path);
    if (!entry.open(QIODevice::ReadOnly)) {
        result.finding = entry.exists()
                             ? localizedFormat("%@ cannot be read: %@", {path, entry.errorString()})
                             : localizedFormat("There is no autostart entry at %@.", {path});
        if (wanted || entry.exists()) {
            result.state = HealthState::NeedsAttention;
            result.advice = fix;
        } else {
            result.finding = localized("Tarnwell does not start at login, as set.");
        }
        return result;
    }
    const auto keys = DesktopEntry::group(entry.readAll(), QStringLiteral("Desktop Entry"));
    const auto arguments = DesktopEntry::splitExec(keys.value(QStringLiteral("Exec")));
    const QString program = arguments && !arguments->isEmpty() ? arguments->first() : QString();
    if (keys.value(QStringLiteral("Hidden")).trimmed() == u"true" ||
        keys.value(QStringLiteral("X-GNOME-Autostart-enabled")).trimmed() == u"false") {
        result.finding = localizedFormat("The autostart entry %@ is present but turned off.", {path});
    } else if (item.status() != LoginItemStatus::enabled) {
        result.finding = program.isEmpty()
                             ? localizedFormat("The autostart entry %@ starts nothing.", {path})
                             : localizedFormat("The autostart entry starts %@, not this Tarnwell (%@).",
                                               {program, executablePath});
    } else {
        result.finding = localizedFormat("The autostart entry %@ starts this Tarnwell at login.", {path});
        if (!wanted) {
            result.state = HealthState::NeedsAttention;
            result.advice = localized("Launch at Login is off in Settings, yet the entry starts Tarnwell.");
        }
        return result;
    }
    if (wanted) {
        result.state = HealthState::NeedsAttention;
        result.advice = fix;
    }
    return result;
}

} // namespace tarnwell
