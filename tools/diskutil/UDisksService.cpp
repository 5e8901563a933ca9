#include "diskutil/UDisksService.h"

#include "core/support/PlatformError.h"

#include <QRegularExpression>
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

std::optional<QString> UDisksService::failureReason(const CommandResult& result, const QString& operation) {
    static const QRegularExpression serviceError(QStringLiteral("GDBus\\.Error:([\\w.]+): (.+)$"));
    const QString text = QString::fromUtf8(result.error + '\n' + result.output);
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = serviceError.match(line.trimmed());
        if (!match.hasMatch()) {
            continue;
        }
        // Every refusal by the authorisation policy, whether or not a password could have changed
        // it: the user has to hear that they may not do this, not a D-Bus error name.
        if (match.captured(1).startsWith(QLatin1String("org.freedesktop.UDisks2.Error.NotAuthorized"))) {
            return QStringLiteral("you are not allowed to %1 this volume (UDisks2: %2)")
                .arg(operation, match.captured(2));
        }
        return match.captured(2);
    }
    return std::nullopt;
}

} // namespace tarnwell
