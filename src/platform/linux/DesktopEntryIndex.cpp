#include "platform/linux/DesktopEntryIndex.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
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
                         QList<std::pair<QString, QString>>& files,
                         QList<DesktopEntryIndex::FolderStamp>& folders) {
    folders.append(DesktopEntryIndex::FolderStamp::of(folder));
    const QFileInfoList children =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QFileInfo& child : children) {
        if (child.isDir()) {
            if (!child.isSymLink()) {
                collectDesktopFiles(root, child.filePath(), files, folders);
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
    index.m_loaded = true;
    QSet<QString> seen;
    for (const QString& directory : applicationDirectories) {
        QList<std::pair<QString, QString>> files;
        collectDesktopFiles(directory, directory, files, index.m_folders);
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

DesktopEntryIndex::FolderStamp DesktopEntryIndex::FolderStamp::of(const QString& path) {
    FolderStamp stamp;
    stamp.path = path;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0) {
        stamp.exists = true;
        stamp.modified = status.st_mtim;
        // File systems keep times in coarse ticks, so a change later in the tick of the last one
        // leaves the time as it was. A folder changed within the last few ticks is read again.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const qint64 age =
            (now.tv_sec - status.st_mtim.tv_sec) * 1'000'000'000LL + now.tv_nsec - status.st_mtim.tv_nsec;
        stamp.recent = age < 20'000'000;
    }
    return stamp;
}

bool DesktopEntryIndex::FolderStamp::operator==(const FolderStamp& other) const {
    return path == other.path && exists == other.exists && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
}

bool DesktopEntryIndex::isCurrent() const {
    return m_loaded && std::all_of(m_folders.cbegin(), m_folders.cend(), [](const FolderStamp& stamp) {
               return !stamp.recent && FolderStamp::of(stamp.path) == stamp;
           });
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
