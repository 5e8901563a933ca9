#pragma once

#include "platform/LoginItemAppServicing.h"

#include <QString>

namespace tarnwell {

// Launch at login as the XDG autostart entry "tarnwell.desktop". The entry counts as enabled while
// it exists and is not hidden; without a known path to the running program there is nothing to
// start, so the item is not found.
class AutostartLoginItem : public LoginItemAppServicing {
public:
    explicit AutostartLoginItem(QString executablePath = currentExecutablePath(),
                                QString autostartDirectory = defaultAutostartDirectory());

    // The absolute path of the running program, or empty when it cannot be determined.
    static QString currentExecutablePath();
    // "autostart" under XDG_CONFIG_HOME, or under "~/.config" when that is unset.
    static QString defaultAutostartDirectory();

    // The Exec value that starts the program at the path, quoted and escaped for a desktop file.
    static QString execValue(const QString& executablePath);

    QString entryPath() const;

    LoginItemStatus status() const override;
    void registerItem() override;
    void unregisterItem() override;

private:
    QString m_executablePath;
    QString m_autostartDirectory;
};

} // namespace tarnwell
