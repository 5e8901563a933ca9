#include "platform/linux/DesktopEntryIndex.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell {

namespace {

bool isExecutableFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat status {};
    return ::stat(native.constData(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(native.constData(), X_OK) == 0;
}

// Desktop files in name order, sub-folders included; linked folders are not entered, so a link
// loop cannot recurse.
void collectDesktopFiles(const QString& root, const QString& folder,
                         QList<std::pair<QString, QString>>& files) {
    const QFileInfoList children =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QFileInfo& child : children) {
        if (child.isDir()) {
            if (!child.isSymLink()) {
                collectDesktopFiles(root, child.filePath(), files);
            }
        } else if (child.fileName().endsWith(QStringLiteral(".desktop"))) {
            files.append({child.filePath(), QDir(root).relativeFilePath(child.filePath())});
        }
    }
}

} // namespace

DesktopEntryIndex DesktopEntryIndex::load(const QList<QString>& applicationDirectories,
                                          const QString& searchPath) {
    DesktopEntryIndex index;
    QSet<QString> seen;
    for (const QString& directory : applicationDirectories) {
        QList<std::pair<QString, QString>> files;
        collectDesktopFiles(directory, directory, files);
        for (const auto& [path, relativePath] : files) {
            const QString id = DesktopEntry::fileId(relativePath);
            if (seen.contains(id)) {
                continue;
            }
            seen.insert(id);
            auto entry = DesktopEntry::read(path, id);
            if (!entry || entry->hidden || (entry->tryExec && !findProgram(*entry->tryExec, searchPath))) {
                continue;
            }
            index.m_entries.append(std::move(*entry));
        }
    }
    return index;
}

QList<QString> DesktopEntryIndex::defaultApplicationDirectories(const QProcessEnvironment& environment) {
    QString dataHome = environment.value(QStringLiteral("XDG_DATA_HOME"));
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome)) {
        dataHome =
            environment.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.local/share");
    }
    QString dataDirs = environment.value(QStringLiteral("XDG_DATA_DIRS"));
    if (dataDirs.isEmpty()) {
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    }
    QList<QString> folders{dataHome};
    for (const QString& folder : dataDirs.split(u':', Qt::SkipEmptyParts)) {
        if (!QDir::isRelativePath(folder)) {
            folders.append(folder);
        }
    }
    folders.append(dataHome + QStringLiteral("/flatpak/exports/share"));
    folders.append(QStringLiteral("/var/lib/flatpak/exports/share"));

    QList<QString> directories;
    for (const QString& folder : folders) {
        const QString directory = QDir::cleanPath(folder + QStringLiteral("/applications"));
        if (!directories.contains(directory)) {
            directories.append(directory);
        }
    }
    const QString snapDirectory = QStringLiteral("/var/lib/snapd/desktop/applications");
    if (!directories.contains(snapDirectory)) {
        directories.append(snapDirectory);
    }
    return directories;
}

std::optional<QString> DesktopEntryIndex::findProgram(const QString& program, const QString& searchPath) {
    if (program.isEmpty()) {
        return std::nullopt;
    }
    if (program.contains(u'/')) {
        if (QDir::isAbsolutePath(program) && isExecutableFile(program)) {
            return QDir::cleanPath(program);
        }
        return std::nullopt;
    }
    for (const QString& folder : searchPath.split(u':', Qt::SkipEmptyParts)) {
        const QString candidate = QDir::cleanPath(folder + u'/' + program);
        if (QDir::isAbsolutePath(candidate) && isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

const DesktopEntry* DesktopEntryIndex::entry(const QString& id) const {
    for (const DesktopEntry& entry : m_entries) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace tarnwell
