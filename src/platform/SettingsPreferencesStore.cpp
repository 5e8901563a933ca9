#include "platform/SettingsPreferencesStore.h"

#include "core/support/PlatformError.h"

namespace tarnwell {

SettingsPreferencesStore::SettingsPreferencesStore()
    : m_settings(std::make_unique<QSettings>(QStringLiteral("Tarnwell"), QStringLiteral("Tarnwell"))) {
}

SettingsPreferencesStore::SettingsPreferencesStore(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::NativeFormat)) {
}

std::optional<QByteArray> SettingsPreferencesStore::data(const QString& key) const {
    m_settings->sync();
    const QVariant value = m_settings->value(key);
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toByteArray();
}

void SettingsPreferencesStore::setData(const QString& key, const QByteArray& value) {
    const QVariant previous = m_settings->value(key);
    m_settings->setValue(key, value);
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError) {
        return;
    }
    // Put the old value back in memory so that a failed write does not show up in later reads.
    if (previous.isValid()) {
        m_settings->setValue(key, previous);
    } else {
        m_settings->remove(key);
    }
    throw PlatformError(
        QStringLiteral("Could not write the preferences file %1.").arg(m_settings->fileName()));
}

} // namespace tarnwell
