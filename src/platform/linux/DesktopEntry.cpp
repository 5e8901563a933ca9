#include "platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarnwell {

namespace {

const QString desktopSuffix = QStringLiteral(".desktop");

QString unescapeValue(QStringView value) {
    QString result;
    result.reserve(value.size());
    for (qsizetype index = 0; index < value.size(); ++index) {
        const QChar character = value.at(index);
        if (character != u'\\' || index + 1 == value.size()) {
            result.append(character);
            continue;
        }
        const QChar escaped = value.at(++index);
        switch (escaped.unicode()) {
        case 's':
            result.append(u' ');
            break;
        case 'n':
            result.append(u'\n');
            break;
        case 't':
            result.append(u'\t');
            break;
        case 'r':
            result.append(u'\r');
            break;
        case '\\':
            result.append(u'\\');
            break;
        default:
            // Other escapes belong to the value's own syntax (Exec quoting, list separators).
            result.append(u'\\');
            result.append(escaped);
        }
    }
    return result;
}

bool isTrue(const QString& value) {
    return value.trimmed() == u"true";
}

} // namespace

QHash<QString, QString> DesktopEntry::group(const QByteArray& content, const QString& groupName) {
    QHash<QString, QString> keys;
    bool inGroup = false;
    const QString text = QString::fromUtf8(content);
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        if (line.startsWith(u'[')) {
            inGroup = line.endsWith(u']') && line.sliced(1, line.size() - 2) == groupName;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals <= 0) {
            continue;
        }
        const QString key = line.first(equals).trimmed().toString();
        if (key.contains(u'[') || keys.contains(key)) {
            continue;
        }
        keys.insert(key, unescapeValue(line.sliced(equals + 1).trimmed()));
    }
    return keys;
}

std::optional<QList<QString>> DesktopEntry::splitExec(const QString& exec) {
    QList<QString> arguments;
    QString current;
    // A quoted empty string is an argument; a word that was only field codes is not.
    bool currentIsArgument = false;
    bool quoted = false;
    auto finish = [&] {
        if (currentIsArgument || !current.isEmpty()) {
            arguments.append(current);
        }
        current.clear();
        currentIsArgument = false;
    };
    for (qsizetype index = 0; index < exec.size(); ++index) {
        const QChar character = exec.at(index);
        if (quoted) {
            if (character == u'"') {
                quoted = false;
            } else if (character == u'\\' && index + 1 < exec.size() &&
                       QStringView(u"\"`$\\").contains(exec.at(index + 1))) {
                current.append(exec.at(++index));
            } else if (character == u'%' && index + 1 < exec.size()) {
                if (exec.at(++index) == u'%') {
                    current.append(u'%');
                }
            } else {
                current.append(character);
            }
        } else if (character == u' ' || character == u'\t' || character == u'\n') {
            finish();
        } else if (character == u'"') {
            quoted = true;
            currentIsArgument = true;
        } else if (character == u'%' && index + 1 < exec.size()) {
            if (exec.at(++index) == u'%') {
                current.append(u'%');
            }
        } else {
            current.append(character);
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    finish();
    return arguments;
}

QString DesktopEntry::fileId(const QString& relativePath) {
    QString id = QDir::cleanPath(relativePath);
    if (id.endsWith(desktopSuffix)) {
        id.chop(desktopSuffix.size());
    }
    id.replace(u'/', u'-');
    return id;
}

QString DesktopEntry::fileIdOfPath(const QString& filePath) {
    const QString cleaned = QDir::cleanPath(QFileInfo(filePath).absoluteFilePath());
    const QString marker = QStringLiteral("/applications/");
    const qsizetype position = cleaned.lastIndexOf(marker);
    if (position >= 0) {
        return fileId(cleaned.sliced(position + marker.size()));
    }
    return fileId(QFileInfo(cleaned).fileName());
}

std::optional<DesktopEntry> DesktopEntry::read(const QString& filePath, const QString& id) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return fromContent(file.readAll(), filePath, id);
}

std::optional<DesktopEntry> DesktopEntry::fromContent(const QByteArray& content, const QString& filePath,
                                                      const QString& id) {
    if (!content.contains("[Desktop Entry]")) {
        return std::nullopt;
    }
    const QHash<QString, QString> keys = group(content, QStringLiteral("Desktop Entry"));
    DesktopEntry entry;
    entry.id = id;
    entry.filePath = filePath;
    entry.name = keys.value(QStringLiteral("Name"));
    if (const auto exec = keys.constFind(QStringLiteral("Exec")); exec != keys.constEnd()) {
        auto arguments = splitExec(*exec);
        if (!arguments) {
            return std::nullopt;
        }
        entry.execArguments = std::move(*arguments);
    }
    if (const auto tryExec = keys.constFind(QStringLiteral("TryExec")); tryExec != keys.constEnd()) {
        entry.tryExec = *tryExec;
    }
    entry.hidden = isTrue(keys.value(QStringLiteral("Hidden")));
    if (const auto icon = keys.constFind(QStringLiteral("Icon")); icon != keys.constEnd()) {
        entry.icon = *icon;
    }
    return entry;
}

} // namespace tarnwell
