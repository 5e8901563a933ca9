#pragma once

#include "core/model/PreferencesStoring.h"

#include <QSettings>
#include <memory>

namespace tarnwell {

// The per-user preferences store over QSettings (on Linux $XDG_CONFIG_HOME/Tarnwell/Tarnwell.conf).
// Every write is flushed at once and checked.
class SettingsPreferencesStore : public PreferencesStoring {
public:
    // The organisation "Tarnwell", application "Tarnwell" store in the native format.
    SettingsPreferencesStore();
    // A store in the given file; for tests and tools.
    explicit SettingsPreferencesStore(const QString& fileName);

    std::optional<QByteArray> data(const QString& key) const override;
    void setData(const QString& key, const QByteArray& value) override;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace tarnwell
