#pragma once

#include "core/model/PreferencesStoring.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <utility>

namespace tarnwell {

// The per-user preferences store over QSettings (on Linux $XDG_CONFIG_HOME/Tarnwell/Tarnwell.conf).
// Every read takes the file as it is now. Every write starts from the file as it is now, so a value
// another program put there meanwhile is kept, and replaces the file in one rename, so a crash
// leaves the old file or the new one. A failed write changes nothing and does not affect later ones.
// A file with lines QSettings cannot read is saved with the values it could read, and the file as it
// was is kept beside it.
class SettingsPreferencesStore : public PreferencesStoring {
public:
    using Values = QList<std::pair<QString, QVariant>>;

    // The organisation "Tarnwell", application "Tarnwell" store in the native format.
    SettingsPreferencesStore();
    // A store in the given file; for tests and tools.
    explicit SettingsPreferencesStore(QString fileName);

    const QString& fileName() const { return m_fileName; }

    std::optional<QByteArray> data(const QString& key) const override;
    void setData(const QString& key, const QByteArray& value) override;

private:
    // Writes the carried values and the new one into path, a copy of the file under a name used once.
    void write(const QString& path, const Values& carried, const QString& key, const QByteArray& value) const;

    QString m_fileName;
};

} // namespace tarnwell
