#include "platform/linux/AutostartLoginItem.h"

#include "core/support/PlatformError.h"
#include "platform/linux/DesktopEntry.h"
#include "platform/linux/DesktopEntryIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tarnwell {

AutostartLoginItem::AutostartLoginItem(QString executablePath, QString autostartDirectory, QString searchPath)
    : m_executablePath(std::move(executablePath))
    , m_autostartDirectory(std::move(autostartDirectory))
    , m_searchPath(std::move(searchPath)) {
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

QFileDevice::Permissions AutostartLoginItem::entryPermissions() {
    // The umask can only be read without changing it through the process status.
    mode_t mask = S_IWGRP | S_IWOTH;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            bool valid = false;
            const uint value = line.startsWith("Umask:") ? line.sliced(6).trimmed().toUInt(&valid, 8) : 0;
            if (valid) {
                mask = static_cast<mode_t>(value);
            }
        }
    }
    const mode_t mode = (S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH) & ~mask;
    QFileDevice::Permissions permissions;
    // Others never get to write: the entry starts a program in the user's session.
    const std::pair<mode_t, QFileDevice::Permissions> bits[] = {
        {S_IRUSR, QFileDevice::ReadOwner | QFileDevice::ReadUser},
        {S_IWUSR, QFileDevice::WriteOwner | QFileDevice::WriteUser},
        {S_IRGRP, QFileDevice::ReadGroup},
        {S_IWGRP, QFileDevice::WriteGroup},
        {S_IROTH, QFileDevice::ReadOther}};
    for (const auto& [bit, permission] : bits) {
        if (mode & bit) {
            permissions |= permission;
        }
    }
    return permissions;
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
    // Read as the session reads it: a session manager turns an entry off by hiding or disabling it
    // rather than removing it, and an entry left behind by a moved or reinstalled program starts
    // nothing of ours.
    const QHash<QString, QString> keys =
        DesktopEntry::group(entry.readAll(), QStringLiteral("Desktop Entry"));
    if (keys.value(QStringLiteral("Hidden")).trimmed() == u"true" ||
        keys.value(QStringLiteral("X-GNOME-Autostart-enabled")).trimmed() == u"false") {
        return LoginItemStatus::notRegistered;
    }
    const auto arguments = DesktopEntry::splitExec(keys.value(QStringLiteral("Exec")));
    if (!arguments || arguments->isEmpty() || !startsThisProgram(arguments->first())) {
        return LoginItemStatus::notRegistered;
    }
    return LoginItemStatus::enabled;
}

bool AutostartLoginItem::startsThisProgram(const QString& program) const {
    const auto path = DesktopEntryIndex::findProgram(program, m_searchPath);
    const QString named = path.value_or(program);
    if (QDir::cleanPath(named) == QDir::cleanPath(m_executablePath)) {
        return true;
    }
    const QString canonical = QFileInfo(named).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(m_executablePath).canonicalFilePath();
}

void AutostartLoginItem::registerItem() {
    if (m_executablePath.isEmpty()) {
        throw PlatformError(QStringLiteral("The path of the running program cannot be determined."));
    }
    if (!QDir().mkpath(m_autostartDirectory)) {
        const int error = errno;
        // The system would only say that the name exists.
        const QString reason = QFileInfo::exists(m_autostartDirectory)
                                   ? QStringLiteral("a file is in its place")
                                   : QString::fromLocal8Bit(std::strerror(error));
        throw PlatformError(
            QStringLiteral("Cannot create the folder %1: %2").arg(m_autostartDirectory, reason));
    }
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly)) {
        throw PlatformError(file.errorString());
    }
    // A replaced entry would otherwise keep the old file's permissions, however loose.
    if (!file.setPermissions(entryPermissions())) {
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
