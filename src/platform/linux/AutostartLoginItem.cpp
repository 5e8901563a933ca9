#include "platform/linux/AutostartLoginItem.h"

#include "core/support/PlatformError.h"
#include "platform/linux/DesktopEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tarnwell {

AutostartLoginItem::AutostartLoginItem(QString executablePath, QString autostartDirectory)
    : m_executablePath(std::move(executablePath))
    , m_autostartDirectory(std::move(autostartDirectory)) {
}

QString AutostartLoginItem::currentExecutablePath() {
    const QString path = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!path.isEmpty() && QFileInfo(path).isExecutable()) {
        return path;
    }
    const QString fromApplication =
        QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    return QDir::isAbsolutePath(fromApplication) ? fromApplication : QString();
}

QString AutostartLoginItem::defaultAutostartDirectory() {
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return configHome + QStringLiteral("/autostart");
}

QString AutostartLoginItem::execValue(const QString& executablePath) {
    // Inside double quotes, these four characters need a backslash; "%" starts a field code.
    QString quoted;
    for (const QChar character : executablePath) {
        if (character == u'"' || character == u'`' || character == u'$' || character == u'\\') {
            quoted.append(u'\\');
        } else if (character == u'%') {
            quoted.append(u'%');
        }
        quoted.append(character);
    }
    quoted = u'"' + quoted + u'"';
    // The key file's own escaping comes on top of the quoting.
    QString escaped;
    for (const QChar character : quoted) {
        switch (character.unicode()) {
        case '\\':
            escaped.append(QStringLiteral("\\\\"));
            break;
        case '\n':
            escaped.append(QStringLiteral("\\n"));
            break;
        case '\t':
            escaped.append(QStringLiteral("\\t"));
            break;
        case '\r':
            escaped.append(QStringLiteral("\\r"));
            break;
        default:
            escaped.append(character);
        }
    }
    return escaped;
}

QString AutostartLoginItem::entryPath() const {
    return m_autostartDirectory + QStringLiteral("/tarnwell.desktop");
}

LoginItemStatus AutostartLoginItem::status() const {
    if (m_executablePath.isEmpty()) {
        return LoginItemStatus::notFound;
    }
    QFile entry(entryPath());
    if (!entry.open(QIODevice::ReadOnly)) {
        return LoginItemStatus::notRegistered;
    }
    // A session manager turns an entry off by hiding it rather than removing it.
    const QString hidden =
        DesktopEntry::group(entry.readAll(), QStringLiteral("Desktop Entry")).value(QStringLiteral("Hidden"));
    return hidden.trimmed() == u"true" ? LoginItemStatus::notRegistered : LoginItemStatus::enabled;
}

void AutostartLoginItem::registerItem() {
    if (m_executablePath.isEmpty()) {
        throw PlatformError(QStringLiteral("The path of the running program cannot be determined."));
    }
    if (!QDir().mkpath(m_autostartDirectory)) {
        throw PlatformError(QStringLiteral("Cannot create the folder %1.").arg(m_autostartDirectory));
    }
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly)) {
        throw PlatformError(file.errorString());
    }
    const QString content = QStringLiteral("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=Tarnwell\n"
                                           "Exec=%1 --background\n"
                                           "Icon=tarnwell\n"
                                           "X-GNOME-Autostart-enabled=true\n")
                                .arg(execValue(m_executablePath));
    file.write(content.toUtf8());
    if (!file.commit()) {
        throw PlatformError(file.errorString());
    }
}

void AutostartLoginItem::unregisterItem() {
    QFile entry(entryPath());
    if (entry.exists() && !entry.remove()) {
        throw PlatformError(entry.errorString());
    }
}

} // namespace tarnwell
