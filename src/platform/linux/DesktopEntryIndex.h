#pragma once

#include "platform/linux/DesktopEntry.h"

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <optional>
#include <time.h>

namespace tarnwell {

// The installed applications' desktop entries, each ID once: the first file found for an ID wins,
// and when that file is hidden or its TryExec program is missing the ID has no entry at all.
class DesktopEntryIndex {
public:
    DesktopEntryIndex() = default;

    // Reads every "*.desktop" file under the folders, in folder order; programs are looked up in
    // searchPath, a PATH value.
    static DesktopEntryIndex load(const QList<QString>& applicationDirectories, const QString& searchPath);

    // "applications" under XDG_DATA_HOME, then under each of XDG_DATA_DIRS, then the Flatpak and
    // snapd folders that are not already among them.
    static QList<QString> defaultApplicationDirectories(
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

    // The absolute path of an executable program: a path with a slash is taken as it is, a bare
    // name is looked up in the PATH value.
    static std::optional<QString> findProgram(const QString& program, const QString& searchPath);

    const QList<DesktopEntry>& entries() const { return m_entries; }
    const DesktopEntry* entry(const QString& id) const;

    // Whether no folder the load walked (or looked for) has changed since: installing, removing or
    // renaming an entry changes its folder. An index never loaded is not current.
    bool isCurrent() const;

    // A folder's modification time, taken before the folder is listed.
    struct FolderStamp {
        QString path;
        bool exists = false;
        timespec modified{};
        bool recent = false;

        static FolderStamp of(const QString& path);
        bool operator==(const FolderStamp& other) const;
    };

    // The folders the load walked or looked for, as they were then.
    const QList<FolderStamp>& folders() const { return m_folders; }

private:
    bool m_loaded = false;
    QList<DesktopEntry> m_entries;
    QList<FolderStamp> m_folders;
};

} // namespace tarnwell
