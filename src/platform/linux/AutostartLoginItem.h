#pragma once

#include "platform/LoginItemAppServicing.h"

#include <QFileDevice>
#include <QString>

namespace tarnwell {

// Launch at login as the XDG autostart entry "tarnwell.desktop". The entry counts as enabled while
// it exists, is neither hidden nor disabled, and its Exec starts the running program; without a
// known path to that program there is nothing to start, so the item is not found. The entry is
// replaced whole, with the user's umask and never writable by others.
class AutostartLoginItem : public LoginItemAppServicing {
public:
    // An Exec naming a program without a path is looked up in searchPath, a PATH value.
    explicit AutostartLoginItem(QString executablePath = currentExecutablePath(),
                                QString autostartDirectory = defaultAutostartDirectory(),
                                QString searchPath = qEnvironmentVariable("PATH"));

    // The absolute path of the running program, or empty when it cannot be determined.
    static QString currentExecutablePath();
    // "autostart" under XDG_CONFIG_HOME, or under "~/.config" when that is unset.
    static QString defaultAutostartDirectory();

    // The Exec value that starts the program at the path, quoted and escaped for a desktop file.
    static QString execValue(const QString& executablePath);

    QString entryPath() const;
    // Read and write for everyone, less the umask and less writing by others.
    static QFileDevice::Permissions entryPermissions();

    LoginItemStatus status() const override;
    void registerItem() override;
    void unregisterItem() override;

private:
    bool startsThisProgram(const QString& program) const;

    QString m_executablePath;
    QString m_autostartDirectory;
    QString m_searchPath;
};

} // namespace tarnwell
