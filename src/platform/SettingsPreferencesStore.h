#pragma once

#include "core/model/PreferencesStoring.h"

#include <QString>

namespace tarnwell {

// The per-user preferences store over QSettings (on Linux $XDG_CONFIG_HOME/Tarnwell/Tarnwell.conf).
// Every read takes the file as it is now. Every write starts from the file as it is now, so a value
// another program put there meanwhile is kept, and replaces the file in one rename, so a crash
// leaves the old file or the new one. A failed write changes nothing and does not affect later ones.
class SettingsPreferencesStore : public PreferencesStoring {
public:
    // The organisation "Tarnwell", application "Tarnwell" store in the native format.
    SettingsPreferencesStore();
    // A store in the given file; for tests and tools.
    explicit SettingsPreferencesStore(QString fileName);

    const QString& fileName() const { return m_fileName; }

    std::optional<QByteArray> data(const QString& key) const override;
    void setData(const QString& key, const QByteArray& value) override;

private:
    void write(const QString& path, const QString& key, const QByteArray& value) const;

    QString m_fileName;
};

} // namespace tarnwell
