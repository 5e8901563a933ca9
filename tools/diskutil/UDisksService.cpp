#include "diskutil/UDisksService.h"

#include "core/support/PlatformError.h"

#include <QStandardPaths>

namespace tarnwell {

bool UDisksService::answers(CommandRunning& commands, int timeoutMilliseconds) {
    if (QStandardPaths::findExecutable(QStringLiteral("udisksctl")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dbus-send")).isEmpty()) {
        return false;
    }
    try {
        const CommandResult result = commands.run(
            QStringLiteral("dbus-send"),
            {QStringLiteral("--system"), QStringLiteral("--print-reply"),
             QStringLiteral("--reply-timeout=%1").arg(timeoutMilliseconds),
             QStringLiteral("--dest=org.freedesktop.UDisks2"), QStringLiteral("/org/freedesktop/UDisks2"),
             QStringLiteral("org.freedesktop.DBus.Peer.Ping")});
        return result.exitCode == 0;
    } catch (const PlatformError&) {
        // A client that cannot even be started is as good as a service that does not answer.
        return false;
    }
}

} // namespace tarnwell
