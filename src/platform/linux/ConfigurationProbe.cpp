#include "platform/linux/ConfigurationProbe.h"

#include "core/support/Localization.h"
#include "platform/SettingsPreferencesStore.h"
#include "platform/linux/HealthProbeSupport.h"

#include <QFileInfo>
#include <unistd.h>

namespace tarnwell {

ConfigurationProbe::ConfigurationProbe(QString filePath)
    : m_filePath(filePath.isEmpty() ? SettingsPreferencesStore().fileName() : std::move(filePath)) {
}

QString ConfigurationProbe::title() const {
    return localized("Configuration");
}

QCoro::Task<HealthCheck> ConfigurationProbe::check(HealthInputs inputs) {
    return HealthProbeSupport::offThread<HealthCheck>(
        [path = m_filePath, lastSave = inputs.lastSave] { return inspect(path, lastSave); });
}

HealthCheck ConfigurationProbe::inspect(const QString& filePath, const std::optional<SaveOutcome>& lastSave) {
    HealthCheck result{localized("Configuration"), HealthState::Fine};
    const QFileInfo file(filePath);
    // A save writes a copy beside the file and renames it over the file, so the folder must be
    // writable as well as the file.
    const QByteArray folder = QFile::encodeName(file.absolutePath());
    const bool folderWritable = ::access(folder.constData(), W_OK | X_OK) == 0;
    const bool readable = !file.exists() || ::access(QFile::encodeName(filePath).constData(), R_OK) == 0;
    const bool writable =
        folderWritable && (!file.exists() || ::access(QFile::encodeName(filePath).constData(), W_OK) == 0);
    QString saved;
    if (lastSave) {
        saved = lastSave->failure
                    ? localizedFormat("The last save, at %@, failed: %@",
                                      {lastSave->moment.toLocalTime().toString(QStringLiteral("HH:mm:ss")),
                                       *lastSave->failure})
                    : localizedFormat("The last save, at %@, succeeded.",
                                      {lastSave->moment.toLocalTime().toString(QStringLiteral("HH:mm:ss"))});
    } else {
        saved = localized("Nothing was saved since Tarnwell started.");
    }
    if (!file.exists() && !QFileInfo::exists(file.absolutePath())) {
        result.finding = localizedFormat("%@ does not exist yet; the first save creates it.", {filePath});
    } else if (!readable || !writable) {
        result.state = HealthState::NotWorking;
        result.finding =
            !readable
                ? localizedFormat("%@ cannot be read.", {filePath})
                : localizedFormat("%@ cannot be written: its folder or the file is read-only.", {filePath});
        result.advice =
            localized("Give your user read and write access to the file and its folder; changes are "
                      "not kept until then.");
    } else {
        result.finding =
            file.exists() ? localizedFormat("%@ can be read and written.", {filePath})
                          : localizedFormat("%@ does not exist yet; the first save creates it.", {filePath});
    }
    result.details = saved;
    if (lastSave && lastSave->failure && result.state == HealthState::Fine) {
        result.state = HealthState::NeedsAttention;
        result.advice = localized("Make the change again; if it fails again, the message above says why.");
    }
    return result;
}

} // namespace tarnwell
